#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

// The table behind a record list. It holds no record: every cell is asked of the
// document when the view draws it. Its row count is the count the view last set, not the
// size of the document's list, so that rows a worker appends show up at the next count
// update and a row never appears before the view has been told about it.
class CRecordListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // A column title's role that tells whether the column is printed with the list.
    static constexpr int kColumnPrintedRole = Qt::UserRole + 1;

    // The titles of the columns and whether each is printed, in column order.
    CRecordListModel(QStringList titles, std::vector<bool> printed, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The row count of the list. Growing inserts rows at the end and shrinking removes
    // them from the end, so the rows that stay keep their selection; the cells of every
    // row are read afresh at the next drawing either way.
    void SetItemCount(int count);
    int ItemCount() const { return m_nCount; }

    // Removes rows [first, last] from the list and, between the model's begin and end
    // notifications, the records behind them from the document.
    void RemoveRows(int first, int last);

    // Every cell's contents may have changed (after a sort, say).
    void RefreshAll();

protected:
    // Frees the document's record at `row`.
    virtual void DeleteRecord(int row) = 0;

    bool IsValidCell(const QModelIndex& index) const;

private:
    QStringList m_titles;
    std::vector<bool> m_printed;
    int m_nCount = 0;
};
