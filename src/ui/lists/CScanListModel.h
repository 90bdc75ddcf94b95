#pragma once

#include "ui/lists/CRecordListModel.h"

class CLanveyDoc;
class CNVOUI;
struct HostRecord;

// A scan list cell of `record` (its compare states worked out) in `role`: the text
// without control characters, the icons, the compare colour, the MAC's tooltip.
QVariant ScanCellData(const HostRecord& record, int column, int role, const CNVOUI* oui);

// The rows of the scan list: one per HostRecord of the document's scan list. Texts,
// icons and colours come from the record when a cell is drawn, and the comparison with
// the database is worked out afresh each time, so a row follows database changes at
// its next drawing. Workers append records meanwhile, so every read is under
// g_recordLock.
class CScanListModel final : public CRecordListModel
{
    Q_OBJECT

public:
    explicit CScanListModel(CLanveyDoc& doc, QObject* parent = nullptr);

    // The column titles, in column order.
    static QStringList ColumnTitles();

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    void multiData(const QModelIndex& index, QModelRoleDataSpan roleDataSpan) const override;

protected:
    void DeleteRecord(int row) override;

private:
    CLanveyDoc& m_doc;
};
