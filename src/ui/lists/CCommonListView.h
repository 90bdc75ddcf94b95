#pragma once

#include "records/RecordExchange.h"
#include "ui/commands/CommandTarget.h"
#include "ui/dialogs/FindTarget.h"
#include "ui/nametable/NameTableHandOff.h"

#include <QTableView>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CLanveyDoc;
class CRecordListModel;
class QMenu;
class QMimeData;
class QPrinter;
class ViewHost;

// What both lists share: the table over a model that asks the document for every cell,
// the look (grid lines, full-row selection, movable columns, the tint of selected rows,
// no focus rectangle), the search, Select All, printing, and the enabling rules of the
// commands that act on rows (enabled only while rows are selected) or on the whole list
// (enabled only while it has rows).
class CCommonListView : public QTableView, public CommandTarget, public FindTarget
{
    Q_OBJECT

public:
    // The width a double-click on a header divider gives the column before it.
    static constexpr int kDividerDoubleClickWidth = 130;

    CCommonListView(CLanveyDoc& doc, ViewHost* host, QWidget* parent = nullptr);
    ~CCommonListView() override;

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;

    // The row commands follow the selection of whatever model the list is given.
    void setModel(QAbstractItemModel* model) override;

    CLanveyDoc& Document() const { return m_doc; }
    ViewHost* Host() const { return m_pHost; }

    // Rows the list shows and rows the user has selected.
    int ListRowCount() const;
    int SelectedRowCount() const;
    bool HasSelectedRow() const;
    // The row with the focus, -1 when there is none.
    int FocusedRow() const;

    // The number of rows the list shows; the records stay in the document.
    void SetItemCount(int count);

    // FindTarget: the search over every cell's text.
    bool FindText(const QString& text, bool matchCase, bool continueSearch) override;
    QString GetLastFindText() const override { return m_strLastFindText; }
    bool GetLastMatchCase() const { return m_bLastMatchCase; }

    // The list as a printed table: its own title and the application title on each page.
    virtual QString PrintTitle() const = 0;
    bool PrintTo(QPrinter& printer) const;

    // The context menu as it would open now (commands enabled as they are).
    std::unique_ptr<QMenu> CreateContextMenu();

    // The selected rows, in list order.
    std::vector<int> SelectedRowsInOrder() const;
    // The clipboard's contents for `rows`: tab-separated text with a header row (cells in
    // a spreadsheet) and the same as an HTML table.
    std::unique_ptr<QMimeData> RowsAsClipboardData(const std::vector<int>& rows) const;
    // The file an export of `rows` writes in `format`.
    virtual QByteArray ExportRows(ExchangeFormat format, const std::vector<int>& rows) const = 0;

    // The two flags of "IP Address", "MAC Address" and "IP and MAC Address"; null for
    // every other command.
    static std::optional<std::pair<bool, bool>> NameTableFlags(int id);

protected:
    // Gives the list its own model; the list owns it.
    void InstallListModel(CRecordListModel* model, const std::vector<int>& columnWidths);
    CRecordListModel* ListModel() const { return m_pListModel; }

    // Hands the selected rows to the analyzer's name table, with their IPv4 addresses,
    // their MAC addresses or both; `sender` tells the analyzer which list sent them, and
    // `hostAt` gives a row's addresses and the alias the list proposes.
    void AddSelectionToNameTable(bool ipv4, bool mac, quint64 sender,
                                 const NameTableHandOff::HostAt& hostAt);

    // A click on a column title sorts the list by it; a second click the other way.
    virtual void OnSort(int column, bool ascending) = 0;
    // The record a row shows, as the identity the selection follows through a sort; null
    // outside the list. Called with g_recordLock held.
    virtual const void* RecordAtRow(int row) const = 0;

    // The context menu's items: command ids, 0 for a separator, kSubmenuNameTable for the
    // "Add to NameTable with" submenu; and the item drawn as the default one (0 for none).
    virtual std::vector<int> ContextMenuItems() const = 0;
    virtual int ContextMenuDefaultItem() const { return 0; }
    // Texts of items the command table does not carry.
    virtual QString ContextMenuText(int id) const;

    // Asks whether to delete the selected rows and, on Yes, removes them from the list
    // and their records from the document, lowest rows first. False when nothing was
    // selected or the answer was not Yes.
    bool DeleteSelectedRows();

    // A command along the frame's route (this list first), or this list's own when the
    // list stands without a frame.
    bool RouteCommand(int id);
    bool IsRouteEnabled(int id);
    void UpdateCommandUI();

    void contextMenuEvent(QContextMenuEvent* event) override;

    CLanveyDoc& m_doc;
    ViewHost* m_pHost;

private:
    // Sorts by `column` and keeps the selection and the focus on the records they were on,
    // wherever these go: a user who selected a host and sorted acts on that host.
    void SortKeepingSelection(int column, bool ascending);
    int LowestSelectedRow() const;
    void OnEditCopy();
    // Export All or Export Selected: the file dialog, the overwrite question, the file
    // written beside its name and renamed, and the offer to open it.
    void OnExport(bool selectedOnly);
    void RunPrintDialog();
    void RunPrintPreview();
    void RunPageSetup();

    CRecordListModel* m_pListModel = nullptr;
    QString m_strLastFindText;
    bool m_bLastMatchCase = false;
};
