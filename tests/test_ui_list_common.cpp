// What both lists share: the search and its messages, F3, Select All, the divider
// double-click, the tint of selected rows, the row count the list was last told, and
// printing.

#include "test_ui_list_util.h"
#include "ui/lists/ListPrinter.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace
{

const QString kNotFound = QStringLiteral("The specified text was not found.");
const QString kNextNotFound = QStringLiteral("The next specified text was not found.");

} // namespace

class ListCommon : public ListTest
{
protected:
    // Six hosts; host names "alpha" in rows 1 and 4 only.
    void FillScanList()
    {
        const char* names[] = {"gamma", "Alpha", "delta", "beta", "ALPHA", "omega"};
        for (int i = 0; i < 6; ++i) {
            const QByteArray ip = QByteArray("192.168.1.") + QByteArray::number(10 + i);
            const QByteArray mac = QByteArray("00:11:22:33:44:") + QByteArray::number(10 + i);
            AddScanHost(ip.constData(), mac.constData(), QString::fromLatin1(names[i]));
        }
        ShowScanRecords();
    }
    QStringList Messages() { return prompt->Texts(); }
};

TEST_F(ListCommon, FindStartsAtTheTopWithoutContinueAndAfterTheFocusedRowWithIt)
{
    FillScanList();
    CScanView& list = ScanView();
    FocusRow(list, 3);

    // Without continuing, the focus does not matter.
    EXPECT_TRUE(list.FindText(QStringLiteral("alpha"), false, false));
    EXPECT_EQ(list.FocusedRow(), 1);
    EXPECT_EQ(list.SelectedRowCount(), 1);

    // Continuing goes on after row 1, then wraps round to it.
    EXPECT_TRUE(list.FindText(QStringLiteral("alpha"), false, true));
    EXPECT_EQ(list.FocusedRow(), 4);
    EXPECT_TRUE(list.FindText(QStringLiteral("alpha"), false, true));
    EXPECT_EQ(list.FocusedRow(), 1);
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(ListCommon, TheFocusedRowIsSearchedLast)
{
    FillScanList();
    CScanView& list = ScanView();
    // "omega" stands only in row 5: find-next from it searches 0..4 first, then row 5.
    FocusRow(list, 5);
    EXPECT_TRUE(list.FindText(QStringLiteral("omega"), false, true));
    EXPECT_EQ(list.FocusedRow(), 5);
    // "gamma" is in row 0 only; from row 2 it is found by wrapping.
    FocusRow(list, 2);
    EXPECT_TRUE(list.FindText(QStringLiteral("gamma"), true, true));
    EXPECT_EQ(list.FocusedRow(), 0);
}

TEST_F(ListCommon, MatchCaseAndTheStoredSearchText)
{
    FillScanList();
    CScanView& list = ScanView();
    EXPECT_TRUE(list.FindText(QStringLiteral("aLpHa"), false, false));
    EXPECT_EQ(list.FocusedRow(), 1);
    EXPECT_EQ(list.GetLastFindText(), QStringLiteral("aLpHa")); // as typed, not upper-cased

    // With match case only the exact spelling counts.
    EXPECT_TRUE(list.FindText(QStringLiteral("ALPHA"), true, false));
    EXPECT_EQ(list.FocusedRow(), 4);
    EXPECT_FALSE(list.FindText(QStringLiteral("aLpHa"), true, false));
    EXPECT_EQ(list.FocusedRow(), 4); // a miss leaves the selection alone
    EXPECT_EQ(list.SelectedRowCount(), 1);
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text, kNotFound);
    EXPECT_EQ(prompt->shown[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Warning);

    // Any cell counts, the address columns too.
    EXPECT_TRUE(list.FindText(QStringLiteral("33:44:13"), false, false));
    EXPECT_EQ(list.FocusedRow(), 3);
}

TEST_F(ListCommon, AMissTellsWhichSearchItWas)
{
    FillScanList();
    CScanView& list = ScanView();
    FocusRow(list, 2);
    EXPECT_FALSE(list.FindText(QStringLiteral("zeta"), false, true));
    EXPECT_FALSE(list.FindText(QStringLiteral("zeta"), false, false));
    EXPECT_EQ(Messages(), QStringList({kNextNotFound, kNotFound}));
}

TEST_F(ListCommon, AnEmptyListFindsNothingAndCannotSelectAll)
{
    Frame();
    for (CCommonListView* list :
         {static_cast<CCommonListView*>(&ScanView()), static_cast<CCommonListView*>(&DbView())}) {
        Frame().TabView()->SetCurSel(list == &ScanView() ? CLanveyView::kScanTab
                                                         : CLanveyView::kDatabaseTab);
        EXPECT_FALSE(list->FindText(QStringLiteral("x"), false, false));
        EXPECT_FALSE(list->FindText(QStringLiteral("x"), false, true));
        EXPECT_FALSE(Enabled(ID_EDIT_SELECT_ALL));
    }
    EXPECT_EQ(Messages(), QStringList({kNotFound, kNextNotFound, kNotFound, kNextNotFound}));
}

TEST_F(ListCommon, RowsTheListWasNotToldAboutAreNotThere)
{
    FillScanList();
    // A host stored after the last count update: the list shows it only once told.
    AddScanHost("192.168.1.99", "00:11:22:33:44:99", QStringLiteral("late"));
    EXPECT_EQ(ScanView().model()->rowCount(), 6);
    EXPECT_FALSE(ScanView().FindText(QStringLiteral("late"), false, false));
    ShowScanRecords();
    EXPECT_EQ(ScanView().model()->rowCount(), 7);
    EXPECT_TRUE(ScanView().FindText(QStringLiteral("late"), false, false));
    EXPECT_EQ(ScanView().FocusedRow(), 6);
}

TEST_F(ListCommon, F3RepeatsTheLastSearchOfTheActiveList)
{
    FillScanList();
    AddKnownHost("10.0.0.1", "00:aa:00:00:00:01", 0, QStringLiteral("alpha-db"));
    AddKnownHost("10.0.0.2", "00:aa:00:00:00:02", 0, QStringLiteral("other"));
    AddKnownHost("10.0.0.3", "00:aa:00:00:00:03", 0, QStringLiteral("ALPHA-DB"));
    DbView().UpdateRowCount();
    ShowActive();

    ScanView().setFocus();
    ASSERT_TRUE(ScanView().FindText(QStringLiteral("alpha"), false, false));
    QTest::keyClick(frame.get(), Qt::Key_F3);
    EXPECT_EQ(ScanView().FocusedRow(), 4);

    // Each list keeps its own last search.
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    ASSERT_TRUE(DbView().FindText(QStringLiteral("-DB"), true, false));
    EXPECT_EQ(DbView().FocusedRow(), 2);
    QTest::keyClick(frame.get(), Qt::Key_F3);
    EXPECT_EQ(DbView().FocusedRow(), 2); // the only match, found again after the others
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(ScanView().GetLastFindText(), QStringLiteral("alpha"));
    EXPECT_FALSE(ScanView().GetLastMatchCase());
}

TEST_F(ListCommon, F3BeforeAnySearchLeavesTheSelectionAlone)
{
    FillScanList();
    ShowActive();
    FocusRow(ScanView(), 2);
    ScanView().setFocus();
    QTest::keyClick(frame.get(), Qt::Key_F3);
    EXPECT_EQ(ScanView().FocusedRow(), 2);
    EXPECT_EQ(ScanView().SelectedRowCount(), 1);
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(ListCommon, SelectAllSelectsEveryRowAndFollowsTheRows)
{
    FillScanList();
    EXPECT_TRUE(Enabled(ID_EDIT_SELECT_ALL));
    EXPECT_FALSE(Enabled(ID_EDIT_COPY));
    Frame().Action(ID_EDIT_SELECT_ALL)->trigger();
    EXPECT_EQ(ScanView().SelectedRowCount(), 6);
    for (int id : {ID_EDIT_COPY, ID_NAMETABLE_POPUP, ID_NAMETABLE_IP, ID_NAMETABLE_MAC,
                   ID_NAMETABLE_IP_MAC, ID_EDIT_ADD_TO_DATABASE})
        EXPECT_TRUE(Enabled(id)) << id;
    ScanView().clearSelection();
    EXPECT_FALSE(Enabled(ID_NAMETABLE_IP_MAC));
}

TEST_F(ListCommon, DoubleClickOnAHeaderDividerGivesTheColumn130Pixels)
{
    FillScanList();
    ShowActive();
    QHeaderView* header = ScanView().horizontalHeader();
    for (int column : {0, 2, 5}) {
        header->resizeSection(column, 60 + 20 * column);
        const int divider = header->sectionViewportPosition(column) + header->sectionSize(column);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {},
                           QPoint(divider - 1, header->height() / 2));
        EXPECT_EQ(header->sectionSize(column), CCommonListView::kDividerDoubleClickWidth)
            << "column " << column;
    }
}

TEST_F(ListCommon, SelectedRowsAreTintedWithTheHighlightColour)
{
    FillScanList();
    ShowActive();
    CScanView& list = ScanView();
    SelectRows(list, {2});
    list.clearFocus();
    QApplication::processEvents();

    const QImage image = list.viewport()->grab().toImage();
    const QRect selected = list.visualRect(list.model()->index(2, 2));
    const QRect plain = list.visualRect(list.model()->index(3, 2));
    // A point of the background of an empty cell area (right of the short host name).
    const QPoint inSelected(selected.right() - 8, selected.center().y());
    const QPoint inPlain(plain.right() - 8, plain.center().y());

    QStyleOptionViewItem option;
    option.initFrom(&list);
    const auto plainColors = CListItemDelegate::ColorsFor(option, &list, false);
    const auto tinted = CListItemDelegate::ColorsFor(option, &list, true);
    EXPECT_EQ(image.pixelColor(inPlain), plainColors.background);
    EXPECT_EQ(image.pixelColor(inSelected), tinted.background);
    EXPECT_NE(tinted.background, plainColors.background);
    // The grid line at the foot of the selected row takes the same tint.
    EXPECT_EQ(image.pixelColor(QPoint(inSelected.x(), selected.bottom())), tinted.grid);
    EXPECT_EQ(image.pixelColor(QPoint(inPlain.x(), plain.bottom())), plainColors.grid);
}

TEST_F(ListCommon, TheSelectionAndTheFocusFollowTheirHostsThroughASort)
{
    FillScanList();
    AddKnownHost("192.168.1.30", "00:11:22:33:44:30", 0, QStringLiteral("zulu"));
    AddKnownHost("192.168.1.3", "00:11:22:33:44:03", 0, QStringLiteral("yankee"));
    AddKnownHost("192.168.1.20", "00:11:22:33:44:20", 0, QStringLiteral("xray"));
    const auto selectedNames = [](CCommonListView& list, int nameColumn) {
        QStringList names;
        for (const QModelIndex& index : list.selectionModel()->selectedRows())
            names << Cell(list, index.row(), nameColumn);
        names.sort();
        return names;
    };
    // Scan list: "delta" and "omega" selected, "omega" focused; sorted by name, both move.
    CScanView& scan = ScanView();
    SelectRows(scan, {2, 5});
    ClickHeader(scan, ScanColHostName);
    EXPECT_EQ(Column(scan, ScanColHostName).indexOf(QStringLiteral("omega")), 5);
    EXPECT_EQ(selectedNames(scan, ScanColHostName), QStringList({"delta", "omega"}));
    EXPECT_EQ(Cell(scan, scan.FocusedRow(), ScanColHostName), QStringLiteral("omega"));
    ClickHeader(scan, ScanColHostName);
    EXPECT_EQ(selectedNames(scan, ScanColHostName), QStringList({"delta", "omega"}));
    EXPECT_EQ(Cell(scan, scan.FocusedRow(), ScanColHostName), QStringLiteral("omega"));

    // Database list: "zulu" (first row) focused and selected; sorted by address it is last.
    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    CDBView& db = DbView();
    FocusRow(db, 0);
    ClickHeader(db, DbColIp);
    EXPECT_EQ(Column(db, DbColHostName), QStringList({"yankee", "xray", "zulu"}));
    EXPECT_EQ(selectedNames(db, DbColHostName), QStringList({"zulu"}));
    EXPECT_EQ(db.FocusedRow(), 2);
}

TEST_F(ListCommon, BothModelsKeepTheModelRulesThroughCountsDeletesAndSorts)
{
    FillScanList();
    AddKnownHost("10.0.0.2", "00:aa:00:00:00:02");
    AddKnownHost("10.0.0.1", "00:aa:00:00:00:01");
    DbView().UpdateRowCount();
    QAbstractItemModelTester scanTester(ScanView().model(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester dbTester(DbView().model(),
                                      QAbstractItemModelTester::FailureReportingMode::Fatal);
    ClickHeader(ScanView(), 2);
    ClickHeader(ScanView(), 2);
    SelectRows(ScanView(), {0, 2, 3});
    Frame().Action(ID_EDIT_DELETE)->trigger();
    EXPECT_EQ(ScanView().model()->rowCount(), 3);
    AddScanHost("192.168.1.50", "00:11:22:33:44:50");
    ShowScanRecords();
    ScanSession().SetRowCount(0);

    Frame().TabView()->SetCurSel(CLanveyView::kDatabaseTab);
    ClickHeader(DbView(), 0);
    SelectRows(DbView(), {1});
    Frame().Action(ID_EDIT_DELETE)->trigger();
    EXPECT_EQ(DbView().model()->rowCount(), 1);
}

// Printing to a PDF file: every page carries both titles and the rows run in order over
// the pages, none missing.
class ListPrinting : public ListTest
{
protected:
    QString PdfText(const QString& pdf)
    {
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (tool.isEmpty()) {
            ADD_FAILURE() << "pdftotext (poppler-utils) is needed to read the printed pages";
            return QString();
        }
        QProcess process;
        process.start(tool, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            ADD_FAILURE() << "pdftotext failed on " << pdf.toStdString();
            return QString();
        }
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    void CheckPrinted(CCommonListView& list, const QString& title, const QStringList& rowTexts)
    {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("list.pdf")));
        printer.setPageSize(QPageSize(QPageSize::A4));
        ListPrintPlan plan;
        ASSERT_TRUE(PrintListView(printer, list, title, CMainFrame::AppTitle(), &plan));
        ASSERT_TRUE(list.PrintTo(printer)); // the view's own entry prints the same
        // Printing again through the view wrote the same file anew.
        const QString text = PdfText(printer.outputFileName());
        QStringList pages = text.split(QLatin1Char('\f'));
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        ASSERT_EQ(pages.size(), plan.pageCount) << text.toStdString();
        const int expectedPages =
            std::max(1, int((rowTexts.size() + plan.rowsPerPage - 1) / plan.rowsPerPage));
        EXPECT_EQ(plan.pageCount, expectedPages);

        int next = 0;
        for (int page = 0; page < pages.size(); ++page) {
            EXPECT_TRUE(pages[page].contains(title)) << "page " << page + 1;
            EXPECT_TRUE(pages[page].contains(CMainFrame::AppTitle())) << "page " << page + 1;
            EXPECT_TRUE(pages[page].contains(QStringLiteral("IP Address")))
                << "page " << page + 1 << pages[page].toStdString();
            // This page's rows, in order.
            int from = 0;
            const int last = std::min<int>(rowTexts.size(), (page + 1) * plan.rowsPerPage);
            for (; next < last; ++next) {
                const int at = pages[page].indexOf(rowTexts[next], from);
                ASSERT_GE(at, 0) << rowTexts[next].toStdString() << " on page " << page + 1;
                from = at + 1;
            }
        }
        EXPECT_EQ(next, rowTexts.size());
    }
};

TEST_F(ListPrinting, TheScanListOverSeveralPages)
{
    QStringList names;
    for (int i = 0; i < 130; ++i) {
        const QByteArray ip = "192.168.1." + QByteArray::number(i + 1);
        const QByteArray mac =
            "00:11:22:33:44:" + QByteArray::number(i % 100).rightJustified(2, '0');
        names << QStringLiteral("PRINTED-%1").arg(i, 3, 10, QLatin1Char('0'));
        AddScanHost(ip.constData(), mac.constData(), names.last());
    }
    ShowScanRecords();
    CheckPrinted(ScanView(), QStringLiteral("Scan Network"), names);
}

TEST_F(ListPrinting, TheDatabaseListAndAnEmptyList)
{
    CheckPrinted(DbView(), QStringLiteral("Database"), {});
    QStringList names;
    for (int i = 0; i < 12; ++i) {
        const QByteArray ip = "10.0.0." + QByteArray::number(i + 1);
        names << QStringLiteral("KNOWN-%1").arg(i, 2, 10, QLatin1Char('0'));
        AddKnownHost(ip.constData(), "00:aa:00:00:00:01", 0, names.last());
    }
    DbView().UpdateRowCount();
    CheckPrinted(DbView(), QStringLiteral("Database"), names);
}

TEST_F(ListPrinting, AListWiderThanAPortraitPageIsPrintedInLandscape)
{
    CScanView& list = ScanView();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    for (int column = 0; column < list.model()->columnCount(); ++column)
        list.setColumnWidth(column, 400);
    FitPageOrientation(printer, list);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    for (int column = 0; column < list.model()->columnCount(); ++column)
        list.setColumnWidth(column, 40);
    FitPageOrientation(printer, list);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
}

TEST(ListPrinter, IconsKeepTheirSizeOnAHighResolutionDevice)
{
    // A 16-pixel icon drawn into a 300-dot cell must fill it, not sit in a corner.
    QPixmap small(16, 16);
    small.fill(Qt::red);
    const QIcon icon(small);
    QImage page(400, 400, QImage::Format_ARGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        PaintCellIcon(painter, icon, QRect(50, 50, 300, 300));
    }
    int red = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            red += page.pixelColor(x, y) == QColor(Qt::red);
    EXPECT_GT(red, 300 * 300 * 9 / 10);
}
TEST_F(ListCommon, ACellsTextIsDrawnInItsOwnColourAndStaysInsideItsCell)
{
    FillScanList();
    ShowActive();
    CScanView& list = ScanView();
    // Narrow enough that "gamma" must be elided.
    list.horizontalHeader()->resizeSection(ScanColHostName, 34);
    QApplication::processEvents();
    const QImage image = list.viewport()->grab().toImage();
    QStyleOptionViewItem option;
    option.initFrom(&list);
    const QColor background = CListItemDelegate::ColorsFor(option, &list, false).background;

    // The pixel of a cell that differs most from the background, grid lines left out.
    const auto inkiest = [&](const QRect& cell) {
        QColor ink = background;
        int most = 0;
        for (int y = cell.top(); y < cell.bottom(); ++y)
            for (int x = cell.left(); x < cell.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const int far = std::abs(c.red() - background.red()) +
                                std::abs(c.green() - background.green()) +
                                std::abs(c.blue() - background.blue());
                if (far > most)
                    std::tie(most, ink) = std::make_pair(far, c);
            }
        return ink;
    };
    // A new host's address in the compare colour (blue), its name in black.
    // (The address cell's icon comes first: only its text is looked at.)
    const QColor address = inkiest(list.visualRect(list.model()->index(0, ScanColIp))
                                       .adjusted(list.iconSize().width() + 8, 0, 0, 0));
    EXPECT_GT(address.blue(), address.red() + 100) << address.name().toStdString();
    const QRect nameCell = list.visualRect(list.model()->index(0, ScanColHostName));
    const QColor name = inkiest(nameCell);
    EXPECT_LT(name.value(), 128) << name.name().toStdString();
    EXPECT_LT(std::abs(name.red() - name.blue()), 40) << name.name().toStdString();
    // The elided name ends before the cell's right margin (the grid line aside).
    const QRect margin(nameCell.right() - 2, nameCell.top(), 3, nameCell.height());
    EXPECT_EQ(inkiest(margin), background);
}
