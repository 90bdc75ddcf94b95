#pragma once

#include <QPlainTextEdit>

// A plain text field that holds at most a given number of characters (UTF-16 units), as a
// line edit's maximum length does: a keystroke that does not fit is refused, and a paste
// or an input method's text is cut to what fits and goes in at the cursor. The text
// already there is never cut, and every change stays on the undo stack.
class CLimitedTextEdit final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CLimitedTextEdit(QWidget* parent = nullptr);

    void SetMaxLength(int length) { m_maxLength = length; }
    int MaxLength() const { return m_maxLength; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // How many characters may still go in, in place of the selection.
    int Room() const;
    // `text` cut to the room, never inside a surrogate pair.
    QString Fitting(const QString& text) const;

    int m_maxLength = 32767;
};
