// lanvey-scan: the scan engine on the command line.

#include "cli/DatabasePath.h"
#include "cli/ScanOptions.h"
#include "cli/ScanReport.h"
#include "cli/WatchReport.h"
#include "lang/AnsiCodePage.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/DatabaseFile.h"
#include "records/IdentityFlags.h"
#include "records/LanveyDoc.h"
#include "records/RecordExchange.h"
#include "records/RecordLock.h"
#include "scan/ScanJob.h"
#include "scan/ScanProgress.h"
#include "scan/ScanTarget.h"
#include "scan/platform/ArpListener.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <signal.h>
#include <thread>
#include <unistd.h>

namespace
{

enum ExitStatus { kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitInterrupted = 130 };

void PrintError(const QString& text)
{
    std::fprintf(stderr, "lanvey-scan: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Messages of the scan job go to standard error; questions take their first answer.
class StderrPrompt final : public MessagePrompt
{
public:
    PromptAnswer Ask(const QString& text, PromptButtons buttons, PromptIcon) override
    {
        PrintError(text);
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel
                   ? PromptAnswer::Yes
                   : PromptAnswer::Ok;
    }
};

// Everything the main thread waits for: the workers' notifications and the signals.
struct Event {
    enum Kind { HostAdded, WorkerDone, Interrupt, Sighting } kind;
    int value = 0;
    quint32 ip = 0;  // Sighting: network byte order
    quint64 mac = 0; // Sighting
};

class EventQueue final : public ScanEventSink
{
public:
    void HostAdded() override { Push({Event::HostAdded}); }
    void WorkerDone(int slot) override { Push({Event::WorkerDone, slot}); }

    void Push(Event event)
    {
        {
            std::lock_guard lock(m_mutex);
            // A flood of frames heard on the link cannot grow the queue without bound;
            // the scan's own notifications and the signals always get in.
            if (event.kind == Event::Sighting && m_events.size() >= kMaxQueued)
                return;
            m_events.push_back(event);
        }
        m_arrived.notify_one();
    }

    // The next event, or false once `deadline` has passed.
    bool Pop(Event* event, std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(m_mutex);
        if (!m_arrived.wait_until(lock, deadline, [this] { return !m_events.empty(); }))
            return false;
        *event = m_events.front();
        m_events.pop_front();
        return true;
    }

private:
    static constexpr size_t kMaxQueued = 100000;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Event> m_events;
};

// The status pane is standard error, when asked for.
class TerminalView final : public ScanJobView
{
public:
    explicit TerminalView(bool progress) : m_progress(progress) {}
    void SetStatusText(const QString& text) override
    {
        if (m_progress)
            PrintError(text);
    }
    void StartProgressTimer() override { timerRunning = true; }
    void KillProgressTimer() override { timerRunning = false; }
    void SetRowCount(int rows) override { m_rows = rows; }
    int RowCount() const override { return m_rows; }

    bool timerRunning = false;

private:
    bool m_progress;
    int m_rows = 0;
};

// The stored "Threads" setting, else the default.
quint32 StoredThreads()
{
    QSettings settings(QStringLiteral("Norvane"), QStringLiteral("Lanvey"));
    bool ok = false;
    const qlonglong stored =
        settings.value(QStringLiteral("Settings/General/Threads")).toLongLong(&ok);
    return ok ? quint32(stored) : quint32(kDefaultScanThreads);
}

// The signals that stop a scan, and the one that ends their watcher.
sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);
    return set;
}

// SIGINT and SIGTERM are taken by one thread with sigwait and turned into events, so the
// main thread stops the scan the way the Stop command does. main() blocks them before
// anything else runs, so a signal during start-up waits here instead of killing the
// process before it could print anything.
class SignalWatcher
{
public:
    explicit SignalWatcher(EventQueue& queue) : m_queue(queue), m_set(StopSignals())
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~SignalWatcher()
    {
        pthread_kill(m_thread.native_handle(), SIGUSR2);
        m_thread.join();
    }

    // The first stop signal taken so far, 0 for none.
    int First() const { return m_first.load(); }

private:
    void Run()
    {
        for (;;) {
            int signal = 0;
            if (sigwait(&m_set, &signal) != 0 || signal == SIGUSR2)
                return;
            int none = 0;
            m_first.compare_exchange_strong(none, signal);
            m_queue.Push({Event::Interrupt, signal});
        }
    }

    EventQueue& m_queue;
    sigset_t m_set;
    std::atomic<int> m_first{0};
    std::thread m_thread;
};

int InterruptedStatus(int signal)
{
    return signal == SIGTERM ? 128 + SIGTERM : kExitInterrupted;
}

// The first `count` hosts of the scan list in the chosen format, on standard output.
void PrintReport(CLanveyDoc& doc, const CNVOUI& oui, ScanOptions::Format format, int count)
{
    std::vector<HostRecord> hosts;
    {
        // Workers that still run append under this lock, names and all.
        std::lock_guard guard(g_recordLock);
        count = std::min(count, doc.GetScanRecordCount());
        hosts.reserve(size_t(std::max(0, count)));
        for (int i = 0; i < count; ++i) {
            HostRecord* record = doc.GetScanRecord(i);
            doc.CompareWithDatabase(record, i);
            hosts.push_back(*record);
        }
    }
    std::vector<const HostRecord*> rows;
    rows.reserve(hosts.size());
    for (const HostRecord& host : hosts)
        rows.push_back(&host);
    QByteArray bytes;
    switch (format) {
    case ScanOptions::Format::Csv:
        // The scan list's own export. A file or a pipe gets the names as received; a
        // terminal must not get their control characters.
        bytes = WriteScanRecords(ExchangeFormat::Csv, rows, &oui,
                                 isatty(STDOUT_FILENO) ? CsvControls::Escape : CsvControls::Keep);
        break;
    case ScanOptions::Format::Json:
        bytes = WriteScanRecords(ExchangeFormat::Json, rows, &oui);
        break;
    case ScanOptions::Format::Table: {
        std::vector<ScanReportRow> table;
        table.reserve(rows.size());
        for (const HostRecord* row : rows)
            table.push_back(MakeScanReportRow(*row, &oui));
        bytes = FormatScanTable(table).toUtf8();
        break;
    }
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// How long after a stop signal the workers may take before the hosts found are printed
// without them, so that an interrupted run always ends within a second.
constexpr auto kStopGrace = std::chrono::milliseconds(700);

// Hosts of the list that another MAC answered for too.
int CountIpConflicts(CLanveyDoc& doc)
{
    std::lock_guard guard(g_recordLock);
    int count = 0;
    for (int i = 0; i < doc.GetScanRecordCount(); ++i)
        if (const HostRecord* record = doc.GetScanRecord(i); record && HasIpConflict(*record))
            ++count;
    return count;
}

// What the sweeps have learnt of each address, with the MAC that answered for it.
using HostInfos = QHash<quint32, std::pair<quint64, WatchHostInfo>>;

void PrintEvents(const std::vector<WatchEvent>& events, const HostInfos& hosts, const CNVOUI& oui)
{
    for (const WatchEvent& event : events) {
        // The names the last sweep found belong to the pair it found; another MAC at the
        // address has only its vendor.
        const auto known = hosts.constFind(event.ip);
        const WatchHostInfo info =
            known != hosts.constEnd() && known->first == event.mac
                ? known->second
                : WatchHostInfo{oui.GetManufacturerOf(event.mac), {}, {}, {}};
        const QByteArray line = WatchEventLine(event, info);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
    std::fflush(stdout);
}

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// --watch: a sweep now and every interval, what the link says in between, each event a
// line on standard output, until a stop signal (status 0).
int Watch(const ScanOptions& options, CLanveyDoc& doc, const CNVOUI& oui, HostProbe& probe,
          EventQueue& events)
{
    const ParsedScanTarget target = ParseScanTarget(NormalizeScanTarget(options.target));
    if (!target.Ok()) {
        PrintError(target.error);
        return kExitUsage;
    }
    const quint32 first = IpToHostOrder(target.range.first);
    const auto covered = [first, count = target.range.count](quint32 ip) {
        return IpToHostOrder(ip) - first <= count;
    };

    WatchHistory history(options.goneAfter);
    // The database's MAC of each address is its index; its address of each MAC is the
    // first record that holds the MAC.
    QHash<quint64, quint32> knownIpOfMac;
    for (int i = 0; i < doc.GetDatabaseRecordCount(); ++i)
        if (const DatabaseRecord* record = doc.GetDatabaseRecord(i);
            record && !knownIpOfMac.contains(record->mac | kMacTopBits))
            knownIpOfMac.insert(record->mac | kMacTopBits, record->ip);
    history.SetKnownHosts(
        {[&doc](quint32 ip) -> std::optional<quint64> {
             const DatabaseRecord* record = doc.GetDatabaseRecord(doc.FindDatabaseRecordByIp(ip));
             return record ? std::optional<quint64>(record->mac | kMacTopBits) : std::nullopt;
         },
         [&knownIpOfMac](quint64 mac) -> std::optional<quint32> {
             const auto found = knownIpOfMac.constFind(mac);
             return found == knownIpOfMac.constEnd() ? std::nullopt
                                                     : std::optional<quint32>(found.value());
         }});

    QString listenError;
    const std::unique_ptr<ArpListener> listener = ArpListener::Start(
        first,
        [&events](quint32 ip, quint64 mac) {
            events.Push({Event::Sighting, 0, ip, mac});
        },
        &listenError);
    if (!listener)
        PrintError(
            QStringLiteral("no passive listening (%1): the watch sweeps only").arg(listenError));
    else if (options.verbose)
        PrintError(listener->Description());

    TerminalView view(options.progress);
    CScanJob job(doc, probe, events, view);
    const quint32 threads = options.threads.value_or(StoredThreads());
    HostInfos hosts;
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::seconds(*options.watchSeconds);
    const auto tickPeriod = std::chrono::milliseconds(500);
    auto nextTick = Clock::now() + tickPeriod;
    auto nextSweep = Clock::now();
    bool sweeping = false;
    qint64 sweepStarted = 0;
    bool stopping = false;
    std::optional<Clock::time_point> stopDeadline;

    const auto endSweep = [&] {
        sweeping = false;
        std::vector<HostRecord> found;
        {
            std::lock_guard guard(g_recordLock);
            const int count = std::min(view.RowCount(), doc.GetScanRecordCount());
            for (int i = 0; i < count; ++i) {
                HostRecord* record = doc.GetScanRecord(i);
                doc.CompareWithDatabase(record, i);
                found.push_back(*record);
            }
        }
        // The sweep saw each host some time since it began: a frame heard meanwhile that
        // says otherwise is the newer news.
        const qint64 now = NowMs();
        for (const HostRecord& record : found) {
            hosts.insert(record.ip, {record.mac,
                                     {oui.GetManufacturerOf(record.mac), record.hostName,
                                      record.otherNames, IdentityFlagKeywords(record)}});
            PrintEvents(history.Sight(record.ip, record.mac, sweepStarted), hosts, oui);
        }
        PrintEvents(history.EndSweep(now, covered), hosts, oui);
        if (options.verbose)
            PrintError(QStringLiteral("sweep: %1 hosts").arg(found.size()));
    };

    for (;;) {
        if (!sweeping && !stopping && Clock::now() >= nextSweep) {
            nextSweep = Clock::now() + interval;
            sweepStarted = NowMs();
            history.BeginSweep();
            const ScanStartResult start = job.Start(options.target, threads);
            if (start == ScanStartResult::Abandoned)
                return kExitUsage;
            sweeping = job.IsScanning();
            if (!sweeping)
                PrintEvents(history.EndSweep(NowMs(), covered), hosts, oui);
        }
        auto wake = std::min(nextTick, sweeping ? nextTick : nextSweep);
        if (stopDeadline)
            wake = std::min(wake, *stopDeadline);
        Event event{};
        if (!events.Pop(&event, wake)) {
            if (stopDeadline && Clock::now() >= *stopDeadline)
                std::_Exit(kExitDone); // workers that would not end; every event is out
            if (Clock::now() >= nextTick) {
                if (view.timerRunning)
                    job.OnTimer();
                nextTick = Clock::now() + tickPeriod;
            }
            continue;
        }
        switch (event.kind) {
        case Event::HostAdded:
            job.OnHostAdded();
            break;
        case Event::WorkerDone:
            if (job.OnWorkerDone(event.value)) {
                if (stopping)
                    return kExitDone;
                endSweep();
            }
            break;
        case Event::Sighting:
            if (!stopping && covered(event.ip))
                PrintEvents(history.Sight(event.ip, event.mac, NowMs()), hosts, oui);
            break;
        case Event::Interrupt:
            if (!sweeping || stopping)
                return kExitDone;
            stopping = true;
            stopDeadline = Clock::now() + kStopGrace;
            job.Stop();
            break;
        }
    }
}

int Run(const ScanOptions& options)
{
    const auto started = std::chrono::steady_clock::now();
    EventQueue events;
    SignalWatcher signalWatcher(events);
    SetMessagePrompt(std::make_shared<StderrPrompt>());

    CLanveyDoc doc;
    // Reading the registries takes tens of milliseconds, a good part of a small scan: they
    // are read beside the scan, and waited for where a vendor is first needed.
    CNVOUI vendorTable;
    std::future<bool> vendorTableRead =
        std::async(std::launch::async, [&vendorTable] { return vendorTable.Open(); });
    const auto vendors = [&]() -> const CNVOUI& {
        if (vendorTableRead.valid()) {
            if (!vendorTableRead.get())
                PrintError(
                    QStringLiteral("no vendor table in %1; the Manufacturer column stays empty")
                        .arg(QString::fromLatin1(CNVOUI::kDefaultFolder)));
            doc.SetVendorTable(&vendorTable);
        }
        return vendorTable;
    };

    // The database is only read, never created or changed.
    const QString databasePath = options.databasePath.value_or(DefaultDatabasePath());
    if (options.databasePath || QFileInfo::exists(databasePath)) {
        // A large list takes a while to read; a stop signal meanwhile ends the read.
        const auto stopped = [&signalWatcher] { return signalWatcher.First() != 0; };
        std::vector<std::unique_ptr<DatabaseRecord>> records;
        QString error;
        if (!DatabaseFile::Read(databasePath, records, &error, stopped) && !stopped()) {
            PrintError(error);
            return kExitUsage;
        }
        // One change for the whole list: each append is then a look-up in the
        // address index, not a copy of the list so far.
        doc.BeginDatabaseChange();
        for (std::size_t i = 0; i < records.size() && !(i % 4096 == 0 && stopped()); ++i)
            doc.AppendDatabaseRecord(std::move(records[i]));
        doc.EndDatabaseChange();
        if (options.verbose)
            PrintError(QStringLiteral("%1 known hosts in %2")
                           .arg(doc.GetDatabaseRecordCount())
                           .arg(databasePath));
    }

    HostProbeOptions probeOptions;
    probeOptions.aheadRate = options.gentle ? kGentleRate
                             : options.rate ? *options.rate
                                            : (options.watchSeconds ? kDefaultWatchRate : 0);
    probeOptions.forceKernelPath = options.kernelPath;
    probeOptions.idleWorkers = false;
    const std::unique_ptr<HostProbe> probe = CreateSystemHostProbe(probeOptions);
    if (options.verbose) {
        PrintError(probe->Description());
        if (const QString notice = probe->ResolutionNotice(); !notice.isEmpty())
            PrintError(notice);
        PrintError(QStringLiteral("NetBIOS names read in code page %1").arg(CurrentAnsiCodePage()));
    }

    if (options.watchSeconds) {
        if (signalWatcher.First())
            return kExitDone;
        return Watch(options, doc, vendors(), *probe, events);
    }

    // Stopped before it began: an empty report, no scan.
    if (const int signal = signalWatcher.First()) {
        PrintReport(doc, vendors(), options.format, 0);
        return InterruptedStatus(signal);
    }

    TerminalView view(options.progress);
    int status = kExitDone;
    CScanJob job(doc, *probe, events, view);
    const quint32 threads = options.threads.value_or(StoredThreads());
    const ScanStartResult start = job.Start(options.target, threads);
    if (start == ScanStartResult::Abandoned)
        return kExitUsage; // the parser has printed why
    if (!job.IsScanning())
        return kExitFailed;
    if (options.verbose)
        PrintError(QStringLiteral("%1 workers").arg(g_nScanThreads));

    using Clock = std::chrono::steady_clock;
    const auto tickPeriod = std::chrono::milliseconds(500);
    auto nextTick = Clock::now() + tickPeriod;
    std::optional<Clock::time_point> stopDeadline;
    for (;;) {
        Event event{};
        const auto wake = stopDeadline ? std::min(nextTick, *stopDeadline) : nextTick;
        if (!events.Pop(&event, wake)) {
            if (stopDeadline && Clock::now() >= *stopDeadline) {
                if (options.verbose)
                    PrintError(QStringLiteral("workers still running %1 ms after the stop; "
                                              "leaving without them")
                                   .arg(kStopGrace.count()));
                PrintReport(doc, vendors(), options.format, doc.GetScanRecordCount());
                std::_Exit(status);
            }
            if (Clock::now() >= nextTick) {
                if (view.timerRunning)
                    job.OnTimer();
                nextTick = Clock::now() + tickPeriod;
            }
            continue;
        }
        if (event.kind == Event::HostAdded) {
            job.OnHostAdded();
        } else if (event.kind == Event::WorkerDone) {
            if (job.OnWorkerDone(event.value))
                break;
        } else if (!stopDeadline) {
            stopDeadline = Clock::now() + kStopGrace;
            status = InterruptedStatus(event.value);
            // Stop also ends the workers' waits for a verdict at once.
            job.Stop();
        } else {
            // A second signal does not wait for the workers, but still prints what they
            // have found.
            PrintReport(doc, vendors(), options.format, doc.GetScanRecordCount());
            std::_Exit(status);
        }
    }

    // Every worker has ended and announced its hosts.
    PrintReport(doc, vendors(), options.format, view.RowCount());
    if (const int conflicts = CountIpConflicts(doc); conflicts > 0)
        PrintError(FormatLangStringA(0xF2E0,
                                     "%d_COUNT% hosts share their IP address with another MAC "
                                     "address (IP address conflict).",
                                     {conflicts}));
    // The lists are IPv4 lists: a host seen only over IPv6 is counted, and listed when
    // asked, by its MAC.
    if (const std::vector<Ipv6Sighting>& only = job.Ipv6OnlyHosts(); !only.empty()) {
        std::vector<quint64> macs;
        for (const Ipv6Sighting& seen : only)
            if (std::find(macs.begin(), macs.end(), seen.mac) == macs.end())
                macs.push_back(seen.mac);
        PrintError(FormatLangStringA(0xF338, "%d_COUNT% hosts answered only over IPv6.",
                                     {int(macs.size())}));
        if (options.verbose)
            for (const Ipv6Sighting& seen : only)
                PrintError(QStringLiteral("IPv6 only: %1 %2")
                               .arg(FormatMacAddress(seen.mac), Ipv6Text(seen.address)));
    }
    if (options.verbose) {
        if (const QString summary = probe->ScanSummary(); !summary.isEmpty())
            PrintError(summary);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        PrintError(QStringLiteral("%1 hosts in %2 s")
                       .arg(std::min(view.RowCount(), doc.GetScanRecordCount()))
                       .arg(seconds, 0, 'f', 3));
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread exists, so that every thread inherits the mask.
    const sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    ScanOptions options;
    QString error;
    switch (ParseScanOptions(arguments, &options, &error)) {
    case ScanCommand::Help:
        std::fputs(ScanHelpText().toLocal8Bit().constData(), stdout);
        return kExitDone;
    case ScanCommand::Version:
        std::printf("lanvey-scan %s\n", LANVEY_VERSION);
        return kExitDone;
    case ScanCommand::Error:
        PrintError(error);
        std::fprintf(stderr, "%s\n", ScanUsageLine().toLocal8Bit().constData());
        return kExitUsage;
    case ScanCommand::Scan:
        break;
    }
    // Hosts of the user's language name themselves in its ANSI code page.
    SetAnsiCodePage(ScanAnsiCodePage(qEnvironmentVariable("LC_ALL"),
                                     qEnvironmentVariable("LC_CTYPE"),
                                     qEnvironmentVariable("LANG")));
    return Run(options);
}
