#pragma once

#include <QLineEdit>
#include <functional>

class QAbstractItemView;
class QModelIndex;
class QMouseEvent;
class QTableView;

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

// The in-place editing of one list: a double click on a cell the list edits opens the
// editor over it (made over the view's viewport at the first edit), and the edit ends,
// its text applied, as soon as the rows scroll under it.
class CInPlaceEditing final
{
public:
    // Whether a cell is edited in place.
    using Editable = std::function<bool(const QModelIndex& index)>;
    // Where the editor stands over the cell `rect` (viewport coordinates).
    using Placement = std::function<QRect(const QModelIndex& index, const QRect& rect)>;
    using Ended = std::function<void(int row, int column, const QString& text)>;

    CInPlaceEditing(QAbstractItemView& view, Editable editable, Placement placement, Ended ended);

    // Edits the cell at `pos` (viewport coordinates), from the text it shows and aligned as
    // its column's title, when the list edits it and it is wide enough to type in.
    void StartAt(const QPoint& pos);
    // A double click of the left button edits the cell under it.
    void DoubleClicked(const QMouseEvent& event);
    // Ends a running edit with the typed text.
    void Hide();
    // Null before the first edit.
    CListViewEdit* Editor() const { return m_pEdit; }

private:
    QAbstractItemView& m_view;
    Editable m_editable;
    Placement m_placement;
    Ended m_ended;
    CListViewEdit* m_pEdit = nullptr;
};

// What every list of hosts looks like: whole rows selected, several at a time, cells
// never edited by the view itself, one line a row, no row numbers, left-aligned titles.
void SetUpHostList(QTableView& view);
