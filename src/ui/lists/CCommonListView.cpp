#include "ui/lists/CCommonListView.h"

#include "app/ProfileSettings.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "support/WholeFile.h"
#include "ui/commands/CommandIds.h"
#include "ui/commands/CommandTable.h"
#include "ui/lists/CListItemDelegate.h"
#include "ui/lists/CListViewEdit.h"
#include "ui/lists/CRecordListModel.h"
#include "ui/lists/ListPrinter.h"
#include "ui/lists/ViewHost.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <unordered_set>

namespace
{

// One printer for the program, so that the page setup holds for both lists and every
// later print. It lives as long as the process: a printer torn down after the
// application object may still reach for the print system.
QPrinter& SharedPrinter()
{
    static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

} // namespace

CCommonListView::CCommonListView(CLanveyDoc& doc, ViewHost* host, QWidget* parent)
    : QTableView(parent), m_doc(doc), m_pHost(host)
{
    SetUpHostList(*this);
    setTextElideMode(Qt::ElideRight);
    setIconSize(QSize(16, 16));
    // The delegate draws the grid, so that selected rows tint it like their cells.
    setShowGrid(false);
    setItemDelegate(new CListItemDelegate(this));

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsMovable(true);
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(true);
    columns->setSortIndicator(-1, Qt::AscendingOrder);
    connect(columns, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                if (column >= 0)
                    SortKeepingSelection(column, order == Qt::AscendingOrder);
            });
    // A divider double-click gives the column a fixed width rather than fitting it to
    // its contents, which would read every row.
    disconnect(columns, &QHeaderView::sectionHandleDoubleClicked, this, nullptr);
    connect(columns, &QHeaderView::sectionHandleDoubleClicked, this,
            [columns](int column) { columns->resizeSection(column, kDividerDoubleClickWidth); });
}

CCommonListView::~CCommonListView() = default;

void CCommonListView::InstallListModel(CRecordListModel* model, const std::vector<int>& widths)
{
    // A model without an owner becomes the list's; the scan list's belongs to its session.
    if (!model->parent())
        model->setParent(this);
    m_pListModel = model;
    setModel(model);
    for (size_t column = 0; column < widths.size(); ++column)
        horizontalHeader()->resizeSection(static_cast<int>(column), widths[column]);
}

void CCommonListView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    if (QItemSelectionModel* selection = selectionModel())
        connect(selection, &QItemSelectionModel::selectionChanged, this,
                &CCommonListView::UpdateCommandUI);
}

int CCommonListView::ListRowCount() const
{
    return model() ? model()->rowCount() : 0;
}

int CCommonListView::SelectedRowCount() const
{
    const QItemSelectionModel* selection = selectionModel();
    return selection ? static_cast<int>(selection->selectedRows().size()) : 0;
}

bool CCommonListView::HasSelectedRow() const
{
    const QItemSelectionModel* selection = selectionModel();
    return selection && selection->hasSelection();
}

int CCommonListView::FocusedRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CCommonListView::SetItemCount(int count)
{
    if (!m_pListModel)
        return;
    const bool wasEmpty = m_pListModel->ItemCount() == 0;
    m_pListModel->SetItemCount(count);
    // The whole-list commands follow the first row and the last; other counts change
    // nothing.
    if (wasEmpty != (m_pListModel->ItemCount() == 0))
        UpdateCommandUI();
}

void CCommonListView::UpdateCommandUI()
{
    if (m_pHost)
        m_pHost->UpdateCommandUI();
}

bool CCommonListView::RouteCommand(int id)
{
    if (m_pHost)
        return m_pHost->RouteCommand(id);
    return IsRouteEnabled(id) && OnCommand(id);
}

bool CCommonListView::IsRouteEnabled(int id)
{
    if (m_pHost)
        return m_pHost->IsRouteEnabled(id);
    return IsCommandEnabled(id).value_or(false);
}

bool CCommonListView::OnCommand(int id)
{
    switch (id) {
    case ID_EDIT_FIND_NEXT:
        // Nothing to repeat before the first search.
        if (!m_strLastFindText.isEmpty())
            FindText(m_strLastFindText, m_bLastMatchCase, true);
        return true;
    case ID_EDIT_SELECT_ALL:
        selectAll();
        UpdateCommandUI();
        return true;
    case ID_FILE_PRINT:
        RunPrintDialog();
        return true;
    case ID_FILE_PRINT_DIRECT:
        PrintTo(SharedPrinter());
        return true;
    case ID_FILE_PRINT_PREVIEW:
        RunPrintPreview();
        return true;
    case ID_FILE_PRINT_SETUP:
        RunPageSetup();
        return true;
    case ID_EDIT_COPY:
        OnEditCopy();
        return true;
    case ID_FILE_EXPORT_ALL:
        OnExport(false);
        return true;
    case ID_FILE_EXPORT_SELECTED:
        OnExport(true);
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
        return HasSelectedRow();
    case ID_FILE_EXPORT_ALL:
    case ID_EDIT_SELECT_ALL:
        return ListRowCount() > 0;
    case ID_EDIT_FIND_NEXT:
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
    case ID_FILE_PRINT_PREVIEW:
    case ID_FILE_PRINT_SETUP:
        return true;
    default:
        return std::nullopt;
    }
}

bool CCommonListView::FindText(const QString& text, bool matchCase, bool continueSearch)
{
    m_strLastFindText = text;
    m_bLastMatchCase = matchCase;

    const QAbstractItemModel* list = model();
    const QString wanted = matchCase ? text : text.toUpper();
    const auto rowMatches = [&](int row) {
        for (int column = 0; column < list->columnCount(); ++column) {
            const QString cell = list->index(row, column).data(Qt::DisplayRole).toString();
            if ((matchCase ? cell : cell.toUpper()).contains(wanted))
                return true;
        }
        return false;
    };

    const int focused = FocusedRow();
    const int start = continueSearch && focused >= 0 ? focused + 1 : 0;
    int found = -1;
    if (list) {
        // Counts are read at every step: workers may add rows meanwhile.
        for (int row = start; found < 0 && row < list->rowCount(); ++row)
            if (rowMatches(row))
                found = row;
        // Round to the top, so that the focused row itself comes last.
        for (int row = 0; found < 0 && row < start && row < list->rowCount(); ++row)
            if (rowMatches(row))
                found = row;
    }

    if (found < 0) {
        CurrentMessagePrompt().Ask(
            continueSearch
                ? FormatLangString(152, QStringLiteral("The next specified text was not found."))
                : FormatLangString(154, QStringLiteral("The specified text was not found.")),
            PromptButtons::Ok, PromptIcon::Warning);
        return false;
    }
    // The found row is brought into view up or down only: the columns the user has
    // scrolled to stay where they are.
    const int across = horizontalScrollBar()->value();
    const QModelIndex match = list->index(found, 0);
    selectionModel()->setCurrentIndex(match, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(match, QAbstractItemView::EnsureVisible);
    horizontalScrollBar()->setValue(across);
    return true;
}

void CCommonListView::SortKeepingSelection(int column, bool ascending)
{
    QItemSelectionModel* selection = selectionModel();
    std::unordered_set<const void*> selected;
    const void* focused = nullptr;
    {
        std::lock_guard guard(g_recordLock);
        for (const QModelIndex& index : selection->selectedRows())
            selected.insert(RecordAtRow(index.row()));
        focused = RecordAtRow(selection->currentIndex().row());
    }
    OnSort(column, ascending);

    // A record gone meanwhile (a failed commit puts copies back) is selected no more.
    QItemSelection kept;
    QModelIndex focus;
    {
        std::lock_guard guard(g_recordLock);
        const int columns = model()->columnCount();
        for (int row = 0; row < model()->rowCount(); ++row) {
            const void* record = RecordAtRow(row);
            if (record && selected.contains(record))
                kept.select(model()->index(row, 0), model()->index(row, columns - 1));
            if (record && record == focused)
                focus = model()->index(row, 0);
        }
    }
    selection->setCurrentIndex(focus, QItemSelectionModel::NoUpdate);
    selection->select(kept, QItemSelectionModel::ClearAndSelect);
}

int CCommonListView::LowestSelectedRow() const
{
    const QItemSelectionModel* selection = selectionModel();
    if (!selection)
        return -1;
    int lowest = -1;
    for (const QItemSelectionRange& range : selection->selection())
        if (range.isValid() && (lowest < 0 || range.top() < lowest))
            lowest = range.top();
    return lowest;
}

std::vector<int> CCommonListView::SelectedRowsInOrder() const
{
    std::vector<int> rows;
    if (const QItemSelectionModel* selection = selectionModel())
        for (const QModelIndex& index : selection->selectedRows())
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::unique_ptr<QMimeData> CCommonListView::RowsAsClipboardData(const std::vector<int>& rows) const
{
    const QAbstractItemModel* list = model();
    QStringList lines;
    QString html = QStringLiteral("<table>\n");
    const auto addRow = [&](const QStringList& cells, bool header) {
        lines << cells.join(u'\t');
        const QString cell = header ? QStringLiteral("th") : QStringLiteral("td");
        html += QStringLiteral("<tr>");
        for (const QString& text : cells)
            html += QStringLiteral("<%1>%2</%1>").arg(cell, text.toHtmlEscaped());
        html += QStringLiteral("</tr>\n");
    };
    QStringList titles;
    for (int column = 0; list && column < list->columnCount(); ++column)
        titles << list->headerData(column, Qt::Horizontal).toString();
    addRow(titles, true);
    for (int row : rows) {
        QStringList cells;
        for (int column = 0; list && column < list->columnCount(); ++column) {
            // The cells as shown: control characters are replaced already; a tab or a
            // line break would split the cell in a spreadsheet.
            QString text = list->index(row, column).data(Qt::DisplayRole).toString();
            text.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
            cells << text;
        }
        addRow(cells, false);
    }
    html += QStringLiteral("</table>\n");
    auto data = std::make_unique<QMimeData>();
    data->setText(lines.join(QStringLiteral("\n")) + u'\n');
    data->setHtml(html);
    return data;
}

void CCommonListView::OnEditCopy()
{
    const std::vector<int> rows = SelectedRowsInOrder();
    if (rows.empty())
        return;
    QApplication::clipboard()->setMimeData(RowsAsClipboardData(rows).release());
}

void CCommonListView::OnExport(bool selectedOnly)
{
    std::vector<int> rows;
    if (selectedOnly) {
        rows = SelectedRowsInOrder();
    } else {
        for (int row = 0; row < ListRowCount(); ++row)
            rows.push_back(row);
    }
    if (rows.empty())
        return;

    struct Choice {
        ExchangeFormat format;
        QString filter;
    };
    const std::vector<Choice> choices = {
        {ExchangeFormat::Csv, FormatLangStringA(0xF292, "CSV file (*.csv)")},
        {ExchangeFormat::Json, FormatLangStringA(0xF293, "JSON file (*.json)")},
        {ExchangeFormat::Ethers, FormatLangStringA(0xF294, "Wireshark ethers file (ethers)")},
        {ExchangeFormat::Hosts, FormatLangStringA(0xF295, "Wireshark hosts file (hosts)")},
    };
    QFileDialog dialog(window(), FormatLangStringA(0xF290, "Export"));
    dialog.setObjectName(QStringLiteral("ExportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The program's own question, in its language, instead of the dialog's.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList filters;
    for (const Choice& choice : choices)
        filters << choice.filter;
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(ExchangeSuffix(ExchangeFormat::Csv));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        for (const Choice& choice : choices)
            if (choice.filter == filter)
                dialog.setDefaultSuffix(ExchangeSuffix(choice.format));
    });
    // The folder of the last export, while it is there.
    const QString lastFolder = QString::fromUtf8(GetProfileBinary(QStringLiteral("ExportFolder")));
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir())
        dialog.setDirectory(lastFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().constFirst();
    WriteProfileBinary(QStringLiteral("ExportFolder"), QFileInfo(path).absolutePath().toUtf8());
    // A name of its own kind ("hosts.json") says what it holds, whatever filter was chosen.
    ExchangeFormat format = ExchangeFormat::Csv;
    for (const Choice& choice : choices)
        if (choice.filter == dialog.selectedNameFilter())
            format = choice.format;
    if (const std::optional<ExchangeFormat> named = ExchangeFormatOfName(path))
        format = *named;

    if (QFileInfo::exists(path) &&
        CurrentMessagePrompt().Ask(
            FormatLangStringA(156, "The file already exists, do you want to overwrite it?"),
            PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
        return;

    QString error;
    if (!WriteWholeFile(path, ExportRows(format, rows), &error)) {
        ShowErrorMessage(
            FormatLangStringA(0xF298, "The file \"%s_FILE%\" could not be written (%s_ERROR%).",
                              {QDir::toNativeSeparators(path), error}));
        return;
    }
    const PromptAnswer open = CurrentMessagePrompt().Ask(
        FormatLangStringA(217,
                          "The file \"%s_EXPORTFILENAME%\" has been exported successful.\r\n\r\n"
                          "Would you like to open the file or open the containing folder?",
                          {QDir::toNativeSeparators(path)}),
        PromptButtons::OpenFileFolder, PromptIcon::Information);
    if (!m_pHost || (open != PromptAnswer::Yes && open != PromptAnswer::No))
        return;
    const QFileInfo info(path);
    m_pHost->OpenUrl(QUrl::fromLocalFile(open == PromptAnswer::Yes ? info.absoluteFilePath()
                                                                   : info.absolutePath()));
}

bool CCommonListView::DeleteSelectedRows()
{
    if (!HasSelectedRow() || !m_pListModel || model() != m_pListModel)
        return false;
    if (CurrentMessagePrompt().Ask(
            FormatLangString(209,
                             QStringLiteral("Are you sure you want to delete selected item(s)?")),
            PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
        return false;
    // Lowest selected row first, a run of selected rows at a time.
    for (int first = LowestSelectedRow(); first >= 0; first = LowestSelectedRow()) {
        int last = first;
        while (last + 1 < m_pListModel->ItemCount() &&
               selectionModel()->isRowSelected(last + 1, QModelIndex()))
            ++last;
        const int before = m_pListModel->ItemCount();
        m_pListModel->RemoveRows(first, last);
        if (m_pListModel->ItemCount() == before)
            break;
    }
    return true;
}

bool CCommonListView::PrintTo(QPrinter& printer) const
{
    return PrintListView(printer, *this, PrintTitle(), AppTitle());
}

namespace
{

// Set once the user has chosen the paper in Page Setup: from then on that choice holds.
bool g_pageChosenByUser = false;

} // namespace

void CCommonListView::RunPrintDialog()
{
    if (!g_pageChosenByUser)
        FitPageOrientation(SharedPrinter(), *this);
    QPrintDialog dialog(&SharedPrinter(), this);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(SharedPrinter());
}

void CCommonListView::RunPrintPreview()
{
    if (!g_pageChosenByUser)
        FitPageOrientation(SharedPrinter(), *this);
    QPrintPreviewDialog dialog(&SharedPrinter(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { PrintTo(*printer); });
    dialog.exec();
}

void CCommonListView::RunPageSetup()
{
    QPageSetupDialog dialog(&SharedPrinter(), this);
    if (dialog.exec() == QDialog::Accepted)
        g_pageChosenByUser = true;
}

QString CCommonListView::ContextMenuText(int id) const
{
    // The list menus give these their own access keys; the menu bar's texts have none.
    switch (id) {
    case ID_EDIT_COPY:
        return FormatLangStringA(0xF281, "&Copy");
    case ID_EDIT_DELETE:
        return FormatLangStringA(0xF282, "&Delete");
    case ID_FILE_EXPORT_ALL:
        return FormatLangStringA(0xF283, "&Export All Items...");
    case ID_FILE_EXPORT_SELECTED:
        return FormatLangStringA(0xF284, "Export &Selected Items...");
    case ID_EDIT_FIND:
        return FormatLangStringA(0xF285, "&Find...");
    default:
        break;
    }
    const CommandInfo* info = FindCommand(id);
    return info ? MenuText(info->menuText) : QString();
}

std::unique_ptr<QMenu> CCommonListView::CreateContextMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    UpdateCommandUI();
    const int defaultItem = ContextMenuDefaultItem();
    const auto addItem = [&](QMenu* to, int id) {
        // An action of this menu with the list menu's text, taking the frame's route;
        // the accelerator is shown beside it as in the menu bar.
        QAction* action = to->addAction(ContextMenuText(id));
        action->setEnabled(IsRouteEnabled(id));
        for (const AcceleratorInfo& accelerator : AcceleratorTable()) {
            if (accelerator.id == id) {
                action->setShortcut(accelerator.keys);
                action->setShortcutContext(Qt::WidgetShortcut);
                action->setShortcutVisibleInContextMenu(true);
                break;
            }
        }
        connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
        if (id == defaultItem)
            to->setDefaultAction(action);
    };
    for (int id : ContextMenuItems()) {
        if (id == 0) {
            menu->addSeparator();
        } else if (id == kSubmenuNameTable) {
            QMenu* names = menu->addMenu(MenuText(kNameTableMenuTitle));
            names->setEnabled(IsRouteEnabled(ID_NAMETABLE_POPUP));
            for (int item : {ID_NAMETABLE_IP, ID_NAMETABLE_MAC, ID_NAMETABLE_IP_MAC})
                addItem(names, item);
        } else {
            addItem(menu.get(), id);
        }
    }
    return menu;
}

void CCommonListView::contextMenuEvent(QContextMenuEvent* event)
{
    const std::unique_ptr<QMenu> menu = CreateContextMenu();
    menu->exec(event->globalPos());
    event->accept();
}

std::optional<std::pair<bool, bool>> CCommonListView::NameTableFlags(int id)
{
    switch (id) {
    case ID_NAMETABLE_IP:
        return std::pair(true, false);
    case ID_NAMETABLE_MAC:
        return std::pair(false, true);
    case ID_NAMETABLE_IP_MAC:
        return std::pair(true, true);
    default:
        return std::nullopt;
    }
}

void CCommonListView::AddSelectionToNameTable(bool ipv4, bool mac, quint64 sender,
                                              const NameTableHandOff::HostAt& hostAt)
{
    if (!HasSelectedRow())
        return;
    NameTableHandOff handOff(
        window(), m_doc, m_pHost ? m_pHost->Analyzer() : AnalyzerAccess(),
        [this](const QUrl& url) {
            if (m_pHost)
                m_pHost->OpenUrl(url);
        },
        sender);
    handOff.Run(SelectedRowsInOrder(), ipv4, mac, hostAt);
}
