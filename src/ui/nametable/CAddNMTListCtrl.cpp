#include "ui/nametable/CAddNMTListCtrl.h"

#include "lang/DisplayText.h"
#include "records/LanveyDoc.h"
#include "ui/lists/CListViewEdit.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace
{

constexpr int kEditIndent = 4;
constexpr int kEditNarrower = 3;

} // namespace

CAddNMTListCtrl::CAddNMTListCtrl(CLanveyDoc& doc, QWidget* parent)
    : QTableWidget(parent), m_doc(doc),
      // Only the alias, the last column, is edited; the editor stands a little inside
      // the cell, clear of the grid line on its left, and within the list.
      m_editing(
          *this, [this](const QModelIndex& index) { return index.column() == columnCount() - 1; },
          [this](const QModelIndex& index, QRect rect) {
              const int width = columnWidth(index.column());
              rect.setLeft(rect.left() + kEditIndent);
              rect.setWidth(width - kEditNarrower);
              rect.setRight(std::min(rect.right(), viewport()->rect().right()));
              return rect;
          },
          [this](int row, int column, const QString& text) { OnEndLabelEdit(row, column, text); })
{
    setObjectName(QStringLiteral("AddNMTList"));
    SetUpHostList(*this);
    setShowGrid(true);
    setSortingEnabled(false);
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
    m_editing.Hide();
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
    m_editing.Hide();
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
    m_editing.DoubleClicked(*event);
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
