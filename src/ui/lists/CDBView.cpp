#include "ui/lists/CDBView.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "ui/frame/CommandIds.h"
#include "ui/frame/CommandTable.h"
#include "ui/lists/CDBListModel.h"
#include "ui/lists/ViewHost.h"

#include <QDir>

CDBView::CDBView(CLanveyDoc& doc, ViewHost* host, QWidget* parent)
    : CCommonListView(doc, host, parent), m_pModel(new CDBListModel(doc))
{
    InstallListModel(m_pModel, {130, 150, 150, 150, 150, 150, 150, 500});
    SetItemCount(m_doc.GetDatabaseRecordCount());
}

QString CDBView::PrintTitle() const
{
    return FormatLangString(164, QStringLiteral("Database"));
}

void CDBView::UpdateRowCount()
{
    SetItemCount(m_doc.GetDatabaseRecordCount());
    viewport()->update();
}

bool CDBView::OnCommand(int id)
{
    switch (id) {
    case ID_EDIT_DELETE:
        OnEditDelete();
        return true;
    case ID_FILE_IMPORT:
    case ID_EDIT_ADD:
    case ID_VIEW_PROPERTIES:
        // Import and the record editor are not part of the list yet.
        return true;
    default:
        return CCommonListView::OnCommand(id);
    }
}

std::optional<bool> CDBView::IsCommandEnabled(int id)
{
    switch (id) {
    case ID_FILE_IMPORT:
    case ID_EDIT_ADD:
        return true;
    case ID_EDIT_DELETE:
    case ID_VIEW_PROPERTIES:
        return HasSelectedRow();
    case ID_EDIT_ADD_TO_DATABASE:
        return false;
    default:
        return CCommonListView::IsCommandEnabled(id);
    }
}

void CDBView::OnEditDelete()
{
    if (!HasSelectedRow())
        return;
    const bool deleted = DeleteSelectedRows();
    if (deleted)
        m_pHost->SetStatusPane1(FormatLangString(147, QStringLiteral("Total %d_HOSTS% hosts."),
                                                 {m_doc.GetDatabaseRecordCount()}));
    SetItemCount(m_doc.GetDatabaseRecordCount());
    if (deleted)
        SaveDatabase();
    UpdateCommandUI();
}

void CDBView::OnSort(int column, bool ascending)
{
    m_doc.SortDatabaseRecords(column, ascending);
    SetItemCount(m_doc.GetDatabaseRecordCount());
    m_pModel->RefreshAll();
    viewport()->update();
    // The file keeps the list's order.
    SaveDatabase();
}

void CDBView::SaveDatabase()
{
    // Without a file (a list that was never loaded from one) there is nothing to keep.
    if (m_doc.GetDatabasePath().isEmpty())
        return;
    QString error;
    if (!m_doc.SaveDatabase(&error))
        ShowErrorMessage(FormatLangString(
            0xF288,
            QStringLiteral("The database file \"%s_PATH%\" could not be saved (%s_ERROR%)."),
            {QDir::toNativeSeparators(m_doc.GetDatabasePath()), error}));
}

std::vector<int> CDBView::ContextMenuItems() const
{
    return {ID_EDIT_ADD,
            kSubmenuNameTable,
            ID_EDIT_COPY,
            ID_EDIT_DELETE,
            0,
            ID_FILE_IMPORT,
            ID_FILE_EXPORT_ALL,
            ID_FILE_EXPORT_SELECTED,
            0,
            ID_EDIT_FIND,
            0,
            ID_EDIT_SELECT_ALL,
            0,
            ID_VIEW_PROPERTIES};
}
