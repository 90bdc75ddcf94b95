#include "ui/dialogs/CLimitedTextEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

CLimitedTextEdit::CLimitedTextEdit(QWidget* parent) : QPlainTextEdit(parent) {}

int CLimitedTextEdit::Room() const
{
    const int used = int(toPlainText().size() - textCursor().selectedText().size());
    return std::max(0, m_maxLength - used);
}

QString CLimitedTextEdit::Fitting(const QString& text) const
{
    const int room = Room();
    if (text.size() <= room)
        return text;
    const int keep = room > 0 && text[room - 1].isHighSurrogate() ? room - 1 : room;
    return text.left(keep);
}

void CLimitedTextEdit::keyPressEvent(QKeyEvent* event)
{
    // What a key would type: its text, or a line break for Enter.
    const bool lineBreak = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString typed = lineBreak ? QStringLiteral("\n") : event->text();
    const bool inserts = lineBreak || (!typed.isEmpty() && typed.at(0).isPrint() &&
                                       !(event->modifiers() & Qt::ControlModifier));
    if (inserts && typed.size() > Room()) {
        QApplication::beep();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CLimitedTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    const QString fitting = Fitting(source->text());
    if (fitting.size() < source->text().size())
        QApplication::beep();
    if (!fitting.isEmpty())
        textCursor().insertText(fitting);
    ensureCursorVisible();
}

void CLimitedTextEdit::inputMethodEvent(QInputMethodEvent* event)
{
    const QString fitting = Fitting(event->commitString());
    if (fitting.size() < event->commitString().size())
        event->setCommitString(fitting, event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(event);
}
