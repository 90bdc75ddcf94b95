#include "ui/dialogs/CAddNMTListCtrl.h"

#include "lang/DisplayText.h"
#include "records/LanveyDoc.h"
#include "ui/lists/CListViewEdit.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace
{

// The editor stands a little inside the cell, clear of the grid line on its left.
constexpr int kEditIndent = 4;
constexpr int kEditNarrower = 3;
constexpr int kMinEditableWidth = 5;

} // namespace

CAddNMTListCtrl::CAddNMTListCtrl(CLanveyDoc& doc, QWidget* parent)
    : QTableWidget(parent), m_doc(doc)
{
    setObjectName(QStringLiteral("AddNMTList"));
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The alias is edited with the list's own editor, on a double click only.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(20, fontMetrics().height() + 6));
    QHeaderView* columns = horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(this, &QTableWidget::itemChanged, this, &CAddNMTListCtrl::OnItemChanged);
}

void CAddNMTListCtrl::SetColumns(const QStringList& titles)
{
    setColumnCount(int(titles.size()));
    for (int column = 0; column < titles.size(); ++column) {
        auto* header = new QTableWidgetItem(titles[column]);
        header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setHorizontalHeaderItem(column, header);
        setColumnWidth(column, kColumnWidth);
    }
}

void CAddNMTListCtrl::AddRow(const QStringList& cells)
{
    const int row = rowCount();
    insertRow(row);
    for (int column = 0; column < columnCount(); ++column) {
        auto* item = new QTableWidgetItem(
            ReplaceControlChars(column < cells.size() ? cells[column] : QString()));
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (column == 0) {
            flags |= Qt::ItemIsUserCheckable;
            item->setCheckState(Qt::Checked);
        }
        item->setFlags(flags);
        // Set before the item joins the table: no change notice for a new row.
        setItem(row, column, item);
    }
    m_rowChecked.push_back(true);
}

bool CAddNMTListCtrl::IsRowChecked(int row) const
{
    const QTableWidgetItem* first = item(row, 0);
    return first && first->checkState() == Qt::Checked;
}

void CAddNMTListCtrl::SetRowChecked(int row, bool checked)
{
    if (QTableWidgetItem* first = item(row, 0))
        first->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void CAddNMTListCtrl::SetAllChecked(bool checked)
{
    HideInPlaceEditor();
    {
        // One pass without a notice per row; the caller knows the outcome.
        const QSignalBlocker blocker(this);
        for (int row = 0; row < rowCount(); ++row)
            SetRowChecked(row, checked);
    }
    m_rowChecked.assign(size_t(rowCount()), checked);
    m_nUnchecked = checked ? 0 : rowCount();
}

void CAddNMTListCtrl::OnItemChanged(QTableWidgetItem* changed)
{
    HideInPlaceEditor();
    const int row = changed->row();
    if (changed->column() != 0 || row < 0 || size_t(row) >= m_rowChecked.size())
        return;
    const bool checked = changed->checkState() == Qt::Checked;
    if (checked == m_rowChecked[size_t(row)])
        return;
    m_rowChecked[size_t(row)] = checked;
    m_nUnchecked += checked ? -1 : 1;
    emit rowCheckChanged(row, checked);
}

void CAddNMTListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        StartInPlaceEdit(event->position().toPoint());
}

void CAddNMTListCtrl::StartInPlaceEdit(const QPoint& pos)
{
    const QModelIndex index = indexAt(pos);
    const int aliasColumn = columnCount() - 1;
    if (!index.isValid() || index.column() != aliasColumn)
        return;
    scrollTo(index, QAbstractItemView::EnsureVisible);
    const int width = columnWidth(aliasColumn);
    if (width < kMinEditableWidth)
        return;

    QRect rect = visualRect(index);
    rect.setLeft(rect.left() + kEditIndent);
    rect.setWidth(width - kEditNarrower);
    if (rect.right() > viewport()->rect().right())
        rect.setRight(viewport()->rect().right());

    if (!m_pEdit) {
        m_pEdit = new CListViewEdit(viewport());
        m_pEdit->setFont(font());
        connect(m_pEdit, &CListViewEdit::editEnded, this, &CAddNMTListCtrl::OnEndLabelEdit);
    }
    const QTableWidgetItem* header = horizontalHeaderItem(aliasColumn);
    const Qt::Alignment alignment =
        header ? Qt::Alignment(header->textAlignment()) : Qt::Alignment(Qt::AlignLeft);
    m_pEdit->setAlignment((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
    m_pEdit->StartEdit(index.row(), aliasColumn, index.data(Qt::DisplayRole).toString(), rect);
}

void CAddNMTListCtrl::HideInPlaceEditor()
{
    if (m_pEdit && m_pEdit->isVisible())
        m_pEdit->EndAndHide();
}

void CAddNMTListCtrl::scrollContentsBy(int dx, int dy)
{
    // The edit is applied before the rows move under it.
    HideInPlaceEditor();
    QTableWidget::scrollContentsBy(dx, dy);
}

void CAddNMTListCtrl::OnEndLabelEdit(int row, int column, const QString& text)
{
    QTableWidgetItem* cell = item(row, column);
    if (!cell || column != columnCount() - 1)
        return;
    // The editor started from the cell as shown: an edit that leaves it so (Escape,
    // Enter at once) keeps the alias as it came, control characters and all.
    if (text == cell->text())
        return;
    if (NameTableEntry* entry = m_doc.GetNameTableEntry(row))
        entry->alias = text;
    cell->setText(ReplaceControlChars(text));
}
