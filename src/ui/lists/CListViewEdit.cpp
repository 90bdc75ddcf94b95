#include "ui/lists/CListViewEdit.h"

#include <QKeyEvent>

namespace
{

bool StaysInEditor(const QKeyEvent* key)
{
    if (key->modifiers() & Qt::ControlModifier)
        return true;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

} // namespace

CListViewEdit::CListViewEdit(QWidget* parent) : QLineEdit(parent)
{
    setObjectName(QStringLiteral("ListViewEdit"));
    setFrame(true);
    // Its own menu would speak the toolkit's words; the list's menu is the one to have.
    setContextMenuPolicy(Qt::NoContextMenu);
    hide();
}

void CListViewEdit::StartEdit(int item, int subItem, const QString& text, const QRect& rect)
{
    setGeometry(rect);
    m_nItem = item;
    m_nSubItem = subItem;
    m_strInitialText = text;
    m_bCancelled = false;
    setText(text);
    selectAll();
    m_bEditing = true;
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
}

void CListViewEdit::EndEdit()
{
    if (!m_bEditing)
        return;
    // Ended before the notification goes out: what the handler does (a message box, a
    // repaint) may take the focus again.
    m_bEditing = false;
    const QString result = m_bCancelled ? m_strInitialText : text();
    m_bCancelled = false;
    emit editEnded(m_nItem, m_nSubItem, result);
}

void CListViewEdit::EndAndHide()
{
    EndEdit();
    if (isVisible()) {
        const bool hadFocus = hasFocus();
        hide();
        if (hadFocus && parentWidget())
            parentWidget()->setFocus(Qt::OtherFocusReason);
    }
}

bool CListViewEdit::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride &&
        StaysInEditor(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    // Tab would move the focus out of the editor before any key handler saw it.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CListViewEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EndAndHide();
        event->accept();
        return;
    case Qt::Key_Escape:
        m_bCancelled = true;
        EndAndHide();
        event->accept();
        return;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
    // Up, Down and the Ctrl keys the editor has no use for go no further: the list would
    // move its selection or run a command under the edit.
    if (StaysInEditor(event))
        event->accept();
}

void CListViewEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    EndAndHide();
}
