// Hosts in and out of the lists as a user moves them: Export All and Export Selected
// through the file dialog, the overwrite question and the offer to open the file, Copy to
// the clipboard, and Import into the database list with its replace confirmation, its
// report and the lines it could not take. Files are read back from disk.

#include "records/RecordExchange.h"
#include "test_ui_db_util.h"
#include "ui/dialogs/CAlarmDlg.h"
#include "ui/dialogs/CShowDetailDlg.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QMimeData>
#include <QPushButton>

namespace
{

class Exchange : public DbList
{
protected:
    void SetUp() override
    {
        DbList::SetUp();
        ShowActive();
    }

    // Answers the file dialog with `path` and the filter that starts with `filter`.
    void ChooseFile(const QString& file, const QString& filter = QString())
    {
        m_chooser = std::make_unique<WhenModal<QFileDialog>>([file, filter](QFileDialog& dialog) {
            if (!filter.isEmpty())
                for (const QString& f : dialog.nameFilters())
                    if (f.startsWith(filter))
                        dialog.selectNameFilter(f);
            dialog.selectFile(file);
            static_cast<QDialog&>(dialog).accept(); // as the Open or Save button does
        });
    }

    static QByteArray Read(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void Write(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString File(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    std::unique_ptr<WhenModal<QFileDialog>> m_chooser;
};

TEST_F(Exchange, ExportAllWritesTheListInItsOrderAndOffersToOpenTheFileOrItsFolder)
{
    const QString file = File("known.csv");
    ChooseFile(file, QStringLiteral("CSV"));
    prompt->answers = {PromptAnswer::Yes};
    Frame().Action(ID_FILE_EXPORT_ALL)->trigger();

    const ImportReadResult read = ReadRecords(Read(file));
    ASSERT_EQ(read.format, ExchangeFormat::Csv);
    QStringList names;
    for (const ImportedRecord& r : read.records)
        names << r.record.hostName;
    EXPECT_EQ(names, QStringList({"delta", "Alpha", "charlie", "Bravo", "echo"}));
    EXPECT_EQ(read.records[1].record.color, MakeColorRef(255, 0, 0));
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].buttons, PromptButtons::OpenFileFolder);
    EXPECT_TRUE(prompt->shown[0].text.contains(QDir::toNativeSeparators(file)));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(file));

    // The folder, and then neither.
    ChooseFile(File("again.json"), QStringLiteral("JSON"));
    prompt->answers = {PromptAnswer::No};
    Frame().Action(ID_FILE_EXPORT_ALL)->trigger();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], QUrl::fromLocalFile(dir.path()));
    EXPECT_EQ(ReadRecords(Read(File("again.json"))).format, ExchangeFormat::Json);
    ChooseFile(File("third.csv"));
    prompt->answers = {PromptAnswer::Cancel};
    Frame().Action(ID_FILE_EXPORT_ALL)->trigger();
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(Exchange, ExportSelectedTakesTheSelectedRowsInListOrder)
{
    SelectRows(DbView(), {4, 1});
    ChooseFile(File("two.json"), QStringLiteral("JSON"));
    prompt->answers = {PromptAnswer::Cancel};
    Frame().Action(ID_FILE_EXPORT_SELECTED)->trigger();
    const ImportReadResult read = ReadRecords(Read(File("two.json")));
    ASSERT_EQ(read.records.size(), 2u);
    EXPECT_EQ(read.records[0].record.hostName, QStringLiteral("Alpha"));
    EXPECT_EQ(read.records[1].record.hostName, QStringLiteral("echo"));

    // The scan list too, with its compare keyword.
    AddScanHost("10.0.0.4", Mac("08:00:20:00:00:02") | kMacTopBits, QStringLiteral("ALPHA"));
    AddScanHost("10.0.0.77", Mac("02:00:00:00:00:77") | kMacTopBits, QStringLiteral("NEW"));
    Frame().TabView()->SetCurSel(CLanveyView::kScanTab);
    ShowScanRecords();
    SelectRows(ScanView(), {1});
    ChooseFile(File("scan.json"), QStringLiteral("JSON"));
    Frame().Action(ID_FILE_EXPORT_SELECTED)->trigger();
    const QByteArray json = Read(File("scan.json"));
    EXPECT_TRUE(json.contains("\"new\"")) << json.constData();
    EXPECT_TRUE(json.contains("10.0.0.77"));
    EXPECT_FALSE(json.contains("10.0.0.4\""));
}

TEST_F(Exchange, TheNameDecidesTheFormatAndTheNextExportOpensInTheLastFolder)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("exports")));
    const QString folder = File("exports");
    // "hosts.json" saved with the CSV filter chosen holds JSON.
    ChooseFile(folder + QStringLiteral("/hosts.json"), QStringLiteral("CSV"));
    prompt->answers = {PromptAnswer::Cancel};
    Frame().Action(ID_FILE_EXPORT_ALL)->trigger();
    EXPECT_EQ(ReadRecords(Read(folder + QStringLiteral("/hosts.json"))).format,
              ExchangeFormat::Json);

    QString openedIn;
    m_chooser.reset();
    {
        WhenModal<QFileDialog> look([&](QFileDialog& dialog) {
            openedIn = dialog.directory().absolutePath();
            dialog.reject();
        });
        Frame().Action(ID_FILE_EXPORT_ALL)->trigger();
    }
    EXPECT_EQ(openedIn, QDir(folder).absolutePath());
}

TEST_F(Exchange, AnExistingFileIsOverwrittenOnlyAfterYes)
{
    const QString file = File("old.csv");
    Write(file, "old contents");
    ChooseFile(file, QStringLiteral("CSV"));
    prompt->answers = {PromptAnswer::No};
    Frame().Action(ID_FILE_EXPORT_ALL)->trigger();
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text,
              QStringLiteral("The file already exists, do you want to overwrite it?"));
    EXPECT_EQ(Read(file), QByteArray("old contents"));

    prompt->answers = {PromptAnswer::Yes, PromptAnswer::Cancel};
    Frame().Action(ID_FILE_EXPORT_ALL)->trigger();
    EXPECT_EQ(ReadRecords(Read(file)).records.size(), 5u);
}

TEST_F(Exchange, AWriteThatFailsLeavesNoFileAndSaysWhy)
{
    // A file where the folder should be: nothing can be written below it.
    Write(File("not-a-folder"), "x");
    const QString file = File("not-a-folder/hosts.csv");
    ChooseFile(file, QStringLiteral("CSV"));
    Frame().Action(ID_FILE_EXPORT_ALL)->trigger();
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
    EXPECT_TRUE(prompt->shown[0].text.contains(QStringLiteral("hosts.csv")));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_TRUE(opened.empty());
}

TEST_F(Exchange, CopyPutsTheSelectedRowsOnTheClipboardAsCellsAndAsATable)
{
    SelectRows(DbView(), {2, 0});
    QTest::keyClick(DbView().viewport(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QStringList lines = data->text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("IP Address\tMAC Address\tHost Name")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("10.0.0.30\t")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("10.0.0.200\t")));
    EXPECT_EQ(lines[1].count(u'\t'), DbColumnCount - 1);
    EXPECT_TRUE(data->html().contains(QStringLiteral("<td>charlie</td>")));
    EXPECT_TRUE(data->html().contains(QStringLiteral("<th>IP Address</th>")));
}

TEST_F(Exchange, ImportSettlesClashesReportsAndOffersTheLinesItCouldNotTake)
{
    const QString file = File("arp-scan.txt");
    Write(file, "10.0.0.4\t02:00:00:00:04:04\tVendor\n"  // Alpha's address
                "10.0.0.80\t02:00:00:00:00:80\tVendor\n" // new
                "10.0.0.81\tnot-a-mac\tVendor\n");       // an error
    ChooseFile(file);
    bool titlesChecked = false;
    WhenModal<CAlarmDlg> confirm([&](CAlarmDlg& dialog) {
        EXPECT_EQ(dialog.ScanGroup()->title(), QStringLiteral("File Record"));
        EXPECT_EQ(dialog.DatabaseGroup()->title(), QStringLiteral("Database Record"));
        EXPECT_EQ(dialog.ScanValues().value(1), QStringLiteral("02:00:00:00:04:04"));
        EXPECT_EQ(dialog.DatabaseValues().value(2), QStringLiteral("Alpha"));
        titlesChecked = true;
        QTest::mouseClick(dialog.Button(CAlarmDlg::Yes), Qt::LeftButton);
    });
    QString detailText;
    WhenModal<CShowDetailDlg> detail([&](CShowDetailDlg& dialog) {
        detailText = dialog.DetailText();
        dialog.reject();
    });
    prompt->answers = {PromptAnswer::Yes}; // show the lines
    Frame().Action(ID_FILE_IMPORT)->trigger();
    EXPECT_TRUE(titlesChecked);
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_TRUE(prompt->shown[0].text.contains(QStringLiteral(
        "New Records:\t1\nCover Records:\t1\nSkip Records:\t0\nSkip Empty HostName:\t0\n"
        "Error Records:\t1")))
        << prompt->shown[0].text.toStdString();
    EXPECT_TRUE(detailText.contains(QStringLiteral("Line 3: "))) << detailText.toStdString();
    const auto stored = Stored();
    ASSERT_EQ(stored.size(), 6u);
    EXPECT_EQ(FormatIpAddress(stored[4]->ip), QStringLiteral("10.0.0.4"));
    // The file carries no names: the replaced record keeps its own.
    EXPECT_EQ(stored[4]->hostName, QStringLiteral("Alpha"));
    EXPECT_EQ(stored[4]->mac, Mac("02:00:00:00:04:04") | kMacTopBits);
    EXPECT_EQ(FormatIpAddress(stored[5]->ip), QStringLiteral("10.0.0.80"));
    EXPECT_EQ(DbView().model()->rowCount(), 6);
}

TEST_F(Exchange, ACancelledImportKeepsWhatWasSettledAndSaysSo)
{
    const QString file = File("hosts.txt");
    Write(file, "10.0.0.90\t02:00:00:00:00:90\tV\n"
                "10.0.0.91\t02:00:00:00:00:91\tV\n"
                "10.0.0.30\t02:00:00:00:00:30\tV\n" // delta's address: Cancel here
                "10.0.0.92\t02:00:00:00:00:92\tV\n");
    ChooseFile(file);
    WhenModal<CAlarmDlg> confirm([](CAlarmDlg& dialog) {
        QTest::mouseClick(dialog.Button(CAlarmDlg::Cancel), Qt::LeftButton);
    });
    Frame().Action(ID_FILE_IMPORT)->trigger();
    EXPECT_EQ(confirm.shown, 1);
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_TRUE(prompt->shown[0].text.contains(QStringLiteral("New Records:\t2")));
    EXPECT_TRUE(prompt->shown[0].text.contains(QStringLiteral("cancelled")));
    EXPECT_EQ(StoredNames().size(), 7);
}

TEST_F(Exchange, AMissingFileAndAFileOfNoKnownKindChangeNothing)
{
    const QByteArray before = FileBytes();
    ChooseFile(File("missing.csv"));
    Frame().Action(ID_FILE_IMPORT)->trigger();
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text, QStringLiteral("The file does not exist!"));

    const QString junk = File("junk.bin");
    Write(junk, QByteArray("\x7f"
                           "ELF\x02\x01\x01",
                           7));
    ChooseFile(junk);
    Frame().Action(ID_FILE_IMPORT)->trigger();
    ASSERT_EQ(prompt->shown.size(), 2u);
    EXPECT_EQ(prompt->shown[1].text, QStringLiteral("Import file failed!"));
    EXPECT_EQ(FileBytes(), before);
}

} // namespace
