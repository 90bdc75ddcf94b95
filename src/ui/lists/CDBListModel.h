#pragma once

#include "ui/lists/CRecordListModel.h"

class CLanveyDoc;

// The rows of the database list: one per DatabaseRecord, in list order, each drawn in
// its record's colour. Only the UI thread touches the database list.
class CDBListModel final : public CRecordListModel
{
    Q_OBJECT

public:
    explicit CDBListModel(CLanveyDoc& doc, QObject* parent = nullptr);

    static QStringList ColumnTitles();

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    void DeleteRecord(int row) override;

private:
    CLanveyDoc& m_doc;
};
