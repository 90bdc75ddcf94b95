#include "ui/lists/CDBView.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/ScanMerge.h"
#include "support/AddressText.h"
#include "ui/commands/CommandIds.h"
#include "ui/commands/CommandTable.h"
#include "ui/dialogs/CAlarmDlg.h"
#include "ui/dialogs/CEditDlg.h"
#include "ui/dialogs/CShowDetailDlg.h"
#include "ui/lists/CDBListModel.h"
#include "ui/lists/CListViewEdit.h"
#include "ui/lists/ViewHost.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QScrollBar>
#include <new>

namespace
{

// The record the editor's fields describe, over `base` for what the editor does not show;
// its addresses have passed their checks.
DatabaseRecord FieldsOf(const CEditDlg& dialog, DatabaseRecord record = {})
{
    record.ip = GetIpAddress(dialog.m_strIp);
    record.mac = GetMacAddress(dialog.m_strMac, QLatin1Char(':')) | kMacTopBits;
    record.hostName = dialog.m_strHostName;
    record.workgroup = dialog.m_strWorkgroup;
    record.userName = dialog.m_strUserName;
    record.location = dialog.m_strLocation;
    record.comment = dialog.m_strComment;
    record.color = dialog.m_color;
    return record;
}

} // namespace

CDBView::CDBView(CLanveyDoc& doc, ViewHost* host, QWidget* parent)
    : CCommonListView(doc, host, parent), m_pModel(new CDBListModel(doc)),
      // The editor leaves a cell's icon uncovered.
      m_editing(
          *this,
          [](const QModelIndex& index) {
              return DatabaseColumns()[size_t(index.column())].edit != ColumnEdit::None;
          },
          [](const QModelIndex& index, QRect rect) {
              const bool hasIcon = !index.data(Qt::DecorationRole).isNull();
              rect.setLeft(rect.left() + (hasIcon ? kIconIndent : kTextIndent));
              rect.setRight(rect.right() - kTextIndent);
              return rect;
          },
          [this](int row, int column, const QString& text) { OnEndLabelEdit(row, column, text); })
{
    InstallListModel(m_pModel, ColumnWidths(DatabaseColumns()));
    SetItemCount(m_doc.GetDatabaseRecordCount());
    // Whoever changed the database list (this list, a merge from the scan list, an undo
    // after a failed commit), the rows follow it.
    m_doc.SetDatabaseChangedHandler([this] {
        UpdateRowCount();
        m_pModel->RefreshAll();
    });
    // A selection change ends the edit, as a click elsewhere does.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_editing.Hide(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_editing.Hide(); });
}

CDBView::~CDBView()
{
    m_doc.SetDatabaseChangedHandler({});
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
    // A command from a menu or a toolbar button (which take no focus) acts on the edited
    // cell's new value, as a click elsewhere would have applied it.
    m_editing.Hide();
    if (const auto flags = NameTableFlags(id)) {
        // The database list proposes the host name, else the user name.
        AddSelectionToNameTable(flags->first, flags->second, kNameTableSender,
                                [this](int row) -> std::optional<NameTableHost> {
                                    const DatabaseRecord* record = m_doc.GetDatabaseRecord(row);
                                    if (!record)
                                        return std::nullopt;
                                    return NameTableHost{record->ip, record->mac,
                                                         record->hostName.isEmpty()
                                                             ? record->userName
                                                             : record->hostName};
                                });
        return true;
    }
    switch (id) {
    case ID_EDIT_DELETE:
        OnEditDelete();
        return true;
    case ID_EDIT_ADD:
        OnEditAdd();
        return true;
    case ID_VIEW_PROPERTIES:
        OnViewProperties();
        return true;
    case ID_FILE_IMPORT:
        OnFileImport();
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

void CDBView::ShowTotal()
{
    if (m_pHost)
        m_pHost->SetStatusPane1(FormatLangString(147, QStringLiteral("Total %d_HOSTS% hosts."),
                                                 {m_doc.GetDatabaseRecordCount()}));
}

void CDBView::OnEditAdd()
{
    CEditDlg dialog(window());
    dialog.m_nMode = CEditDlg::AddMode;
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::unique_ptr<DatabaseRecord> record;
    try {
        record = std::make_unique<DatabaseRecord>(FieldsOf(dialog));
    } catch (const std::bad_alloc&) {
        CurrentMessagePrompt().Ask(FormatLangStringA(159, "no space!"), PromptButtons::Ok,
                                   PromptIcon::None);
        return;
    }

    const int known = m_doc.FindDatabaseRecordByIp(record->ip);
    if (known < 0) {
        if (m_doc.AppendDatabaseRecord(std::move(record)))
            ShowTotal();
        return;
    }
    if (CurrentMessagePrompt().Ask(FormatLangStringA(160, "Are you overcover it?"),
                                   PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
        return;
    // The replacement goes to the end of the list, in one commit with the removal.
    m_doc.BeginDatabaseChange();
    m_doc.DeleteDatabaseRecord(known);
    m_doc.AppendDatabaseRecord(std::move(record));
    m_doc.EndDatabaseChange();
}

void CDBView::OnViewProperties()
{
    QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const int row =
        std::min_element(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) {
            return a.row() < b.row();
        })->row();
    const DatabaseRecord* record = m_doc.GetDatabaseRecord(row);
    if (!record)
        return;

    CEditDlg dialog(window());
    dialog.m_nMode = CEditDlg::PropertiesMode;
    dialog.m_strIp = FormatIpAddress(record->ip);
    dialog.m_strMac = FormatMacAddress(record->mac);
    dialog.m_strHostName = record->hostName;
    dialog.m_strWorkgroup = record->workgroup;
    dialog.m_strUserName = record->userName;
    dialog.m_strLocation = record->location;
    dialog.m_strComment = record->comment;
    dialog.m_color = record->color;
    if (dialog.exec() != QDialog::Accepted)
        return;

    const DatabaseRecord values = FieldsOf(dialog, *record);
    const int holder = m_doc.FindDatabaseRecordByIp(values.ip);
    if (holder >= 0 && holder != row) {
        CurrentMessagePrompt().Ask(FormatLangStringA(161, "Record already existence!"),
                                   PromptButtons::Ok, PromptIcon::None);
        return;
    }
    if (values != *record)
        m_doc.SetDatabaseRecord(row, values);
}

QByteArray CDBView::ExportRows(ExchangeFormat format, const std::vector<int>& rows) const
{
    std::vector<const DatabaseRecord*> records;
    records.reserve(rows.size());
    for (int row : rows)
        if (const DatabaseRecord* record = m_doc.GetDatabaseRecord(row))
            records.push_back(record);
    return WriteDatabaseRecords(format, records, m_doc.GetVendorTable());
}

void CDBView::OnFileImport()
{
    QFileDialog dialog(window(), FormatLangStringA(0xF291, "Import"));
    dialog.setObjectName(QStringLiteral("ImportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name typed by hand may name no file; the program says so itself.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(
        {FormatLangStringA(0xF296, "Host lists (*.csv *.json *.xml *.txt ethers)"),
         FormatLangStringA(0xF297, "All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    if (!QFileInfo(path).isFile()) {
        CurrentMessagePrompt().Ask(FormatLangStringA(158, "The file does not exist!"),
                                   PromptButtons::Ok, PromptIcon::Warning);
        return;
    }
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    const ImportReadResult read = file.error() == QFileDevice::NoError
                                      ? ReadRecords(bytes, m_doc.GetDatabaseRecords())
                                      : ImportReadResult();
    if (read.format == ExchangeFormat::Unknown) {
        ShowErrorMessage(FormatLangStringA(198, "Import file failed!"));
        return;
    }

    CAlarmDlg dialogReplace(m_doc.GetVendorTable(), window());
    dialogReplace.SetGroupTitles(FormatLangStringA(205, "File Record"),
                                 FormatLangStringA(203, "Database Record"));
    const MergeReport report = MergeImportedRecords(
        m_doc, read.records, [&](const DatabaseRecord& incoming, const DatabaseRecord& record) {
            dialogReplace.m_scanRecord = HostRecord();
            dialogReplace.m_scanRecord.ip = incoming.ip;
            dialogReplace.m_scanRecord.mac = incoming.mac;
            dialogReplace.m_scanRecord.hostName = incoming.hostName;
            dialogReplace.m_scanRecord.workgroup = incoming.workgroup;
            dialogReplace.m_dbRecord = record;
            dialogReplace.exec();
            return ReplaceAnswer(dialogReplace.m_nResult);
        });
    // A file the database would not take was undone, and that has been said.
    if (!report.committed)
        return;
    if (report.added)
        ShowTotal();

    QString text = ImportReportText(report, int(read.errors.size()), read.cutRows);
    if (read.errors.empty()) {
        CurrentMessagePrompt().Ask(text, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    text += QStringLiteral("\n\n") +
            FormatLangStringA(0xF29E, "Show the lines that could not be imported?");
    if (CurrentMessagePrompt().Ask(text, PromptButtons::YesNo, PromptIcon::Warning) !=
        PromptAnswer::Yes)
        return;
    CShowDetailDlg detail(window());
    detail.SetDetailText(ImportErrorsText(read.errors));
    detail.exec();
}

void CDBView::OnEditDelete()
{
    if (!HasSelectedRow())
        return;
    // One commit for every row deleted.
    m_doc.BeginDatabaseChange();
    const bool deleted = DeleteSelectedRows();
    const bool committed = m_doc.EndDatabaseChange();
    if (deleted && committed)
        ShowTotal();
    UpdateCommandUI();
}

const void* CDBView::RecordAtRow(int row) const
{
    return m_doc.GetDatabaseRecord(row);
}

void CDBView::OnSort(int column, bool ascending)
{
    m_editing.Hide();
    m_doc.SortDatabaseRecords(column, ascending);
}

void CDBView::mouseDoubleClickEvent(QMouseEvent* event)
{
    CCommonListView::mouseDoubleClickEvent(event);
    m_editing.DoubleClicked(*event);
}

void CDBView::OnEndLabelEdit(int row, int column, const QString& text)
{
    const DatabaseRecord* record = m_doc.GetDatabaseRecord(row);
    if (!record)
        return;
    // The editor started from the cell's text as shown (control characters replaced):
    // an edit that leaves it as it was (Escape, Enter at once) keeps the stored value.
    if (text == m_pModel->index(row, column).data(Qt::DisplayRole).toString())
        return;
    DatabaseRecord values = *record;
    const ListColumn<DatabaseRecord>& entry = DatabaseColumns()[size_t(column)];
    switch (entry.edit) {
    case ColumnEdit::Address: {
        const quint32 ip = GetIpAddress(text);
        if (ip == kNoIpAddress)
            break;
        const int holder = m_doc.FindDatabaseRecordByIp(ip);
        if (holder >= 0 && holder != row) {
            // Shown once the edit has ended, not from inside its notification.
            QMetaObject::invokeMethod(
                this,
                [] {
                    CurrentMessagePrompt().Ask(FormatLangStringA(161, "Record already existence!"),
                                               PromptButtons::Ok, PromptIcon::None);
                },
                Qt::QueuedConnection);
            break;
        }
        values.ip = ip;
        break;
    }
    case ColumnEdit::Mac: {
        const quint64 mac = GetMacAddress(text, QLatin1Char(':'));
        if (mac != kNoMacAddress)
            values.mac = mac | kMacTopBits;
        break;
    }
    case ColumnEdit::Text:
        values.*entry.member = text;
        break;
    case ColumnEdit::None:
        break;
    }
    if (values != *record)
        m_doc.SetDatabaseRecord(row, values);
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
