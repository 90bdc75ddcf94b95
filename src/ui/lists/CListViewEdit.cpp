#include "ui/lists/CListViewEdit.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>

namespace
{

// A column narrower than this has no room to type in.
constexpr int kMinEditableWidth = 5;

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

CInPlaceEditing::CInPlaceEditing(QAbstractItemView& view, Editable editable, Placement placement,
                                 Ended ended)
    : m_view(view), m_editable(std::move(editable)), m_placement(std::move(placement)),
      m_ended(std::move(ended))
{
    for (QScrollBar* bar : {view.horizontalScrollBar(), view.verticalScrollBar()})
        QObject::connect(bar, &QScrollBar::valueChanged, &view, [this] { Hide(); });
}

void CInPlaceEditing::StartAt(const QPoint& pos)
{
    const QModelIndex index = m_view.indexAt(pos);
    if (!index.isValid() || !m_editable(index))
        return;
    m_view.scrollTo(index, QAbstractItemView::EnsureVisible);
    const QRect cell = m_view.visualRect(index);
    if (cell.width() < kMinEditableWidth)
        return;
    if (!m_pEdit) {
        m_pEdit = new CListViewEdit(m_view.viewport());
        m_pEdit->setFont(m_view.font());
        QObject::connect(
            m_pEdit, &CListViewEdit::editEnded, &m_view,
            [this](int row, int column, const QString& text) { m_ended(row, column, text); });
    }
    const QVariant alignment =
        m_view.model()->headerData(index.column(), Qt::Horizontal, Qt::TextAlignmentRole);
    const Qt::Alignment horizontal =
        alignment.isValid() ? Qt::Alignment(alignment.toInt()) & Qt::AlignHorizontal_Mask
                            : Qt::Alignment(Qt::AlignLeft);
    m_pEdit->setAlignment(horizontal | Qt::AlignVCenter);
    m_pEdit->StartEdit(index.row(), index.column(), index.data(Qt::DisplayRole).toString(),
                       m_placement(index, cell));
}

void CInPlaceEditing::DoubleClicked(const QMouseEvent& event)
{
    if (event.button() == Qt::LeftButton)
        StartAt(event.position().toPoint());
}

void CInPlaceEditing::Hide()
{
    if (m_pEdit && m_pEdit->isVisible())
        m_pEdit->EndAndHide();
}

void SetUpHostList(QTableView& view)
{
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Cells are edited with the list's own editor, on a double click only.
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setTabKeyNavigation(false);
    view.setWordWrap(false);
    view.setCornerButtonEnabled(false);
    QHeaderView* rows = view.verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(20, view.fontMetrics().height() + 6));
    QHeaderView* columns = view.horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}
