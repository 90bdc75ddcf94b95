#pragma once

#include <QLineEdit>

// The in-place editor of one database cell. Enter ends the edit with the typed text,
// Escape with the text the cell had; losing the focus for any reason (a click elsewhere,
// scrolling, a selection change, hiding) ends it with the typed text. Each edit ends once,
// with editEnded. While it has the focus, Enter, Delete, Escape, Tab, Up, Down and every
// key pressed with Ctrl stay in the editor: no shortcut of the window takes them.
class CListViewEdit final : public QLineEdit
{
    Q_OBJECT

public:
    explicit CListViewEdit(QWidget* parent);

    // Shows the editor over `rect` with `text`, for row `item`, column `subItem`.
    void StartEdit(int item, int subItem, const QString& text, const QRect& rect);
    // Ends a running edit with the typed text and hides the editor.
    void EndAndHide();

    bool IsEditing() const { return m_bEditing; }
    int Item() const { return m_nItem; }
    int SubItem() const { return m_nSubItem; }

signals:
    void editEnded(int item, int subItem, const QString& text);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void EndEdit();

    QString m_strInitialText;
    int m_nItem = -1;
    int m_nSubItem = -1;
    bool m_bCancelled = false;
    bool m_bEditing = false;
};
