#pragma once

#include "ui/lists/CCommonListView.h"

class CDBListModel;

// The "Database" list of known hosts. Every change it makes to the database list (a
// delete, a sort, which sets the stored order) is written to the database file at once.
class CDBView final : public CCommonListView
{
    Q_OBJECT

public:
    CDBView(CLanveyDoc& doc, ViewHost* host, QWidget* parent = nullptr);

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;
    QString PrintTitle() const override;

    // Shows as many rows as the database list holds, after whoever changed it.
    void UpdateRowCount();

protected:
    void OnSort(int column, bool ascending) override;
    std::vector<int> ContextMenuItems() const override;

private:
    void OnEditDelete();
    // Writes the database list to its file; a failure is shown to the user.
    void SaveDatabase();

    CDBListModel* m_pModel;
};
