// Hosts of both lists handed to the analyzer's name table, end to end: the window's
// commands, the dialogs and the stand-in analyzer as a process of its own, started by the
// test or by the window from an install folder. After each flow the stand-in's table
// shows exactly what arrived.

#include "records/ColorRef.h"
#include "standin/StandInAnalyzer.h"
#include "test_ui_db_util.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/lists/CListViewEdit.h"
#include "ui/nametable/CADDNMTMULDlg.h"
#include "ui/nametable/CAddNMTIPMACDlg.h"
#include "ui/nametable/CAddNMTListCtrl.h"
#include "ui/nametable/CAddToNMTDlg.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <csignal>

namespace
{

constexpr const char* kStandIn = LANVEY_BINARY_DIR "/lanvey-analyzer-standin";

const char* const kNotInstalled = "Add to name table failed! System detected that you have not";
// The string table has one text for both reasons the analyzer is too old: its version
// and an answer 0.
const char* const kTooOld = "Your current version of Norvane Tessera does not support";

class NameTableFlow : public DbList
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(InstallFolder()));
        analyzer.installPath = InstallFolder() + u'/';
        analyzer.version = QStringLiteral("5.2.0.1128");
        analyzer.serverName = m_dir.filePath(QStringLiteral("Tessera5Class"));
        analyzer.deadlineMs = 3000;
        DbList::SetUp();
        ShowActive();
    }
    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
        // A stand-in the window started records its process id.
        QFile pid(m_dir.filePath(QStringLiteral("started.pid")));
        if (pid.open(QIODevice::ReadOnly))
            for (const QByteArray& line : pid.readAll().split('\n'))
                if (const int id = line.toInt(); id > 0)
                    ::kill(id, SIGKILL);
        DbList::TearDown();
    }

    QString InstallFolder() const { return m_dir.filePath(QStringLiteral("install")); }
    QString Table() const { return m_dir.filePath(QStringLiteral("NameTable.json")); }

    QStringList StandInArguments(QStringList options) const
    {
        return options << QStringLiteral("--no-window") << QStringLiteral("--name")
                       << analyzer.serverName << QStringLiteral("--table") << Table();
    }

    // The analyzer already running.
    void StartStandIn(QStringList options = {})
    {
        m_process.start(QString::fromLatin1(kStandIn), StandInArguments(std::move(options)));
        ASSERT_TRUE(m_process.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([this] { return analyzer.Link().IsRunning(); }, 5000));
    }

    // The analyzer's program in the install folder: it notes its name and starts the
    // stand-in with `options` (or does nothing more when `startsNothing`).
    void InstallProgram(const QString& file, QStringList options = {}, bool startsNothing = false)
    {
        QString script = QStringLiteral("#!/bin/sh\necho %1 >> '%2'\n")
                             .arg(file, m_dir.filePath(QStringLiteral("started")));
        if (!startsNothing) {
            QStringList quoted;
            for (const QString& argument : StandInArguments(std::move(options)))
                quoted << u'\'' + argument + u'\'';
            script += QStringLiteral("echo $$ >> '%1'\nexec '%2' %3\n")
                          .arg(m_dir.filePath(QStringLiteral("started.pid")),
                               QString::fromLatin1(kStandIn), quoted.join(u' '));
        }
        QFile program(InstallFolder() + u'/' + file);
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        program.write(script.toUtf8());
        program.close();
        program.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner);
    }

    QStringList Started() const
    {
        QFile file(m_dir.filePath(QStringLiteral("started")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // The stand-in's table as "kind address alias color" lines, in its order.
    QStringList Arrived() const
    {
        QStringList lines;
        for (const QJsonValue& value : CStandInAnalyzer::ReadTable(Table())) {
            const QJsonObject entry = value.toObject();
            lines << QStringList{entry[QStringLiteral("kind")].toString(),
                                 entry[QStringLiteral("address")].toString(),
                                 entry[QStringLiteral("alias")].toString(),
                                 entry[QStringLiteral("color")].toString()}
                         .join(u' ');
        }
        return lines;
    }

    void Seed(const QByteArray& json)
    {
        QFile file(Table());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
    }

    void Run(CCommonListView& list, std::initializer_list<int> rows, int command)
    {
        Frame().TabView()->SetCurSel(&list == &DbView() ? CLanveyView::kDatabaseTab
                                                        : CLanveyView::kScanTab);
        SelectRows(list, rows);
        ASSERT_TRUE(Frame().RouteCommand(command));
    }

    bool Shown(const char* start) const
    {
        for (const QString& text : prompt->Texts())
            if (text.startsWith(QString::fromUtf8(start)))
                return true;
        return false;
    }

    static void Confirm(QLineEdit* alias, const QString& text)
    {
        alias->setText(text);
        QTest::keyClick(alias, Qt::Key_Return);
    }

    QTemporaryDir m_dir;
    QProcess m_process;
};

TEST_F(NameTableFlow, NothingIsSentToAnAnalyzerThatIsMissingOrTooOld)
{
    // The database list's row 1 is 10.0.0.4 "Alpha".
    StartStandIn();
    int dialogs = 0;
    WhenModal<CAddToNMTDlg> any([&](CAddToNMTDlg& dialog) {
        ++dialogs;
        dialog.reject();
    });

    AnalyzerAccess installed = analyzer;
    analyzer.installPath.clear();
    frame.reset();
    ShowActive();
    prompt->answers = {PromptAnswer::Ok};
    Run(DbView(), {1}, ID_NAMETABLE_IP);
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_TRUE(Shown(kNotInstalled));
    EXPECT_EQ(prompt->shown[0].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
    // OK opens the analyzer's page.
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], AnalyzerWebPage(QStringLiteral("en_us")));

    // Too old by its version: 1127, a build without digits, an empty version. Cancel
    // opens nothing.
    for (const char* version : {"5.2.0.1127", "5.2.0.beta", ""}) {
        prompt->shown.clear();
        analyzer = installed;
        analyzer.version = QString::fromLatin1(version);
        frame.reset();
        ShowActive();
        prompt->answers = {PromptAnswer::Cancel};
        Run(DbView(), {1}, ID_NAMETABLE_MAC);
        ASSERT_EQ(prompt->shown.size(), 1u) << version;
        EXPECT_TRUE(Shown(kTooOld)) << version;
    }
    EXPECT_EQ(opened.size(), 1u);

    // A version without a dot is read whole: 1128 is new enough.
    analyzer = installed;
    analyzer.version = QStringLiteral("1128");
    frame.reset();
    ShowActive();
    prompt->shown.clear();
    Run(DbView(), {1}, ID_NAMETABLE_IP);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(prompt->shown.empty());
    EXPECT_TRUE(Arrived().isEmpty());
}

TEST_F(NameTableFlow, AnAnalyzerThatAnswersZeroIsTooOldAndGetsNoAdd)
{
    StartStandIn({QStringLiteral("--too-old")});
    int dialogs = 0;
    WhenModal<CAddNMTIPMACDlg> any([&](CAddNMTIPMACDlg& dialog) {
        ++dialogs;
        dialog.reject();
    });
    prompt->answers = {PromptAnswer::Ok};
    Run(DbView(), {1}, ID_NAMETABLE_IP_MAC);
    // The first check's answer ends the transfer before the dialog.
    EXPECT_EQ(dialogs, 0);
    ASSERT_EQ(prompt->Texts().size(), 1);
    EXPECT_TRUE(Shown(kTooOld));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], AnalyzerWebPage(QStringLiteral("en_us")));
}

TEST_F(NameTableFlow, OneAddressTellsWhetherTheAnalyzerHoldsItAndSendsAliasAndColour)
{
    Seed(R"([{"kind":"ip","address":"10.0.0.4","alias":"old","color":"#000000"}])");
    StartStandIn();
    QStringList captions, notices;
    WhenModal<CAddToNMTDlg> confirm([&](CAddToNMTDlg& dialog) {
        captions << dialog.windowTitle();
        notices << dialog.NoticeLabel()->text();
        EXPECT_TRUE(dialog.AddressEdit()->isReadOnly());
        dialog.ColorPicker()->SetColor(MakeColorRef(0x12, 0x34, 0x56));
        Confirm(dialog.AliasEdit(), dialog.AliasEdit()->text() + QStringLiteral("-pc"));
    });

    Run(DbView(), {1}, ID_NAMETABLE_IP);  // 10.0.0.4 Alpha: held
    Run(DbView(), {1}, ID_NAMETABLE_MAC); // 08:00:20:00:00:02: new
    EXPECT_EQ(captions, QStringList({QStringLiteral("Add IP Address To NameTable"),
                                     QStringLiteral("Add MAC Address To NameTable")}));
    EXPECT_EQ(notices, QStringList({QStringLiteral("IP Address has been existence in NameTable!"),
                                    QStringLiteral("It is a new record in NameTable!")}));
    EXPECT_EQ(Arrived(), QStringList({QStringLiteral("ip 10.0.0.4 Alpha-pc #123456"),
                                      QStringLiteral("mac 08:00:20:00:00:02 Alpha-pc #123456")}));
    EXPECT_EQ(prompt->Texts(),
              QStringList({QStringLiteral("Add IP Address to Norvane Tessera completed."),
                           QStringLiteral("Add MAC Address to Norvane Tessera completed.")}));
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Warning);
}

TEST_F(NameTableFlow, TheScanListProposesNamesOnlyOnceTheHostAnswered)
{
    StartStandIn();
    AddScanHost("10.0.0.50", "02:00:00:00:00:50", QStringLiteral("ZETA"));
    AddScanHost("10.0.0.51", "02:00:00:00:00:51", QStringLiteral("not yet"));
    doc.GetScanRecord(1)->resolved = 0;
    ShowScanRecords();

    QStringList proposed;
    WhenModal<CAddToNMTDlg> confirm([&](CAddToNMTDlg& dialog) {
        proposed << dialog.AliasEdit()->text();
        if (dialog.AliasEdit()->text().isEmpty()) {
            // An empty alias is refused and the dialog stays, with the focus on the alias
            // (which only an active window can give).
            ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(dialog.AliasEdit(), Qt::Key_Return);
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(dialog.AliasEdit()->hasFocus());
            dialog.AliasEdit()->setText(QStringLiteral("late"));
        }
        QTest::keyClick(dialog.AliasEdit(), Qt::Key_Return);
    });
    Run(ScanView(), {0}, ID_NAMETABLE_IP);
    Run(ScanView(), {1}, ID_NAMETABLE_IP);
    EXPECT_EQ(proposed, QStringList({QStringLiteral("ZETA"), QString()}));
    EXPECT_TRUE(prompt->Texts().contains(QStringLiteral("Alias can't Empty!")));
    EXPECT_EQ(Arrived(), QStringList({QStringLiteral("ip 10.0.0.50 ZETA #000000"),
                                      QStringLiteral("ip 10.0.0.51 late #000000")}));
}

TEST_F(NameTableFlow, BothAddressesAreCheckedBeforeTheDialogAndAddedAfterIt)
{
    // The database list proposes the user name when the host name is empty.
    DatabaseRecord edited = *doc.GetDatabaseRecord(3);
    edited.hostName.clear();
    edited.userName = QStringLiteral("bravo's user");
    ASSERT_TRUE(doc.SetDatabaseRecord(3, edited));
    Seed(R"([{"kind":"mac","address":"02:00:00:00:00:04","alias":"old","color":"#000000"}])");
    StartStandIn();
    QString notice, proposed;
    WhenModal<CAddNMTIPMACDlg> confirm([&](CAddNMTIPMACDlg& dialog) {
        notice = dialog.NoticeLabel()->text();
        proposed = dialog.AliasEdit()->text();
        EXPECT_EQ(dialog.IpEdit()->text(), QStringLiteral("10.0.0.17"));
        EXPECT_EQ(dialog.MacEdit()->text(), QStringLiteral("02:00:00:00:00:04"));
        dialog.ColorPicker()->SetColor(MakeColorRef(255, 0, 0));
        Confirm(dialog.AliasEdit(), QStringLiteral("printer"));
    });
    Run(DbView(), {3}, ID_NAMETABLE_IP_MAC);
    EXPECT_EQ(proposed, QStringLiteral("bravo's user"));
    EXPECT_EQ(notice, QStringLiteral("IP Address is a new record in NameTable! \n"
                                     "MAC Address has been existence in NameTable!"));
    EXPECT_EQ(Arrived(), QStringList({QStringLiteral("mac 02:00:00:00:00:04 printer #FF0000"),
                                      QStringLiteral("ip 10.0.0.17 printer #FF0000")}));
    EXPECT_EQ(prompt->Texts(),
              QStringList({QStringLiteral(
                  "Add IP Address and MAC Address to Norvane Tessera completed.")}));
}

TEST_F(NameTableFlow, FailedAddsAreReported)
{
    StartStandIn({QStringLiteral("--fail-adds")});
    WhenModal<CAddNMTIPMACDlg> confirm(
        [&](CAddNMTIPMACDlg& dialog) { QTest::keyClick(dialog.AliasEdit(), Qt::Key_Return); });
    Run(DbView(), {1}, ID_NAMETABLE_IP_MAC);
    EXPECT_EQ(prompt->Texts(), QStringList({QStringLiteral("Add to NameTable is failure!")}));
    EXPECT_TRUE(Arrived().isEmpty());
}

TEST_F(NameTableFlow, SeveralHostsSendOnlyAddsOfTheCheckedRowsIpv4First)
{
    StartStandIn();
    int shown = 0;
    WhenModal<CADDNMTMULDlg> confirm([&](CADDNMTMULDlg& dialog) {
        ++shown;
        CAddNMTListCtrl* list = dialog.List();
        ASSERT_EQ(list->rowCount(), 4);
        ASSERT_EQ(list->columnCount(), 3);
        // Alpha stays behind; charlie's alias is erased in place.
        list->SetRowChecked(1, false);
        EXPECT_FALSE(dialog.SelectAllBox()->isChecked());
        const QRect alias = list->visualRect(list->model()->index(2, 2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, alias.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, alias.center());
        ASSERT_TRUE(list->InPlaceEditor() && list->InPlaceEditor()->isVisible());
        list->InPlaceEditor()->clear();
        QTest::keyClick(list->InPlaceEditor(), Qt::Key_Return);
        dialog.accept();
        // Refused: the row without an alias is the one selected.
        ASSERT_TRUE(dialog.isVisible());
        EXPECT_EQ(list->currentRow(), 2);
        EXPECT_EQ(doc.GetNameTableEntry(0)->checked, 0);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, alias.center());
        list->InPlaceEditor()->setText(QStringLiteral("c2"));
        QTest::keyClick(list->InPlaceEditor(), Qt::Key_Return);
        dialog.accept();
        EXPECT_FALSE(dialog.isVisible());
    });
    Run(DbView(), {0, 1, 2, 4}, ID_NAMETABLE_IP_MAC);
    EXPECT_EQ(shown, 1);
    // No check went out: nothing but adds, with colour 0, every IPv4 add first.
    EXPECT_EQ(Arrived(), QStringList({QStringLiteral("ip 10.0.0.30 delta #000000"),
                                      QStringLiteral("ip 10.0.0.200 c2 #000000"),
                                      QStringLiteral("ip 10.0.0.9 echo #000000"),
                                      QStringLiteral("mac 00:00:0C:00:00:01 delta #000000"),
                                      QStringLiteral("mac 00:05:02:00:00:03 c2 #000000"),
                                      QStringLiteral("mac 02:00:00:00:00:05 echo #000000")}));
    EXPECT_EQ(prompt->Texts(),
              QStringList({QStringLiteral("Alias can't Empty!"),
                           QStringLiteral(
                               "Add IP Address and MAC Address to Norvane Tessera completed.")}));
    EXPECT_EQ(doc.GetNameTableEntryCount(), 0);
}

TEST_F(NameTableFlow, SeveralHostsReportCompletionWhateverTheAnswersAndEmptyTheList)
{
    StartStandIn({QStringLiteral("--fail-adds")});
    bool uncheckAll = false;
    WhenModal<CADDNMTMULDlg> confirm([&](CADDNMTMULDlg& dialog) {
        if (uncheckAll) {
            QTest::mouseClick(dialog.SelectAllBox(), Qt::LeftButton);
            EXPECT_FALSE(dialog.List()->IsRowChecked(0));
            EXPECT_FALSE(dialog.List()->IsRowChecked(1));
        }
        dialog.accept();
    });
    AddScanHost("10.0.0.60", "02:00:00:00:00:60", QStringLiteral("one"));
    AddScanHost("10.0.0.61", "02:00:00:00:00:61", QStringLiteral("two"));
    ShowScanRecords();
    Run(ScanView(), {0, 1}, ID_NAMETABLE_MAC);
    EXPECT_EQ(prompt->Texts(),
              QStringList({QStringLiteral("Add MAC Address to Norvane Tessera completed.")}));
    EXPECT_TRUE(Arrived().isEmpty());
    EXPECT_EQ(doc.GetNameTableEntryCount(), 0);

    // Every row unchecked: nothing is sent, and the transfer still says it is done.
    m_process.kill();
    m_process.waitForFinished(3000);
    StartStandIn();
    prompt->shown.clear();
    uncheckAll = true;
    Run(ScanView(), {0, 1}, ID_NAMETABLE_IP);
    EXPECT_EQ(prompt->Texts(),
              QStringList({QStringLiteral("Add IP Address to Norvane Tessera completed.")}));
    EXPECT_TRUE(Arrived().isEmpty());
    EXPECT_EQ(doc.GetNameTableEntryCount(), 0);
}

TEST_F(NameTableFlow, TheWindowStartsTheAnalyzerAndWaitsForItWithoutFreezing)
{
    InstallProgram(QStringLiteral("Tessera"),
                   {QStringLiteral("--delay-start"), QStringLiteral("3")});
    InstallProgram(QStringLiteral("quillon"),
                   {QStringLiteral("--delay-start"), QStringLiteral("3")});
    bool progressShown = false;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("AnalyzerStartProgress") &&
                widget->isVisible())
                progressShown = true;
    });
    ticker.start(50);
    int dialogs = 0;
    WhenModal<CAddToNMTDlg> confirm([&](CAddToNMTDlg& dialog) {
        ++dialogs;
        QTest::keyClick(dialog.AliasEdit(), Qt::Key_Return);
    });
    QElapsedTimer clock;
    clock.start();
    Run(DbView(), {1}, ID_NAMETABLE_IP);
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(Started(), QStringList({QStringLiteral("Tessera")}));
    EXPECT_TRUE(progressShown);
    // The event loop went on through the three seconds of waiting.
    EXPECT_GT(ticks, 3000 / 50 / 2) << elapsed;
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(Arrived(), QStringList({QStringLiteral("ip 10.0.0.4 Alpha #000000")}));
}

TEST_F(NameTableFlow, TheChineseInterfaceStartsQuillon)
{
    language = QStringLiteral("zh_cn");
    frame.reset();
    ShowActive();
    InstallProgram(QStringLiteral("Tessera"));
    InstallProgram(QStringLiteral("quillon"));
    WhenModal<CAddToNMTDlg> confirm(
        [&](CAddToNMTDlg& dialog) { QTest::keyClick(dialog.AliasEdit(), Qt::Key_Return); });
    Run(DbView(), {2}, ID_NAMETABLE_MAC);
    EXPECT_EQ(Started(), QStringList({QStringLiteral("quillon")}));
    EXPECT_EQ(Arrived(), QStringList({QStringLiteral("mac 00:05:02:00:00:03 charlie #000000")}));
}

TEST_F(NameTableFlow, AnAnalyzerThatNeverComesUpEndsAfterTwentyWaits)
{
    analyzer.startWaitMs = 100;
    frame.reset();
    ShowActive();
    InstallProgram(QStringLiteral("Tessera"), {}, true);
    QElapsedTimer clock;
    clock.start();
    Run(DbView(), {1}, ID_NAMETABLE_IP);
    EXPECT_GE(clock.elapsed(), 20 * 100);
    EXPECT_EQ(Started(), QStringList({QStringLiteral("Tessera")}));
    EXPECT_EQ(prompt->Texts(),
              QStringList({QStringLiteral(
                  "Norvane Tessera start failed, please check whether the installation is "
                  "correct.")}));
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
}

TEST_F(NameTableFlow, AStuckAnalyzerCostsOneDeadlineAndTheWindowKeepsRepainting)
{
    analyzer.deadlineMs = 1500;
    frame.reset();
    ShowActive();
    StartStandIn({QStringLiteral("--hang")});
    int dialogs = 0;
    WhenModal<CAddToNMTDlg> any([&](CAddToNMTDlg& dialog) {
        ++dialogs;
        dialog.reject();
    });
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    prompt->answers = {PromptAnswer::Cancel};
    QElapsedTimer clock;
    clock.start();
    Run(DbView(), {1}, ID_NAMETABLE_IP);
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 1500);
    EXPECT_LT(elapsed, 1500 + 3000);
    EXPECT_GT(ticks, 1500 / 50 / 2);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(Shown(kTooOld));
    EXPECT_TRUE(opened.empty());
}

} // namespace
