// lanvey-scan against the test LAN (lab/): real hosts, real ARP, Samba's nmbd.
// Needs root. Without it the suite is skipped, except under CI=true where that fails.

#include "RecordTestUtil.h"
#include "TestPrinters.h"
#include "records/DatabaseFile.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <net/if.h>
#include <random>
#include <sched.h>
#include <set>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const QString kLab = QStringLiteral(LANVEY_SOURCE_DIR "/lab/lab");
const QString kScanner = QStringLiteral(LANVEY_SCAN_BINARY);
const QString kHelper = QStringLiteral(LANVEY_ARP_BINARY);
const QString kInspector = QStringLiteral(LANVEY_INSPECTOR_BINARY);
// The ordinary user the suite runs programs as; a system user, made when missing.
const QString kLabUser = QStringLiteral("lanvey-test");

struct Command {
    int exitCode = -1;
    QString out;
    QString err;
};

Command RunCommand(const QString& program, const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.start(program, arguments);
    Command result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out: ") + program + u' ' + arguments.join(u' ');
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// RFC 4180 records; quoted fields may hold commas, quotes and line breaks.
std::vector<QStringList> ParseCsv(const QString& text)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field;
            rows.push_back(row);
            row.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows.push_back(row << field);
    return rows;
}

struct LabHost {
    QString ip, mac, hostName, workgroup, role;
    QStringList otherNames; // "name (source)" items
    QString netBiosMac;     // the adapter address its NetBIOS answer gives, when not its MAC
    QString conflictMac;    // a second machine's MAC that answers ARP for its address
    QStringList ipv6;       // every IPv6 address of its adapter
};

// The manifest `lab up` wrote, by address.
std::map<quint32, LabHost> ReadManifest()
{
    std::map<quint32, LabHost> hosts;
    QFile file(QStringLiteral("/run/lanvey-lab/manifest.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return hosts;
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(u'\n', QStringLiteral("\r\n"));
    const auto rows = ParseCsv(text);
    for (size_t i = 1; i < rows.size(); ++i) {
        const QStringList& r = rows[i];
        // A host with IPv6 only has no IPv4 address and no row.
        if (r.size() < 5 || r[0].isEmpty())
            continue;
        hosts[IpToHostOrder(GetIpAddress(r[0]))] = {
            r[0],       r[1],       r[2],
            r[3],       r[4],       r.value(5).split(u';', Qt::SkipEmptyParts),
            r.value(6), r.value(7), r.value(8).split(u' ', Qt::SkipEmptyParts)};
    }
    return hosts;
}

// Brings the lab up for the suite unless it already runs, and takes down what it
// brought up, also when tests fail.
class LabEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (geteuid() != 0) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                FAIL() << "the lab suite needs root, and under CI it must run";
            GTEST_SKIP() << "the lab suite needs root (network namespaces); run it with sudo";
        }
        const Command list =
            RunCommand(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")});
        const bool running = list.out.contains(QStringLiteral("lv-scan")) &&
                             QFile::exists(QStringLiteral("/run/lanvey-lab/manifest.csv"));
        if (!running) {
            const Command up = RunCommand(kLab, {QStringLiteral("up")}, 300000);
            s_broughtUp = true;
            ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
        }
        s_ready = true;
    }
    void TearDown() override
    {
        if (s_broughtUp) {
            const Command down = RunCommand(kLab, {QStringLiteral("down")}, 120000);
            EXPECT_EQ(down.exitCode, 0) << down.err.toStdString();
        }
    }
    static inline bool s_ready = false;
    static inline bool s_broughtUp = false;
};

class LabScan : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!LabEnvironment::s_ready)
            GTEST_SKIP() << "the lab is not up";
        manifest = ReadManifest();
        ASSERT_FALSE(manifest.empty()) << "no manifest";
        ASSERT_TRUE(oui.Open());
    }

    // lanvey-scan in the scanner namespace.
    Command Scan(const QStringList& arguments)
    {
        return RunCommand(kLab, QStringList{QStringLiteral("exec"), kScanner} + arguments);
    }

    // The manifest's hosts (and the scanner's own addresses) from `first` to `last`.
    std::map<quint32, LabHost> Expected(const char* first, const char* last) const
    {
        std::map<quint32, LabHost> inside;
        const quint32 from = IpToHostOrder(IpOf(first)), to = IpToHostOrder(IpOf(last));
        for (const auto& [address, host] : manifest)
            if (address >= from && address <= to)
                inside[address] = host;
        return inside;
    }

    // The CSV rows by address; fails on a header that is not the list's or a host twice.
    std::map<quint32, QStringList> Rows(const Command& scan)
    {
        std::map<quint32, QStringList> byAddress;
        const auto rows = ParseCsv(scan.out);
        EXPECT_FALSE(rows.empty()) << scan.err.toStdString();
        if (rows.empty())
            return byAddress;
        // The scan list's export: its titles and the compare keyword (the decoder has
        // dropped the byte-order mark).
        EXPECT_EQ(rows[0],
                  (QStringList{QStringLiteral("IP Address"), QStringLiteral("MAC Address"),
                               QStringLiteral("Host Name"), QStringLiteral("Workgroup"),
                               QStringLiteral("Manufacturer"), QStringLiteral("Compare Result"),
                               QStringLiteral("Other Names"), QStringLiteral("IPv6 Addresses"),
                               QStringLiteral("compare"), QStringLiteral("flags")}));
        for (size_t i = 1; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].size(), 10);
            const quint32 address = IpToHostOrder(GetIpAddress(rows[i].value(0)));
            EXPECT_TRUE(byAddress.emplace(address, rows[i]).second)
                << "twice: " << rows[i].value(0).toStdString();
        }
        return byAddress;
    }

    // Every expected host with its MAC, names and vendor, and nothing else.
    void ExpectExactly(const std::map<quint32, QStringList>& rows,
                       const std::map<quint32, LabHost>& expected)
    {
        std::vector<QString> found, wanted;
        for (const auto& [address, row] : rows)
            found.push_back(row.value(0));
        for (const auto& [address, host] : expected)
            wanted.push_back(host.ip);
        EXPECT_EQ(found, wanted);
        for (const auto& [address, host] : expected) {
            auto it = rows.find(address);
            if (it == rows.end())
                continue;
            const QStringList& row = it->second;
            SCOPED_TRACE(host.ip.toStdString());
            EXPECT_EQ(row.value(1), host.mac);
            EXPECT_EQ(row.value(2), host.hostName);
            EXPECT_EQ(row.value(3), host.workgroup);
            EXPECT_EQ(row.value(4), oui.GetManufacturer(host.mac));
            // Every other name of the host with its source, and no more.
            QStringList names = row.value(6).split(QStringLiteral(", "), Qt::SkipEmptyParts);
            QStringList manifestNames = host.otherNames;
            names.sort();
            manifestNames.sort();
            EXPECT_EQ(names, manifestNames);
            // Every IPv6 address of the host, and no other.
            if (expectIpv6) {
                QStringList addresses = row.value(7).split(u' ', Qt::SkipEmptyParts);
                addresses.sort();
                EXPECT_EQ(addresses, host.ipv6);
            }
            const QStringList flags = row.value(9).split(u' ', Qt::SkipEmptyParts);
            const bool local = (GetMacAddress(host.mac, u':') & 0x02) != 0;
            EXPECT_EQ(flags.contains(QStringLiteral("locally-administered")), local);
            EXPECT_EQ(flags.contains(QStringLiteral("netbios-mac-differs")),
                      !host.netBiosMac.isEmpty());
            // The raw path sees every reply; the kernel's keeps the first one only.
            if (expectConflicts) {
                EXPECT_EQ(flags.contains(QStringLiteral("ip-conflict")),
                          !host.conflictMac.isEmpty());
            }
        }
    }

    std::map<quint32, LabHost> manifest;
    CNVOUI oui;
    // Set by a test whose scan runs on the raw path and long enough for the second
    // machine's late answer (20 ms after the host's).
    bool expectConflicts = false;
    bool expectIpv6 = true;
};

TEST_F(LabScan, TheWholeSubnetFindsExactlyTheManifestComparedWithTheDatabase)
{
    // A database that knows one host exactly, one address with another MAC and one MAC
    // under another address.
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("Database.lvdat"));
    std::vector<std::unique_ptr<DatabaseRecord>> known;
    known.push_back(
        Known("198.18.0.1", manifest[IpToHostOrder(IpOf("198.18.0.1"))].mac.toLatin1()));
    known.push_back(Known("198.18.0.2", "02:99:99:99:99:02"));
    known.push_back(
        Known("198.18.0.99", manifest[IpToHostOrder(IpOf("198.18.0.3"))].mac.toLatin1()));
    ASSERT_TRUE(DatabaseFile::Save(db, known));

    const Command scan = Scan({QStringLiteral("--format"), QStringLiteral("csv"),
                               QStringLiteral("--db"), db, QStringLiteral("198.18.0.0/24")});
    ASSERT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    const auto rows = Rows(scan);
    const auto expected = Expected("198.18.0.0", "198.18.0.255");
    ASSERT_GE(expected.size(), 21u); // twenty hosts and the scanner at least
    expectConflicts = true;
    ExpectExactly(rows, expected);

    // At least ten hosts answer NetBIOS, in two workgroups or more.
    std::set<QString> workgroups;
    int named = 0;
    for (const auto& [address, row] : rows) {
        named += !row.value(2).isEmpty();
        if (!row.value(3).isEmpty())
            workgroups.insert(row.value(3));
    }
    EXPECT_GE(named, 10);
    EXPECT_GE(workgroups.size(), 2u);

    auto compare = [&](const char* ip) { return rows.at(IpToHostOrder(IpOf(ip))).value(5); };
    EXPECT_EQ(
        compare("198.18.0.1"),
        QStringLiteral("Record already exists, IP address and MAC address completely matched"));
    EXPECT_EQ(compare("198.18.0.2"), QStringLiteral("IP Address Different"));
    EXPECT_EQ(compare("198.18.0.3"), QStringLiteral("MAC Address Different"));
    EXPECT_EQ(compare("198.18.0.4"), QStringLiteral("New IP address and MAC address"));
    auto keyword = [&](const char* ip) { return rows.at(IpToHostOrder(IpOf(ip))).value(8); };
    EXPECT_EQ(keyword("198.18.0.1"), QStringLiteral("matched"));
    EXPECT_EQ(keyword("198.18.0.2"), QStringLiteral("ip-differs"));
    EXPECT_EQ(keyword("198.18.0.3"), QStringLiteral("mac-differs"));
    EXPECT_EQ(keyword("198.18.0.4"), QStringLiteral("new"));
    EXPECT_EQ(QFile(db).size(), QFileInfo(db).size()); // read, not rewritten
}

TEST_F(LabScan, RangesSingleAddressesAndDottedMasksFindExactlyTheHostsInside)
{
    struct Case {
        const char* target;
        const char* first;
        const char* last;
    } cases[] = {
        {"198.18.0.12-198.18.0.3", "198.18.0.3", "198.18.0.12"},
        {"198.18.0.7", "198.18.0.7", "198.18.0.7"},
        {"198.18.0.0/255.255.255.128", "198.18.0.0", "198.18.0.127"},
        {"198.18.0.21-198.18.0.99", "198.18.0.21", "198.18.0.99"}, // no host there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const Command scan = Scan({QStringLiteral("--verbose"), QStringLiteral("--format=csv"),
                                   QString::fromLatin1(c.target)});
        ASSERT_EQ(scan.exitCode, 0) << scan.err.toStdString();
        ExpectExactly(Rows(scan), Expected(c.first, c.last));
        // The hosts outside the target answered the echoes too: they are not IPv6-only.
        EXPECT_FALSE(scan.err.contains(QStringLiteral("IPv6 only"))) << scan.err.toStdString();
    }
    // Only a target that holds every subnet of the adapter (the /24 and the crowd's /22)
    // tells a host that never answered ARP.
    const Command whole = Scan({QStringLiteral("--verbose"), QStringLiteral("--format=csv"),
                                QStringLiteral("198.18.0.0/21")});
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    EXPECT_TRUE(whole.err.contains(QStringLiteral("1 hosts answered only over IPv6.")))
        << whole.err.toStdString();
    EXPECT_TRUE(
        whole.err.contains(QStringLiteral("IPv6 only: 02:4C:56:00:06:06 fd4c:5600:0:1::66")))
        << whole.err.toStdString();

    // The same hosts as JSON.
    const Command json = Scan({QStringLiteral("--format"), QStringLiteral("json"),
                               QStringLiteral("198.18.0.1-198.18.0.12")});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray array = QJsonDocument::fromJson(json.out.toUtf8()).array();
    const auto expected = Expected("198.18.0.1", "198.18.0.12");
    ASSERT_EQ(size_t(array.size()), expected.size());
    for (const QJsonValue& value : array) {
        const QJsonObject object = value.toObject();
        const LabHost& host =
            expected.at(IpToHostOrder(GetIpAddress(object.value(QStringLiteral("ip")).toString())));
        EXPECT_EQ(object.value(QStringLiteral("mac")).toString(), host.mac);
        EXPECT_EQ(object.value(QStringLiteral("host_name")).toString(), host.hostName);
        EXPECT_EQ(object.value(QStringLiteral("compare")).toString(), QStringLiteral("new"));
    }
}

TEST_F(LabScan, BadTargetsAndOptionsExitWithStatusTwo)
{
    const Command mask = Scan({QStringLiteral("198.18.0.0/33")});
    EXPECT_EQ(mask.exitCode, 2);
    EXPECT_TRUE(mask.err.contains(QStringLiteral("Invalid MASK addresses!")))
        << mask.err.toStdString();
    EXPECT_TRUE(mask.out.isEmpty());
    const Command option = Scan({QStringLiteral("--frobnicate"), QStringLiteral("198.18.0.0/24")});
    EXPECT_EQ(option.exitCode, 2);
    EXPECT_TRUE(option.err.contains(QStringLiteral("usage: lanvey-scan")));
}

// A slow scan (one worker, almost nothing asked ahead) is signalled after it has found
// some hosts; it must stop like the Stop command, print what it found and end quickly.
void ExpectStopsOnSignal(LabScan* test, const std::map<quint32, LabHost>& manifest, int signal,
                         int expectedStatus)
{
    QProcess process;
    process.start(kLab, {QStringLiteral("exec"), kScanner, QStringLiteral("--threads"),
                         QStringLiteral("1"), QStringLiteral("--rate"), QStringLiteral("1"),
                         QStringLiteral("--progress"), QStringLiteral("--format"),
                         QStringLiteral("csv"), QStringLiteral("198.18.0.0/24")});
    ASSERT_TRUE(process.waitForStarted());
    // Wait for the progress line that shows the scan is past the first hosts.
    QElapsedTimer clock;
    clock.start();
    QString progress;
    while (!progress.contains(QStringLiteral("198.18.0.2")) && clock.elapsed() < 20000) {
        process.waitForReadyRead(200);
        progress += QString::fromUtf8(process.readAllStandardError());
    }
    ASSERT_EQ(process.state(), QProcess::Running);
    ::kill(pid_t(process.processId()), signal);
    QElapsedTimer stopping;
    stopping.start();
    ASSERT_TRUE(process.waitForFinished(10000));
    const qint64 stopMs = stopping.elapsed();
    EXPECT_LE(stopMs, 2000) << "took " << stopMs << " ms to stop";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), expectedStatus);

    progress += QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(progress.contains(QStringLiteral("Scanning is stopping, please wait...")));
    EXPECT_TRUE(progress.contains(QStringLiteral("Found ")));
    const auto rows = ParseCsv(QString::fromUtf8(process.readAllStandardOutput()));
    ASSERT_GE(rows.size(), 2u) << "no host printed";
    EXPECT_LT(rows.size(), manifest.size());
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto it = manifest.find(IpToHostOrder(GetIpAddress(rows[i].value(0))));
        ASSERT_NE(it, manifest.end()) << rows[i].value(0).toStdString();
        EXPECT_EQ(rows[i].value(1), it->second.mac);
    }
    (void)test;
}

TEST_F(LabScan, CtrlCAndTerminateStopTheScanAndPrintTheHostsFound)
{
    ExpectStopsOnSignal(this, manifest, SIGINT, 130);
    ExpectStopsOnSignal(this, manifest, SIGTERM, 128 + SIGTERM);
}

// True once `pid` runs lanvey-scan itself, not the lab script or `ip netns exec` before it.
bool RunsScanner(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "lanvey-scan";
}

// True while `pid` has a file below `folder` open.
bool HoldsFileBelow(qint64 pid, const QString& folder)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System))
        if (fd.symLinkTarget().startsWith(folder))
            return true;
    return false;
}

struct Interrupt {
    const char* when;
    bool whileLoadingVendors; // while it reads the vendor table, before the scan starts
    int afterMs;              // after the program itself has started
    bool afterFirstProgress;  // after its first progress line: hosts have been found
    bool twice;               // a second SIGINT 20 ms after the first
};

// One /24 scan interrupted as `interrupt` says: the program exits with 130 within a
// second of the signal and prints a well-formed report of lab hosts, never an empty one
// once hosts were found, with as many rows as its own "Found N hosts." says.
void ExpectInterruptedScan(const std::map<quint32, LabHost>& manifest, const QStringList& path,
                           const Interrupt& interrupt)
{
    SCOPED_TRACE(interrupt.when);
    QProcess process;
    process.start(kLab,
                  QStringList{QStringLiteral("exec"), kScanner} + path +
                      QStringList{QStringLiteral("--progress"), QStringLiteral("--verbose"),
                                  QStringLiteral("--format=csv"), QStringLiteral("198.18.0.0/24")});
    ASSERT_TRUE(process.waitForStarted());
    QElapsedTimer clock;
    clock.start();
    while (!RunsScanner(process.processId()) && clock.elapsed() < 5000)
        usleep(1000);
    ASSERT_TRUE(RunsScanner(process.processId()));
    QString err;
    if (interrupt.whileLoadingVendors) {
        const QString vendors = QString::fromLatin1(CNVOUI::kDefaultFolder);
        while (!HoldsFileBelow(process.processId(), vendors) && clock.elapsed() < 5000)
            usleep(500);
        ASSERT_TRUE(HoldsFileBelow(process.processId(), vendors)) << "never saw the table load";
    } else if (interrupt.afterFirstProgress) {
        while (!err.contains(QStringLiteral("Scanning ")) && clock.elapsed() < 10000) {
            process.waitForReadyRead(20);
            err += QString::fromUtf8(process.readAllStandardError());
        }
        ASSERT_TRUE(err.contains(QStringLiteral("Scanning "))) << err.toStdString();
    } else if (interrupt.afterMs > 0) {
        usleep(useconds_t(interrupt.afterMs) * 1000);
    }
    ASSERT_EQ(process.state(), QProcess::Running) << "ended before the signal";
    ::kill(pid_t(process.processId()), SIGINT);
    QElapsedTimer stopping;
    stopping.start();
    if (interrupt.twice) {
        usleep(20000);
        ::kill(pid_t(process.processId()), SIGINT);
    }
    ASSERT_TRUE(process.waitForFinished(10000));
    const qint64 stopMs = stopping.elapsed();
    EXPECT_LE(stopMs, 1000) << "took " << stopMs << " ms to exit";
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << "killed by the signal";
    EXPECT_EQ(process.exitCode(), 130);
    err += QString::fromUtf8(process.readAllStandardError());
    EXPECT_FALSE(err.contains(QStringLiteral("leaving without them"))) << err.toStdString();

    const auto rows = ParseCsv(QString::fromUtf8(process.readAllStandardOutput()));
    ASSERT_GE(rows.size(), 1u) << "no report at all; stderr: " << err.toStdString();
    EXPECT_EQ(rows[0].value(0), QStringLiteral("IP Address"));
    if (interrupt.afterFirstProgress) {
        EXPECT_GE(rows.size(), 2u) << "hosts were found, none printed: " << err.toStdString();
    }
    std::set<QString> seen;
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 10) << rows[i].join(u',').toStdString();
        const auto it = manifest.find(IpToHostOrder(GetIpAddress(rows[i].value(0))));
        ASSERT_NE(it, manifest.end()) << rows[i].value(0).toStdString();
        EXPECT_EQ(rows[i].value(1), it->second.mac);
        EXPECT_TRUE(seen.insert(rows[i].value(0)).second) << "twice: " << rows[i][0].toStdString();
    }
    const qsizetype found = err.lastIndexOf(QStringLiteral("lanvey-scan: Found "));
    if (found >= 0 && !interrupt.twice) {
        EXPECT_TRUE(err.mid(found).startsWith(
            QStringLiteral("lanvey-scan: Found %1 hosts.").arg(rows.size() - 1)))
            << err.toStdString();
    }
}

TEST_F(LabScan, CtrlCDuringASubnetScanPrintsTheHostsFoundWithinASecondOnBothPaths)
{
    const Interrupt interrupts[] = {
        {"while loading the vendor table", true, 0, false, false},
        {"150 ms in", false, 150, false, false},
        {"after the first progress line", false, 0, true, false},
        {"twice, after the first progress line", false, 0, true, true},
    };
    for (const QStringList& path : {QStringList{}, QStringList{QStringLiteral("--kernel-arp")}}) {
        SCOPED_TRACE(path.isEmpty() ? "raw path" : "kernel path");
        for (const Interrupt& interrupt : interrupts)
            ExpectInterruptedScan(manifest, path, interrupt);
    }
}

TEST_F(LabScan, AStopSignalWhileALargeDatabaseLoadsEndsTheScannerWithinASecond)
{
    // Enough records that reading them takes a while even in an optimised build.
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("Database.lvdat"));
    {
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        for (quint32 i = 0; i < 600000; ++i) {
            auto record = std::make_unique<DatabaseRecord>();
            record->ip = IpFromHostOrder(0x0A000000u + i); // 10.x: no lab host
            record->mac = kMacTopBits | (0x020000000000ull + i);
            record->hostName = QStringLiteral("KNOWN-%1").arg(i);
            records.push_back(std::move(record));
        }
        ASSERT_TRUE(DatabaseFile::Save(database, records));
    }
    for (const auto& [signal, status] :
         {std::pair{SIGINT, 130}, std::pair{SIGTERM, 128 + SIGTERM}}) {
        SCOPED_TRACE(signal);
        QProcess process;
        process.start(kLab, {QStringLiteral("exec"), kScanner, QStringLiteral("--db"), database,
                             QStringLiteral("--format=csv"), QStringLiteral("198.18.0.0/24")});
        ASSERT_TRUE(process.waitForStarted());
        QElapsedTimer clock;
        clock.start();
        while (!(RunsScanner(process.processId()) &&
                 HoldsFileBelow(process.processId(), dir.path())) &&
               clock.elapsed() < 10000)
            usleep(500);
        ASSERT_TRUE(HoldsFileBelow(process.processId(), dir.path()))
            << "never saw the database read";
        ::kill(pid_t(process.processId()), signal);
        QElapsedTimer stopping;
        stopping.start();
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_LE(stopping.elapsed(), 1000) << "took " << stopping.elapsed() << " ms to exit";
        EXPECT_EQ(process.exitCode(), status);
        // Stopped before the scan began: the report is the header alone.
        const auto rows = ParseCsv(QString::fromUtf8(process.readAllStandardOutput()));
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].value(0), QStringLiteral("IP Address"));
    }
}

// Sends ARP replies to the scanner from lv-h24's adapter for `ms` milliseconds, 70 a
// millisecond, each from a random address of the lab's range and a random MAC, as a
// stranger on the link can. Returns the sender's PID.
pid_t FloodArpReplies(int ms)
{
    fflush(nullptr);
    const pid_t child = fork();
    if (child != 0)
        return child;
    const int ns = open("/run/netns/lv-h24", O_RDONLY | O_CLOEXEC);
    if (ns < 0 || setns(ns, CLONE_NEWNET) != 0)
        _exit(1);
    const int fd = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_ARP));
    const unsigned char scannerMac[6] = {0x02, 0x4C, 0x56, 0x00, 0x00, 0xFE};
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = int(if_nametoindex("eth0"));
    to.sll_halen = 6;
    std::copy(scannerMac, scannerMac + 6, to.sll_addr);
    std::mt19937 random(7);
    unsigned char reply[28] = {0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x02};
    std::copy(scannerMac, scannerMac + 6, reply + 18);
    const unsigned char scannerIp[4] = {198, 18, 0, 254};
    std::copy(scannerIp, scannerIp + 4, reply + 24);
    QElapsedTimer clock;
    clock.start();
    for (qint64 sent = 0; clock.elapsed() < ms;) {
        for (; sent < clock.elapsed() * 70; ++sent) {
            const quint32 mac = random(), ip = 0xC6120000u | (random() & 0x1FFFFu);
            const unsigned char sender[10] = {0x02,
                                              0x4C,
                                              quint8(mac >> 24),
                                              quint8(mac >> 16),
                                              quint8(mac >> 8),
                                              quint8(mac),
                                              quint8(ip >> 24),
                                              quint8(ip >> 16),
                                              quint8(ip >> 8),
                                              quint8(ip)};
            std::copy(sender, sender + 10, reply + 8);
            sendto(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        usleep(200);
    }
    _exit(0);
}

// The largest resident size of a slow /24 scan, in kB, with an ARP flood meanwhile or not.
qint64 PeakOfASlowScan(bool flood)
{
    QProcess process;
    process.start(kLab, {QStringLiteral("exec"), kScanner, QStringLiteral("--rate=60"),
                         QStringLiteral("--format=csv"), QStringLiteral("198.18.0.0/24")});
    EXPECT_TRUE(process.waitForStarted());
    const pid_t flooder = flood ? FloodArpReplies(4000) : 0;
    qint64 peak = 0;
    while (!process.waitForFinished(50)) {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                peak = std::max(peak, line.mid(6).trimmed().split(' ').value(0).toLongLong());
    }
    if (flooder > 0) {
        int flooded = -1;
        waitpid(flooder, &flooded, 0);
        EXPECT_TRUE(WIFEXITED(flooded) && WEXITSTATUS(flooded) == 0) << "could not flood";
        // The scanner's kernel took the forged replies for addresses it had failed to
        // resolve before (earlier tests' kernel path): the later tests must not meet them.
        EXPECT_EQ(RunCommand(kLab, {QStringLiteral("exec"), QStringLiteral("ip"),
                                    QStringLiteral("neigh"), QStringLiteral("flush"),
                                    QStringLiteral("dev"), QStringLiteral("eth0")})
                      .exitCode,
                  0);
    }
    EXPECT_EQ(process.exitCode(), 0);
    return peak;
}

TEST_F(LabScan, AnArpFloodFromRandomSendersCostsTheScannerNoMemory)
{
    // 280,000 replies from up to 131,072 addresses while a /24 is asked at 60 a second.
    const qint64 quiet = PeakOfASlowScan(false);
    const qint64 flooded = PeakOfASlowScan(true);
    ASSERT_GT(quiet, 0);
    std::printf("peak resident size: %lld kB quiet, %lld kB under the flood\n", quiet, flooded);
    EXPECT_LT(flooded, quiet + 3 * 1024)
        << quiet << " kB without the flood, " << flooded << " kB with it";
}

// The user's numeric ids, for setpriv; made with useradd when missing.
QStringList LabUserIds()
{
    const QString user = kLabUser;
    if (RunCommand(QStringLiteral("id"), {QStringLiteral("-u"), user}).exitCode != 0) {
        const Command add =
            RunCommand(QStringLiteral("useradd"),
                       {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                        QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), user});
        EXPECT_EQ(add.exitCode, 0) << add.err.toStdString();
    }
    const QString uid =
        RunCommand(QStringLiteral("id"), {QStringLiteral("-u"), user}).out.trimmed();
    const QString gid =
        RunCommand(QStringLiteral("id"), {QStringLiteral("-g"), user}).out.trimmed();
    return {QStringLiteral("--reuid=") + uid, QStringLiteral("--regid=") + gid,
            QStringLiteral("--clear-groups")};
}

// A folder the user can reach with copies of programs of the build tree, which may sit
// where that user cannot; the helper's copy gets its capability as an install gives it.
class UserFolder
{
public:
    explicit UserFolder(const QStringList& programs, bool helperCapability = false)
    {
        const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                              QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                              QFile::ExeOther;
        EXPECT_TRUE(QFile::setPermissions(m_dir.path(), everyone));
        for (const QString& program : programs) {
            const QString copy = Path(QFileInfo(program).fileName());
            EXPECT_TRUE(QFile::copy(program, copy)) << copy.toStdString();
            EXPECT_TRUE(QFile::setPermissions(copy, everyone));
        }
        if (helperCapability) {
            const Command setcap =
                RunCommand(QStringLiteral("setcap"),
                           {QStringLiteral("cap_net_raw+ep"), Path(QStringLiteral("lanvey-arp"))});
            EXPECT_EQ(setcap.exitCode, 0) << setcap.err.toStdString();
        }
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// `command` as the ordinary user in the scanner namespace, with `environment` added.
Command RunAsUser(const QStringList& command, const QStringList& environment = {})
{
    return RunCommand(kLab, QStringList{QStringLiteral("exec"), QStringLiteral("env")} +
                                environment + QStringList{QStringLiteral("setpriv")} +
                                LabUserIds() + command);
}

// While it lives, no user of the scanner namespace may open an ICMPv6 datagram socket
// (as on a system whose ping_group_range leaves them out).
struct NoPingSockets {
    NoPingSockets() { Set(QStringLiteral("1 0")); }
    ~NoPingSockets() { Set(QStringLiteral("0 2147483647")); }
    static void Set(const QString& range)
    {
        const Command set = RunCommand(
            kLab, {QStringLiteral("exec"), QStringLiteral("sysctl"), QStringLiteral("-w"),
                   QStringLiteral("net.ipv4.ping_group_range=") + range});
        EXPECT_EQ(set.exitCode, 0) << set.err.toStdString();
    }
};

TEST_F(LabScan, AnOrdinaryUserWithTheHelperFindsWhatRootFinds)
{
    const QStringList csv{QStringLiteral("--verbose"), QStringLiteral("--format=csv"),
                          QStringLiteral("198.18.0.0/24")};
    const Command root = Scan(csv);
    ASSERT_EQ(root.exitCode, 0) << root.err.toStdString();
    EXPECT_TRUE(root.err.contains(QStringLiteral("raw ARP socket on eth0")))
        << root.err.toStdString();
    const auto rootRows = Rows(root);

    const UserFolder installed({kScanner, kHelper}, true);
    const QString helper = installed.Path(QStringLiteral("lanvey-arp"));
    // The IPv6 echoes go through the helper too when the user may not send them.
    const Command user = [&] {
        const NoPingSockets noPing;
        return RunAsUser(QStringList{installed.Path(QStringLiteral("lanvey-scan"))} + csv);
    }();
    ASSERT_EQ(user.exitCode, 0) << user.err.toStdString();
    EXPECT_TRUE(user.err.contains(QStringLiteral("raw ARP through %1 on eth0").arg(helper)))
        << user.err.toStdString();
    EXPECT_TRUE(user.err.contains(
        QStringLiteral("Address resolution: raw ARP through the helper %1, the fast way.")
            .arg(helper)))
        << user.err.toStdString();
    // Same hosts, MACs, names, vendors and compare results as root's.
    EXPECT_EQ(Rows(user), rootRows);
    ExpectExactly(Rows(user), Expected("198.18.0.0", "198.18.0.255"));

    // The same helper without its capability: the kernel path, and the advice to set it.
    const UserFolder bare({kScanner, kHelper});
    const QString bareHelper = bare.Path(QStringLiteral("lanvey-arp"));
    const Command kernel = RunAsUser(QStringList{bare.Path(QStringLiteral("lanvey-scan"))} + csv);
    ASSERT_EQ(kernel.exitCode, 0) << kernel.err.toStdString();
    EXPECT_TRUE(kernel.err.contains(QStringLiteral("kernel neighbour resolution")))
        << kernel.err.toStdString();
    EXPECT_TRUE(kernel.err.contains(
        QStringLiteral("the helper lacks CAP_NET_RAW.\nFor the fast way run: sudo setcap "
                       "cap_net_raw+ep %1")
            .arg(bareHelper)))
        << kernel.err.toStdString();
    ExpectExactly(Rows(kernel), Expected("198.18.0.0", "198.18.0.255"));
}

// One session with the helper as the ordinary user: `input` after the link line.
struct HelperSession {
    QProcess process;
    QString out;

    explicit HelperSession(const QString& helper)
    {
        process.start(kLab, QStringList{QStringLiteral("exec"), QStringLiteral("setpriv")} +
                                LabUserIds() + QStringList{helper});
        EXPECT_TRUE(process.waitForStarted());
        process.write("link eth0\n");
        ReadUntil(QStringLiteral("\n"));
    }
    ~HelperSession()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    // Reads standard output until it holds `text` or 5 s have passed.
    bool ReadUntil(const QString& text)
    {
        QElapsedTimer clock;
        clock.start();
        while (!out.contains(text) && clock.elapsed() < 5000) {
            process.waitForReadyRead(50);
            out += QString::fromUtf8(process.readAllStandardOutput());
        }
        return out.contains(text);
    }
    // Reads until `count` replies have come or 5 s have passed.
    void ReadReplies(size_t count)
    {
        QElapsedTimer clock;
        clock.start();
        while (Replies().size() < count && clock.elapsed() < 5000) {
            process.waitForReadyRead(50);
            out += QString::fromUtf8(process.readAllStandardOutput());
        }
    }
    // Every reply line: sender address, MAC, our address, time in ns.
    std::vector<QStringList> Replies() const
    {
        std::vector<QStringList> replies;
        for (const QString& line : out.split(u'\n'))
            if (line.startsWith(QStringLiteral("reply ")))
                replies.push_back(line.split(u' ').mid(1));
        return replies;
    }
};

TEST_F(LabScan, TheHelperKeepsNoCapabilityAndSendsOnlyWhatItMay)
{
    const UserFolder installed({kHelper}, true);
    const QString helper = installed.Path(QStringLiteral("lanvey-arp"));
    {
        // Once its socket is open it holds no capability at all, and can gain none.
        HelperSession session(helper);
        ASSERT_TRUE(session.out.startsWith(QStringLiteral("ready 02:4c:56:00:00:fe\n")))
            << session.out.toStdString();
        const qint64 pid = session.process.processId();
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
        ASSERT_EQ(comm.readAll().trimmed(), "lanvey-arp");
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        ASSERT_TRUE(status.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(status.readAll());
        for (const char* field : {"CapInh", "CapPrm", "CapEff", "CapAmb"})
            EXPECT_TRUE(
                text.contains(QStringLiteral("%1:\t0000000000000000").arg(QLatin1String(field))))
                << field << "\n"
                << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("NoNewPrivs:\t1"))) << text.toStdString();

        // Every address of a range is asked and every reply comes back, with the MAC.
        session.process.write("ask 198.18.0.1-198.18.0.20 198.18.0.254\n");
        session.ReadReplies(20);
        const auto replies = session.Replies();
        std::set<QString> answered;
        for (const QStringList& reply : replies) {
            ASSERT_EQ(reply.size(), 4);
            const auto host = manifest.find(IpToHostOrder(GetIpAddress(reply[0])));
            ASSERT_NE(host, manifest.end()) << reply.join(u' ').toStdString();
            EXPECT_EQ(reply[1].toUpper(), host->second.mac);
            EXPECT_EQ(reply[2], QStringLiteral("198.18.0.254"));
            answered.insert(reply[0]);
        }
        EXPECT_EQ(answered.size(), 20u);

        // Three echoes from one address within half a second: two go out, and each
        // brings every IPv6 host's reply with the MAC it came from.
        session.process.write("echo6 fe80::4c:56ff:fe00:fe\necho6 fe80::4c:56ff:fe00:fe\n"
                              "echo6 fe80::4c:56ff:fe00:fe\n");
        const QString lv16 = QStringLiteral("answer6 fe80::4c:56ff:fe00:16 02:4c:56:00:00:16 ");
        ASSERT_TRUE(session.ReadUntil(lv16)) << session.out.toStdString();
        QThread::msleep(300);
        session.out += QString::fromUtf8(session.process.readAllStandardOutput());
        EXPECT_EQ(session.out.count(lv16), 2) << session.out.toStdString();

        // The end of its input ends it.
        session.process.closeWriteChannel();
        ASSERT_TRUE(session.process.waitForFinished(2000));
        EXPECT_EQ(session.process.exitCode(), 0);
    }
    {
        // The rate it is given, and never above its ceiling of 10,000 a second: the replies
        // of a range come no faster than the requests went out.
        auto spread = [&](const char* rate, const char* range, int count) {
            HelperSession session(helper);
            session.process.write(QByteArray("rate ") + rate + "\nask " + range +
                                  " 198.18.0.254\n");
            session.ReadReplies(count);
            const auto replies = session.Replies();
            EXPECT_GE(replies.size(), size_t(count)) << session.out.toStdString();
            if (replies.size() < 2)
                return 0.0;
            return (replies.back()[3].toDouble() - replies.front()[3].toDouble()) / 1e6;
        };
        // 198.18.0.1-20: 19 intervals between the first reply and the last.
        EXPECT_GE(spread("100", "198.18.0.1-198.18.0.20", 20), 19 * 10 - 5);
        // .1 to .253: 252 intervals of 100 us even when asked for a million a second.
        EXPECT_GE(spread("1000000", "198.18.0.1-198.18.0.253", 24), 252 * 0.1 - 2);
    }
    {
        // Without its capability it says how to give it.
        const UserFolder bare({kHelper});
        const QString path = bare.Path(QStringLiteral("lanvey-arp"));
        HelperSession session(path);
        ASSERT_TRUE(session.process.waitForFinished(2000));
        EXPECT_EQ(session.process.exitCode(), 1);
        EXPECT_EQ(session.out,
                  QStringLiteral("error no permission for a packet socket; run: sudo setcap "
                                 "cap_net_raw+ep %1\n")
                      .arg(path));
    }
    struct Refusal {
        const char* line;
        const char* error;
    } refusals[] = {
        {"ask 192.0.2.1 198.18.0.254", "ask: 192.0.2.1 is not in the subnet of 198.18.0.254"},
        {"ask 198.18.0.0-198.18.1.0 198.18.0.254",
         "ask: 198.18.0.0-198.18.1.0 is not in the subnet of 198.18.0.254"},
        {"ask 198.18.0.5 198.18.0.7", "ask: 198.18.0.7 is not an address of the interface"},
        {"link eth0", "link may be given only once"},
        {"ask 198.18.0.5", "ask wants an address or a range A-B, then our address"},
        {"echo6 fd4c:5600:0:1::1",
         "echo6: fd4c:5600:0:1::1 is not an IPv6 address of the interface"},
        {"echo6 fd4c:5600:0:1:0:0:0:fe",
         "echo6 wants one IPv6 address of ours, as inet_ntop writes it"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.line);
        HelperSession session(helper);
        session.process.write(QByteArray(refusal.line) + "\nask 198.18.0.1 198.18.0.254\n");
        ASSERT_TRUE(session.process.waitForFinished(2000));
        EXPECT_EQ(session.process.exitCode(), 2);
        session.out += QString::fromUtf8(session.process.readAllStandardOutput());
        // Nothing after the refused line was asked.
        EXPECT_EQ(session.out, QStringLiteral("ready 02:4c:56:00:00:fe\nerror %1\n")
                                   .arg(QLatin1String(refusal.error)));
        EXPECT_TRUE(QString::fromUtf8(session.process.readAllStandardError())
                        .contains(QLatin1String(refusal.error)));
    }
}

TEST_F(LabScan, TheHelperEndsWithItsParent)
{
    // The parent ends after a second while the helper's input stays open.
    const UserFolder installed({kHelper}, true);
    QProcess parent;
    parent.start(kLab,
                 QStringList{QStringLiteral("exec"), QStringLiteral("setpriv")} + LabUserIds() +
                     QStringList{QStringLiteral("sh"), QStringLiteral("-c"),
                                 QStringLiteral("sleep 5 | %1 >/dev/null 2>&1 & echo $!; sleep 1")
                                     .arg(installed.Path(QStringLiteral("lanvey-arp")))});
    ASSERT_TRUE(parent.waitForStarted());
    ASSERT_TRUE(parent.waitForReadyRead(3000));
    const qint64 pid = parent.readLine().trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    auto running = [pid] {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = status.readAll();
        return text.contains("lanvey-arp") && !text.contains("State:\tZ");
    };
    QElapsedTimer clock;
    clock.start();
    while (!running() && clock.elapsed() < 800)
        usleep(5000);
    EXPECT_TRUE(running()) << "the helper did not start";
    ASSERT_TRUE(parent.waitForFinished(3000));
    clock.restart();
    while (running() && clock.elapsed() < 2000)
        usleep(10000);
    EXPECT_FALSE(running()) << "the helper outlived its parent";
}

TEST_F(LabScan, NoProcessOfTheHelpersUserCanReachItsSocket)
{
    // Once the socket is open and the capability gone, a process of the same user tries
    // every way in: the descriptor list, a copy of each descriptor, the memory, ptrace.
    // Whether the kernel leaves a process inspectable depends on how it was started, so
    // the helper is started both ways: straight from setpriv, and by the user's process.
    const UserFolder installed({kHelper, kInspector}, true);
    const QString inspector = installed.Path(QFileInfo(kInspector).fileName());
    const QString helper = installed.Path(QStringLiteral("lanvey-arp"));
    HelperSession session(helper);
    ASSERT_TRUE(session.out.startsWith(QStringLiteral("ready "))) << session.out.toStdString();
    const Command byPid = RunAsUser(
        {inspector, QStringLiteral("--pid"), QString::number(session.process.processId())});
    const Command asParent = RunAsUser({inspector, helper, QStringLiteral("eth0")});
    for (const Command* inspected : {&byPid, &asParent}) {
        const std::string report = (inspected->out + inspected->err).toStdString();
        for (const char* way : {"fd-list", "pidfd-getfd", "proc-mem", "process-vm-readv", "ptrace"})
            EXPECT_TRUE(
                inspected->out.contains(QStringLiteral("%1 refused").arg(QLatin1String(way))))
                << way << "\n"
                << report;
        EXPECT_EQ(inspected->exitCode, 0) << report;
    }
}

TEST_F(LabScan, WithoutRawSocketsTheKernelFindsTheSameHosts)
{
    // An unprivileged user has no CAP_NET_RAW; the probe falls back to the kernel. The
    // build tree may sit where that user cannot reach, so the program runs from a copy.
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("lanvey-scan"));
    ASSERT_TRUE(QFile::copy(kScanner, copy));
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), everyone));
    ASSERT_TRUE(QFile::setPermissions(copy, everyone));
    const Command scan =
        RunCommand(kLab, {QStringLiteral("exec"), QStringLiteral("setpriv"),
                          QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), copy, QStringLiteral("--verbose"),
                          QStringLiteral("--format=csv"), QStringLiteral("198.18.0.0/24")});
    ASSERT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    EXPECT_TRUE(scan.err.contains(QStringLiteral("kernel"), Qt::CaseInsensitive))
        << scan.err.toStdString();
    // No helper beside the copy: the notice says where to install one and how.
    EXPECT_TRUE(scan.err.contains(QStringLiteral("no helper found")));
    EXPECT_TRUE(scan.err.contains(
        QStringLiteral("run: sudo setcap cap_net_raw+ep %1")
            .arg(QDir::cleanPath(dir.path() + QStringLiteral("/../lib/lanvey/lanvey-arp")))))
        << scan.err.toStdString();
    ExpectExactly(Rows(scan), Expected("198.18.0.0", "198.18.0.255"));
}

// `lab up` as the lab is now, with its crowd and without the lossy segment or the
// conflicting host.
QStringList PlainLabUp()
{
    int crowd = 0;
    QFile crowdFile(QStringLiteral("/run/lanvey-lab/crowd"));
    if (crowdFile.open(QIODevice::ReadOnly))
        crowd = QString::fromLatin1(crowdFile.readAll()).trimmed().toInt();
    return {QStringLiteral("up"), QStringLiteral("--crowd"), QString::number(crowd)};
}

TEST_F(LabScan, OnALossyLinkEveryHostIsFoundWhateverTheSeed)
{
    // Ten hosts that drop a fifth of the ARP requests and answer the rest up to 300 ms
    // late (one up to 600 ms). Under each of these seeds some host answers only the
    // repeat and one only a third request; none loses more. A new responder for each
    // seed, so the scan is the first to ask its hosts.
    const QStringList plain = PlainLabUp();
    for (const char* seed : {"1", "13", "31"}) {
        SCOPED_TRACE(seed);
        ASSERT_EQ(RunCommand(kLab, plain, 300000).exitCode, 0);
        const Command up =
            RunCommand(kLab,
                       plain + QStringList{QStringLiteral("--lossy"), QStringLiteral("10"),
                                           QStringLiteral("--seed"), QString::fromLatin1(seed)},
                       300000);
        ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
        manifest = ReadManifest();
        const auto expected = Expected("198.18.8.0", "198.18.8.255");
        ASSERT_EQ(expected.size(), 11u) << "ten hosts and the scanner";

        const Command scan = Scan({QStringLiteral("--format"), QStringLiteral("csv"),
                                   QStringLiteral("--verbose"), QStringLiteral("198.18.8.0/24")});
        ASSERT_EQ(scan.exitCode, 0) << scan.err.toStdString();
        SCOPED_TRACE(scan.err.toStdString());
        ExpectExactly(Rows(scan), expected);
        EXPECT_TRUE(scan.err.contains(QStringLiteral("further requests")));
    }
    const Command restore = RunCommand(kLab, plain, 300000);
    EXPECT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    manifest = ReadManifest();
}

TEST_F(LabScan, ASecondMachineAnsweringForAnAddressIsAnIpConflict)
{
    // --conflict: a second machine answers ARP for 198.18.0.9, 20 ms after its host.
    const QStringList plain = PlainLabUp();
    const Command up = RunCommand(kLab, plain + QStringList{QStringLiteral("--conflict")}, 300000);
    ASSERT_EQ(up.exitCode, 0) << up.err.toStdString();
    manifest = ReadManifest();
    const LabHost host = manifest[IpToHostOrder(IpOf("198.18.0.9"))];
    ASSERT_FALSE(host.conflictMac.isEmpty());

    const Command scan =
        Scan({QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("198.18.0.0/24")});
    ASSERT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    const auto rows = Rows(scan);
    const QStringList row = rows.at(IpToHostOrder(IpOf("198.18.0.9")));
    // Whichever answer the scan kept, the flag is there and the other MAC is the second.
    EXPECT_TRUE(row.value(1) == host.mac || row.value(1) == host.conflictMac)
        << row.value(1).toStdString();
    EXPECT_TRUE(row.value(9).split(u' ').contains(QStringLiteral("ip-conflict")))
        << row.join(u',').toStdString();
    int flagged = 0;
    for (const auto& [address, other] : rows)
        flagged += other.value(9).contains(QStringLiteral("ip-conflict"));
    EXPECT_EQ(flagged, 1);
    EXPECT_TRUE(scan.err.contains(
        QStringLiteral("1 hosts share their IP address with another MAC address")))
        << scan.err.toStdString();

    const Command restore = RunCommand(kLab, plain, 300000);
    EXPECT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    manifest = ReadManifest();
    EXPECT_TRUE(manifest[IpToHostOrder(IpOf("198.18.0.9"))].conflictMac.isEmpty());
}

const QString kScanWindowTest = QStringLiteral("--gtest_filter=LabWindow.AScan*");

TEST_F(LabScan, TheMainWindowShowsTheLanWithItsColours)
{
    const Command window =
        RunCommand(kLab, {QStringLiteral("exec"), QStringLiteral("env"),
                          QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                          QStringLiteral(LANVEY_UI_LAB_BINARY), kScanWindowTest});
    EXPECT_EQ(window.exitCode, 0) << window.out.toStdString() << window.err.toStdString();
    EXPECT_TRUE(window.out.contains(QStringLiteral("[  PASSED  ] 1 test")))
        << window.out.toStdString();
    EXPECT_TRUE(
        window.out.contains(QStringLiteral("target box tip: Address resolution: raw ARP on eth0")))
        << window.out.toStdString();
}

TEST_F(LabScan, TheMainWindowWatchesTheLanAndNotifiesTheDesktop)
{
    const Command window = RunCommand(
        kLab,
        {QStringLiteral("exec"), QStringLiteral("env"), QStringLiteral("QT_QPA_PLATFORM=offscreen"),
         QStringLiteral(LANVEY_UI_LAB_BINARY), QStringLiteral("--gtest_filter=LabWindow.AWatch*")},
        120000);
    EXPECT_EQ(window.exitCode, 0) << window.out.toStdString() << window.err.toStdString();
    EXPECT_TRUE(window.out.contains(QStringLiteral("[  PASSED  ] 1 test")))
        << window.out.toStdString();
}

TEST_F(LabScan, TheMainWindowOfAnOrdinaryUserScansThroughTheHelperOrElseTheKernel)
{
    const QString program = QStringLiteral(LANVEY_UI_LAB_BINARY);
    const QString name = QFileInfo(program).fileName();
    const UserFolder installed({program, kHelper}, true);
    const QString helper = installed.Path(QStringLiteral("lanvey-arp"));
    const Command window = RunAsUser({installed.Path(name), kScanWindowTest},
                                     {QStringLiteral("QT_QPA_PLATFORM=offscreen")});
    EXPECT_EQ(window.exitCode, 0) << window.out.toStdString() << window.err.toStdString();
    EXPECT_TRUE(window.out.contains(QStringLiteral("[  PASSED  ] 1 test")))
        << window.out.toStdString();
    EXPECT_TRUE(window.out.contains(
        QStringLiteral(
            "target box tip: Address resolution: raw ARP through the helper %1, the fast way.")
            .arg(helper)))
        << window.out.toStdString();

    // The tests may point elsewhere: at a helper without its capability, the kernel.
    const UserFolder bare({kHelper});
    const QString bareHelper = bare.Path(QStringLiteral("lanvey-arp"));
    const Command kernel = RunAsUser({installed.Path(name), kScanWindowTest},
                                     {QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                                      QStringLiteral("LANVEY_ARP_HELPER=") + bareHelper});
    EXPECT_EQ(kernel.exitCode, 0) << kernel.out.toStdString() << kernel.err.toStdString();
    EXPECT_TRUE(kernel.out.contains(QStringLiteral("[  PASSED  ] 1 test")))
        << kernel.out.toStdString();
    EXPECT_TRUE(
        kernel.out.contains(QStringLiteral("sudo setcap cap_net_raw+ep %1").arg(bareHelper)))
        << kernel.out.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new LabEnvironment);
    return RUN_ALL_TESTS();
}

// lanvey-scan --watch: a host that joins is heard between sweeps, its MAC change too, it
// is gone after the sweeps that miss it, and SIGTERM ends the watch with status 0.
TEST_F(LabScan, AWatchHearsAJoinAndAMacChangeAtOnceAndCountsALeaveBySweeps)
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("empty.lvdat"));
    ASSERT_TRUE(DatabaseFile::Save(db, std::vector<std::unique_ptr<DatabaseRecord>>()));
    const QString ns = QStringLiteral("lv-watch1");
    const QString ip = QStringLiteral("198.18.0.222");
    RunCommand(kLab, {QStringLiteral("leave"), ns}); // from an earlier run that failed
    QProcess watch;
    watch.start(kLab, {QStringLiteral("exec"), kScanner, QStringLiteral("--watch=3"),
                       QStringLiteral("--gone-after"), QStringLiteral("2"), QStringLiteral("--db"),
                       db, QStringLiteral("198.18.0.0/24")});
    ASSERT_TRUE(watch.waitForStarted());
    QStringList lines;
    // The next event line of `kind` for `ip` (any address for the baseline), within `ms`.
    const auto next = [&](const QString& kind, int ms) -> QJsonObject {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            while (watch.canReadLine()) {
                const QByteArray line = watch.readLine();
                lines << QString::fromUtf8(line);
                const QJsonObject event = QJsonDocument::fromJson(line).object();
                if (event.value(QStringLiteral("event")).toString() == kind &&
                    (kind == QLatin1String("baseline") ||
                     event.value(QStringLiteral("ip")).toString() == ip))
                    return event;
            }
            if (clock.elapsed() > ms)
                return {};
            watch.waitForReadyRead(100);
        }
    };
    const QJsonObject baseline = next(QStringLiteral("baseline"), 30000);
    ASSERT_FALSE(baseline.isEmpty())
        << lines.join(QString()).toStdString()
        << QString::fromUtf8(watch.readAllStandardError()).toStdString();
    // Every host of the manifest (a second machine an earlier test left answering for an
    // address may add one).
    EXPECT_GE(baseline.value(QStringLiteral("hosts")).toInt(),
              int(Expected("198.18.0.1", "198.18.0.254").size()));

    const Command join =
        RunCommand(kLab, {QStringLiteral("join"), ns, ip, QStringLiteral("02:4C:56:77:00:01")});
    ASSERT_EQ(join.exitCode, 0) << join.err.toStdString();
    const QJsonObject joined = next(QStringLiteral("new"), 2000);
    EXPECT_EQ(joined.value(QStringLiteral("mac")).toString(), QStringLiteral("02:4C:56:77:00:01"))
        << lines.join(QString()).toStdString();

    const Command change =
        RunCommand(kLab, {QStringLiteral("set-mac"), ns, QStringLiteral("02:4C:56:77:00:02")});
    ASSERT_EQ(change.exitCode, 0) << change.err.toStdString();
    const QJsonObject changed = next(QStringLiteral("mac-changed"), 2000);
    EXPECT_EQ(changed.value(QStringLiteral("previous"))
                  .toObject()
                  .value(QStringLiteral("mac"))
                  .toString(),
              QStringLiteral("02:4C:56:77:00:01"))
        << lines.join(QString()).toStdString();

    ASSERT_EQ(RunCommand(kLab, {QStringLiteral("leave"), ns}).exitCode, 0);
    // Two sweeps 3 s apart miss it (each a few seconds at the watch's gentle rate).
    const QJsonObject gone = next(QStringLiteral("gone"), 40000);
    EXPECT_EQ(gone.value(QStringLiteral("mac")).toString(), QStringLiteral("02:4C:56:77:00:02"))
        << lines.join(QString()).toStdString();

    QElapsedTimer stop;
    stop.start();
    // The watching program itself, not the lab script that started it.
    Command pids = RunCommand(QStringLiteral("pgrep"),
                              {QStringLiteral("-f"), QStringLiteral("lanvey-scan --watch=3")});
    for (const QString& pid : pids.out.split(u'\n', Qt::SkipEmptyParts))
        if (RunsScanner(pid.toLongLong()))
            kill(pid_t(pid.toLongLong()), SIGTERM);
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_LT(stop.elapsed(), 2000);
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0) << QString::fromUtf8(watch.readAllStandardError()).toStdString();
}

// Every ARP request the scanner sends, as the switch sees it: a packet socket on the
// scanner's bridge port (a port's frames reach only ETH_P_ALL taps), the kernel's time
// of arrival a line for each request from the scanner's address, "ready" once it listens.
const char kBridgePortTap[] = R"(
import socket, struct
s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.ntohs(3))
s.setsockopt(socket.SOL_SOCKET, 35, 1)  # SO_TIMESTAMPNS: when the frame arrived, not read
s.bind(("scan", 0))
print("ready", flush=True)
scanner = socket.inet_aton("198.18.0.254")
while True:
    data, anc, flags, addr = s.recvmsg(2048, 64)
    if addr[2] != socket.PACKET_OUTGOING and data[12:14] == b"\x08\x06" \
            and data[20:22] == b"\x00\x01" and data[28:32] == scanner:
        sec, nsec = struct.unpack("qq", anc[0][2][:16])
        print("%d.%09d" % (sec, nsec), flush=True)
)";

// The most requests the tap saw in any one second while `scan` ran, and how many in all.
std::pair<int, int> RequestsPerSecond(const QStringList& scan)
{
    QProcess tap;
    tap.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                     QStringLiteral("lv-br"), QStringLiteral("python3"),
                                     QStringLiteral("-c"), QString::fromLatin1(kBridgePortTap)});
    if (!tap.waitForReadyRead(10000) || !tap.readLine().startsWith("ready"))
        return {-1, -1};
    const Command run = RunCommand(kLab, QStringList{QStringLiteral("exec"), kScanner} + scan);
    QThread::msleep(300); // the last frames reach the tap
    tap.kill();
    tap.waitForFinished(5000);
    if (run.exitCode != 0)
        return {-2, -2};
    std::vector<double> times;
    for (const QByteArray& line : tap.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            times.push_back(line.toDouble());
    int most = 0;
    for (size_t first = 0; first < times.size(); ++first) {
        size_t last = first;
        while (last < times.size() && times[last] - times[first] < 1.0)
            ++last;
        most = std::max(most, int(last - first));
    }
    return {most, int(times.size())};
}

TEST_F(LabScan, GentleAndCustomRatesHoldInEverySecondOnTheBridgePort)
{
    // A /26 at the gentle rate: its 62 addresses, with their repeats, take about ten
    // seconds; whatever the workers, no second may hold more than ten.
    const auto [gentleMost, gentleAll] =
        RequestsPerSecond({QStringLiteral("--gentle"), QStringLiteral("--threads"),
                           QStringLiteral("20"), QStringLiteral("198.18.0.0/26")});
    ASSERT_GE(gentleAll, 62) << "every address asked at least once";
    constexpr int kGentle = 10; // lanvey-scan --gentle
    EXPECT_LE(gentleMost, kGentle);
    EXPECT_GE(gentleMost, kGentle - 1) << "and the rate is used";

    const auto [customMost, customAll] = RequestsPerSecond(
        {QStringLiteral("--rate"), QStringLiteral("37"), QStringLiteral("--threads"),
         QStringLiteral("100"), QStringLiteral("198.18.0.0/24")});
    ASSERT_GE(customAll, 254);
    EXPECT_LE(customMost, 37);
}
