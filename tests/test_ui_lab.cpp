// The main window's scan list after a real scan of the test LAN, and a watch of it. This program
// scans, so it runs only inside the LAN's scanner namespace: the LabScan suite starts it there with
// `lab/lab exec`, and run anywhere else it refuses.

#include "RecordTestUtil.h"
#include "ScriptedPrompt.h"
#include "SessionBusTestUtil.h"
#include "TestPrinters.h"
#include "app/WatchSession.h"
#include "records/DatabaseFile.h"
#include "records/LanveyDoc.h"
#include "support/AddressText.h"
#include "support/LocalAdapters.h"
#include "ui/commands/CommandIds.h"
#include "ui/frame/CLanveyView.h"
#include "ui/frame/CMainFrame.h"
#include "ui/frame/CWatchControl.h"
#include "ui/lists/CScanSession.h"
#include "ui/lists/CScanView.h"
#include "ui/lists/CWatchView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>

namespace
{

const QString kScannerIp = QStringLiteral("198.18.0.254");

struct LabHost {
    QString mac;
    QString hostName;
    QStringList otherNames; // "name (source)" items
    QString netBiosMac;     // the adapter address its NetBIOS answer gives, when not its MAC
    QString conflictMac;    // a second machine's MAC that answers ARP for its address
    QStringList ipv6;       // every IPv6 address of its adapter
};

// The manifest's hosts of 198.18.0.0/24, with the scanner's own address.
std::map<QString, LabHost> LanHosts()
{
    std::map<QString, LabHost> hosts;
    QFile file(QStringLiteral("/run/lanvey-lab/manifest.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return hosts;
    file.readLine(); // header
    while (!file.atEnd()) {
        const QStringList f = QString::fromUtf8(file.readLine()).trimmed().split(u',');
        if (f.size() >= 5 && f[0].startsWith(QStringLiteral("198.18.0.")))
            hosts[f[0]] = {f[1],       f[2],       f.value(5).split(u';', Qt::SkipEmptyParts),
                           f.value(6), f.value(7), f.value(8).split(u' ', Qt::SkipEmptyParts)};
    }
    return hosts;
}

// The window's environment in the lab: the system's probe, the build's lanvey-scan for a
// watch's sweeps, and no browser.
FrameEnvironment LabEnvironment()
{
    FrameEnvironment env;
    env.probe = std::shared_ptr<HostProbe>(CreateSystemHostProbe());
    env.openUrl = [](const QUrl&) { return true; };
    env.scanProgram = QStringLiteral(LANVEY_SCAN_BINARY);
    return env;
}

bool InsideTheLab()
{
    const auto adapters = QueryLocalAdapters();
    return adapters && std::any_of(adapters->begin(), adapters->end(),
                                   [](const auto& a) { return a.ip == GetIpAddress(kScannerIp); });
}

TEST(LabWindow, AScanOfTheLanFillsTheListWithItsHostsAndColours)
{
    ASSERT_TRUE(InsideTheLab()) << "run this only inside the test LAN (lab/lab exec)";
    const std::map<QString, LabHost> hosts = LanHosts();
    ASSERT_GE(hosts.size(), 21u);
    ScopedScriptedPrompt prompt;
    QTemporaryDir profile;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());

    // Known: 198.18.0.1 exactly, 198.18.0.3's address with another MAC.
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("Database.lvdat"));
    std::vector<std::unique_ptr<DatabaseRecord>> known;
    known.push_back(Known("198.18.0.1", hosts.at(QStringLiteral("198.18.0.1")).mac.toLatin1()));
    known.push_back(Known("198.18.0.3", "02:99:99:99:99:03"));
    ASSERT_TRUE(DatabaseFile::Save(path, known));
    CLanveyDoc doc;
    ASSERT_EQ(doc.OpenDatabase(path).status, DatabaseLoadResult::Loaded);

    {
        CMainFrame frame(doc, LabEnvironment());
        frame.show();
        QApplication::processEvents();
        // How addresses are resolved, for the LabScan suite that runs this as another user.
        const QString tip = frame.TargetCombo()->toolTip();
        EXPECT_FALSE(tip.isEmpty());
        std::printf("target box tip: %s\n", tip.toUtf8().constData());
        frame.TargetCombo()->setEditText(QStringLiteral("198.18.0.0/24"));
        QEventLoop loop;
        QObject::connect(&frame.ScanSession(), &CScanSession::scanCompleted, &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, [&loop] { loop.exit(1); });
        ASSERT_TRUE(frame.RouteCommand(ID_SCAN_START));
        ASSERT_EQ(loop.exec(), 0) << "the scan did not end";

        const QAbstractItemModel* model = frame.ScanView()->model();
        ASSERT_EQ(size_t(model->rowCount()), hosts.size());
        EXPECT_EQ(frame.StatusPane(1)->text(), QStringLiteral("Found %1 hosts.").arg(hosts.size()));
        const QColor black(Qt::black), red(Qt::red), blue(Qt::blue);
        std::set<QString> seen;
        for (int row = 0; row < model->rowCount(); ++row) {
            auto cell = [&](int column, int role = Qt::DisplayRole) {
                return model->data(model->index(row, column), role);
            };
            const QString ip = cell(0).toString();
            SCOPED_TRACE(ip.toStdString());
            ASSERT_TRUE(hosts.count(ip));
            EXPECT_TRUE(seen.insert(ip).second) << "twice";
            EXPECT_EQ(cell(1).toString(), hosts.at(ip).mac);
            EXPECT_EQ(cell(2).toString(), hosts.at(ip).hostName);
            EXPECT_FALSE(cell(0, Qt::DecorationRole).isNull());
            EXPECT_FALSE(cell(1, Qt::DecorationRole).isNull());
            // Every other name with its source, and every IPv6 address.
            QStringList names =
                cell(ScanColOtherNames).toString().split(QStringLiteral(", "), Qt::SkipEmptyParts);
            QStringList expectedNames = hosts.at(ip).otherNames;
            names.sort();
            expectedNames.sort();
            EXPECT_EQ(names, expectedNames);
            QStringList addresses =
                cell(ScanColIpv6).toString().split(QStringLiteral(", "), Qt::SkipEmptyParts);
            addresses.sort();
            EXPECT_EQ(addresses, hosts.at(ip).ipv6);
            // The MAC cell tells why an address is not to be trusted as the maker's.
            const QString why = cell(1, Qt::ToolTipRole).toString();
            const bool local = (GetMacAddress(hosts.at(ip).mac, u':') & 0x02) != 0;
            EXPECT_EQ(why.contains(QStringLiteral("Locally administered")), local);
            EXPECT_EQ(why.contains(QStringLiteral("NetBIOS")), !hosts.at(ip).netBiosMac.isEmpty());
            if (!hosts.at(ip).netBiosMac.isEmpty()) {
                EXPECT_TRUE(why.contains(hosts.at(ip).netBiosMac));
            }
            EXPECT_EQ(why.contains(QStringLiteral("IP address conflict")),
                      !hosts.at(ip).conflictMac.isEmpty());
            if (!hosts.at(ip).conflictMac.isEmpty()) {
                EXPECT_TRUE(why.contains(hosts.at(ip).conflictMac));
            }
            const QColor ipColour = cell(0, Qt::ForegroundRole).value<QColor>();
            const QColor compareColour = cell(5, Qt::ForegroundRole).value<QColor>();
            if (ip == QLatin1String("198.18.0.1")) {
                EXPECT_EQ(ipColour, black);
                EXPECT_EQ(compareColour, black);
                EXPECT_TRUE(cell(5, Qt::DecorationRole).isNull());
            } else if (ip == QLatin1String("198.18.0.3")) {
                EXPECT_EQ(ipColour, red);
                EXPECT_EQ(compareColour, red);
                EXPECT_TRUE(cell(5).toString().startsWith(QStringLiteral("IP Address Different")));
                EXPECT_FALSE(cell(5, Qt::DecorationRole).isNull());
            } else {
                EXPECT_EQ(ipColour, blue);
                EXPECT_EQ(cell(5).toString(), QStringLiteral("New IP address and MAC address "));
            }
        }
        EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'|').toStdString();

        // The new hosts go to the database with the names every source gave them, and
        // the file holds them.
        QItemSelectionModel* selection = frame.ScanView()->selectionModel();
        selection->clearSelection();
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString ip = model->data(model->index(row, 0)).toString();
            if (ip != QLatin1String("198.18.0.1") && ip != QLatin1String("198.18.0.3"))
                selection->select(model->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        ASSERT_TRUE(frame.RouteCommand(ID_EDIT_ADD_TO_DATABASE));
        ASSERT_EQ(prompt->shown.size(), 1u);
        EXPECT_TRUE(prompt->shown[0].text.contains(
            QStringLiteral("New Records:\t%1").arg(hosts.size() - 2)))
            << prompt->shown[0].text.toStdString();
        std::vector<std::unique_ptr<DatabaseRecord>> stored;
        QString error;
        ASSERT_TRUE(DatabaseFile::Read(path, stored, &error)) << error.toStdString();
        ASSERT_EQ(stored.size(), hosts.size());
        int named = 0;
        for (const auto& record : stored) {
            const QString ip = FormatIpAddress(record->ip);
            if (ip == QLatin1String("198.18.0.1") || ip == QLatin1String("198.18.0.3"))
                continue;
            QStringList names =
                OtherNamesText(record->otherNames).split(QStringLiteral(", "), Qt::SkipEmptyParts);
            QStringList expectedNames = hosts.at(ip).otherNames;
            names.sort();
            expectedNames.sort();
            EXPECT_EQ(names, expectedNames) << ip.toStdString();
            named += !names.isEmpty();
        }
        EXPECT_GT(named, 0);
        frame.close();
    }
    doc.DeleteContents();
}

// F6 on the Watch tab watches the LAN: its first sweep (lanvey-scan, in a process of its
// own) lists every host with the scan list's columns and the watch's own, and the host the
// database knows with another MAC is a mac-changed event that reaches the desktop's
// notification service.
TEST(LabWindow, AWatchListsTheLanAndNotifiesAHostThatChangedItsMac)
{
    ASSERT_TRUE(InsideTheLab()) << "run this only inside the test LAN (lab/lab exec)";
    const std::map<QString, LabHost> hosts = LanHosts();
    ASSERT_GE(hosts.size(), 21u);
    TestSessionBus bus;
    const QString why = bus.Start();
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    ScopedScriptedPrompt prompt;
    QTemporaryDir profile;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("Database.lvdat"));
    std::vector<std::unique_ptr<DatabaseRecord>> known;
    known.push_back(Known("198.18.0.3", "02:99:99:99:99:03"));
    ASSERT_TRUE(DatabaseFile::Save(path, known));
    CLanveyDoc doc;
    ASSERT_EQ(doc.OpenDatabase(path).status, DatabaseLoadResult::Loaded);
    {
        CMainFrame frame(doc, LabEnvironment());
        frame.show();
        QApplication::setActiveWindow(&frame);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        frame.TabView()->SetCurSel(CLanveyView::kWatchTab);
        EXPECT_EQ(frame.TabView()->TabControl()->tabText(CLanveyView::kWatchTab),
                  QStringLiteral("Watch"));
        frame.TargetCombo()->setEditText(QStringLiteral("198.18.0.0/24"));
        WatchSession& watch = frame.Watch().Session();
        QEventLoop loop;
        QObject::connect(&watch, &WatchSession::changed, &loop, [&] {
            if (!watch.IsSweeping() && !watch.Hosts().empty() && !bus.service.calls.isEmpty())
                loop.quit();
        });
        QTimer::singleShot(60000, &loop, [&loop] { loop.exit(1); });
        QTest::keyClick(&frame, Qt::Key_F6);
        ASSERT_TRUE(watch.IsWatching());
        EXPECT_TRUE(frame.Action(ID_SCAN_WATCH)->isChecked());
        ASSERT_EQ(loop.exec(), 0) << "no first sweep and notification";

        const QAbstractItemModel* model = frame.TabView()->WatchView()->HostList()->model();
        QStringList titles;
        for (int column = 0; column < model->columnCount(); ++column)
            titles << model->headerData(column, Qt::Horizontal).toString();
        EXPECT_EQ(titles, ScanColumnTitles()
                              << QStringLiteral("State") << QStringLiteral("First Seen")
                              << QStringLiteral("Last Seen"));
        ASSERT_EQ(size_t(model->rowCount()), hosts.size());
        for (int row = 0; row < model->rowCount(); ++row) {
            const auto cell = [&](int column, int role = Qt::DisplayRole) {
                return model->data(model->index(row, column), role);
            };
            const QString ip = cell(ScanColIp).toString();
            ASSERT_TRUE(hosts.count(ip)) << ip.toStdString();
            EXPECT_EQ(cell(ScanColMac).toString(), hosts.at(ip).mac);
            EXPECT_EQ(cell(ScanColHostName).toString(), hosts.at(ip).hostName);
            EXPECT_EQ(cell(WatchColState).toString(), QStringLiteral("Online"));
            QStringList addresses =
                cell(ScanColIpv6).toString().split(QStringLiteral(", "), Qt::SkipEmptyParts);
            addresses.sort();
            EXPECT_EQ(addresses, hosts.at(ip).ipv6);
            EXPECT_FALSE(cell(WatchColFirstSeen).toString().isEmpty());
            EXPECT_EQ(cell(ScanColIp, Qt::ForegroundRole).value<QColor>(),
                      ip == QLatin1String("198.18.0.3") ? QColor(Qt::red) : QColor(Qt::blue));
        }
        // The events, newest first: the baseline that ended the sweep, the change.
        const QAbstractItemModel* events = frame.TabView()->WatchView()->EventList()->model();
        ASSERT_EQ(events->rowCount(), 2);
        EXPECT_EQ(events->data(events->index(0, 1)).toString(),
                  QStringLiteral("Baseline: %1 hosts").arg(hosts.size()));
        EXPECT_EQ(events->data(events->index(1, 1)).toString(),
                  QStringLiteral("MAC address changed"));
        ASSERT_EQ(bus.service.calls.size(), 1);
        EXPECT_EQ(bus.service.calls[0][1], QStringLiteral("A host's MAC address changed"));
        EXPECT_EQ(bus.service.calls[0][2],
                  QStringLiteral("198.18.0.3: MAC address 02:99:99:99:99:03 is now %1")
                      .arg(hosts.at(QStringLiteral("198.18.0.3")).mac));

        QTest::keyClick(&frame, Qt::Key_F6);
        EXPECT_FALSE(watch.IsWatching());
        // The file's history has the sweep's pairs and the events, those heard between
        // sweeps too: the end of the watch commits them.
        std::vector<DatabaseFile::HistoryPair> pairs;
        std::vector<WatchEvent> stored;
        ASSERT_TRUE(DatabaseFile::ReadHistory(path, &pairs, &stored));
        EXPECT_EQ(pairs.size(), hosts.size());
        EXPECT_EQ(stored.size(), 2u);

        EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'|').toStdString();
        frame.close();
    }
    doc.DeleteContents();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
