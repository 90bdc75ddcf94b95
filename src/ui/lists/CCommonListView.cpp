#include "CCommonListView.h"

#include "CommandIds.h"
#include "ViewHost.h"

#include <QItemSelectionModel>

CCommonListView::CCommonListView(CLanveyDoc& doc, ViewHost* host, QWidget* parent)
    : QTableView(parent), m_doc(doc), m_pHost(host)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

int CCommonListView::SelectedRowCount() const
{
    const QItemSelectionModel* selection = selectionModel();
    return selection ? static_cast<int>(selection->selectedRows().size()) : 0;
}

void CCommonListView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    if (QItemSelectionModel* selection = selectionModel())
        connect(selection, &QItemSelectionModel::selectionChanged, this, [this] {
            if (m_pHost)
                m_pHost->UpdateCommandUI();
        });
}

bool CCommonListView::OnCommand(int id)
{
    switch (id) {
    case ID_EDIT_SELECT_ALL:
        selectAll();
        if (m_pHost)
            m_pHost->UpdateCommandUI();
        return true;
    case ID_EDIT_COPY:
    case ID_FILE_EXPORT_ALL:
    case ID_FILE_EXPORT_SELECTED:
    case ID_NAMETABLE_IP:
    case ID_NAMETABLE_MAC:
    case ID_NAMETABLE_IP_MAC:
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
    case ID_FILE_PRINT_PREVIEW:
        // The list commands arrive with the record lists themselves.
        return true;
    default:
        return false;
    }
}

std::optional<bool> CCommonListView::IsCommandEnabled(int id)
{
    switch (id) {
    case ID_EDIT_COPY:
    case ID_FILE_EXPORT_SELECTED:
    case ID_NAMETABLE_POPUP:
    case ID_NAMETABLE_IP:
    case ID_NAMETABLE_MAC:
    case ID_NAMETABLE_IP_MAC:
        return SelectedRowCount() > 0;
    case ID_FILE_EXPORT_ALL:
    case ID_EDIT_SELECT_ALL:
        return ListRowCount() > 0;
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
    case ID_FILE_PRINT_PREVIEW:
        return true;
    default:
        return std::nullopt;
    }
}
