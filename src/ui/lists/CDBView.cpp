#include "CDBView.h"

#include "CommandIds.h"
#include "LanveyDoc.h"

CDBView::CDBView(CLanveyDoc& doc, ViewHost* host, QWidget* parent)
    : CCommonListView(doc, host, parent)
{
}

int CDBView::ListRowCount() const
{
    return m_doc.GetDatabaseRecordCount();
}

bool CDBView::OnCommand(int id)
{
    switch (id) {
    case ID_FILE_IMPORT:
    case ID_EDIT_ADD:
    case ID_EDIT_DELETE:
    case ID_VIEW_PROPERTIES:
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
        return SelectedRowCount() > 0;
    case ID_VIEW_PROPERTIES:
        return SelectedRowCount() == 1;
    default:
        return CCommonListView::IsCommandEnabled(id);
    }
}
