// How the UI thread keeps up with a large scan: the real main window, offscreen, with the
// system probe, scans a target through the Start command and reports as one JSON line
//   - maxStallMs: the longest a ping posted to the UI thread waited to be handled (a
//     watchdog thread posts one every 5 ms while none is outstanding);
//   - lastHostToDoneMs: from the last new row the scan list took to the completion text
//     "Found N hosts." in status pane 1;
//   - maxStallRunMs, maxStallQueuedMs, maxStallStealMs: of the longest stall, how long
//     the UI thread ran on a processor, how long it waited in a run queue for one
//     (schedstat), and the time a hypervisor took the machine's processors away meanwhile
//     (steal in /proc/stat, summed over the processors), which no program can help;
//   - maxStallNoStealMs: the longest stall during which no processor was stolen;
//   - maxStallHeldMs, maxStallNoHoldMs, longestHoldMs: the machine's own holds, seen by
//     a real-time thread on each processor that wakes every millisecond. No thread of
//     normal priority can delay it, so when it wakes late (over 2 ms), the processor was
//     not the system's to give: a hypervisor had it, or the kernel with preemption off.
//     Of the longest stall, the longest any one processor was held during it; the
//     longest stall during which no processor was held; and the longest hold of the run.
//     They are -1 where real-time priority is refused (not root).
//   - hosts, scanMs, the ping count and the process's peak resident size.
//
// It scans for real, so it refuses to run anywhere but in the test LAN's scanner
// namespace and on any target outside 198.18.0.0/15 (bench/ui_stall drives it there).
//
//   lanvey_ui_stall [--target 198.18.4.0/22] [--threads 100] [--timeout-ms 120000]
//                   [--db-records N] [--stall-stacks]
//
// --db-records N fills the database list with N records outside the lab (10.x.y.z, MACs
// no lab host has), so that every drawn cell of the scan list walks that many records.

#include "app/ProfileSettings.h"
#include "records/DatabaseRecord.h"
#include "records/LanveyDoc.h"
#include "scan/HostProbe.h"
#include "scan/ScanProgress.h"
#include "scan/ScanTarget.h"
#include "support/AddressText.h"
#include "support/LocalAdapters.h"
#include "ui/commands/CommandIds.h"
#include "ui/frame/CLanveyView.h"
#include "ui/frame/CMainFrame.h"
#include "ui/lists/CScanSession.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cxxabi.h>
#include <execinfo.h>
#include <map>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace
{

constexpr quint32 kLabFirst = 0xC6120000u; // 198.18.0.0, host order
constexpr quint32 kLabLast = 0xC613FFFFu;  // 198.19.255.255
constexpr const char* kLabScannerIp = "198.18.0.254";

bool InLab(quint64 hostOrder)
{
    return hostOrder >= kLabFirst && hostOrder <= kLabLast;
}

// Sees every event the UI thread delivers, to note when the scan list last grew.
class WatchedApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool result = QApplication::notify(receiver, event);
        if (m_pScanView && QThread::currentThread() == thread()) {
            const int rows = m_pScanView->RowCount();
            if (rows > m_rows) {
                m_rows = rows;
                m_lastRowAtNs = m_clock.nsecsElapsed();
            }
        }
        return result;
    }

    void Watch(CScanSession* view, const QElapsedTimer& clock)
    {
        m_pScanView = view;
        m_clock = clock;
        m_rows = view->RowCount();
        m_lastRowAtNs = -1;
    }
    qint64 LastRowAtNs() const { return m_lastRowAtNs; }

private:
    CScanSession* m_pScanView = nullptr;
    QElapsedTimer m_clock;
    int m_rows = 0;
    qint64 m_lastRowAtNs = -1;
};

// Posts a ping to the UI thread every 5 ms while none is outstanding and keeps the
// round-trip delays.
// What the UI thread is doing while a ping waits: a signal to the thread every few
// milliseconds of a stall, whose handler keeps the thread's stack. After the run, the
// frames most often on those stacks are printed (--stall-stacks).
struct StallSamples {
    static constexpr int kMax = 4096, kDepth = 24;
    std::array<std::array<void*, kDepth>, kMax> frames{};
    std::array<int, kMax> depth{};
    std::atomic<int> count{0};
};
StallSamples g_stallSamples;

void TakeStallSample(int)
{
    const int at = g_stallSamples.count.load();
    if (at >= StallSamples::kMax)
        return;
    g_stallSamples.depth[size_t(at)] =
        backtrace(g_stallSamples.frames[size_t(at)].data(), StallSamples::kDepth);
    g_stallSamples.count.store(at + 1);
}

void PrintStallStacks()
{
    std::map<std::string, int> frames; // a function, how many samples hold it
    const int samples = g_stallSamples.count.load();
    for (int i = 0; i < samples; ++i) {
        char** names = backtrace_symbols(g_stallSamples.frames[size_t(i)].data(),
                                         g_stallSamples.depth[size_t(i)]);
        std::set<std::string> once;
        for (int f = 2; names && f < g_stallSamples.depth[size_t(i)]; ++f) {
            std::string name = names[f];
            const auto open = name.find('('), plus = name.find('+', open);
            if (open != std::string::npos && plus != std::string::npos && plus > open + 1) {
                const std::string mangled = name.substr(open + 1, plus - open - 1);
                int status = 0;
                char* plain = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
                name = status == 0 && plain ? std::string(plain).substr(0, 160) : mangled;
                std::free(plain);
            }
            if (once.insert(name).second)
                ++frames[name];
        }
        std::free(names);
    }
    std::vector<std::pair<int, std::string>> ranked;
    for (const auto& [name, n] : frames)
        ranked.emplace_back(n, name);
    std::sort(ranked.rbegin(), ranked.rend());
    std::fprintf(stderr, "stall samples: %d\n", samples);
    for (size_t i = 0; i < ranked.size() && i < 40; ++i)
        std::fprintf(stderr, "%5d  %s\n", ranked[i].first, ranked[i].second.c_str());
}

// The calling thread's (or `tid`'s) time on a processor and in a run queue, in ns.
std::pair<qint64, qint64> SchedStat(pid_t tid = 0)
{
    const std::string path = tid ? "/proc/self/task/" + std::to_string(tid) + "/schedstat"
                                 : "/proc/thread-self/schedstat";
    long long run = 0, queued = 0;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
        if (std::fscanf(file, "%lld %lld", &run, &queued) != 2)
            run = queued = 0;
        std::fclose(file);
    }
    return {run, queued};
}

// Processor time the hypervisor has taken from this machine, summed over its processors,
// in ms (USER_HZ ticks of /proc/stat).
qint64 StealMs()
{
    long long fields[8] = {};
    if (FILE* file = std::fopen("/proc/stat", "r")) {
        if (std::fscanf(file, "cpu %lld %lld %lld %lld %lld %lld %lld %lld", &fields[0], &fields[1],
                        &fields[2], &fields[3], &fields[4], &fields[5], &fields[6],
                        &fields[7]) != 8)
            fields[7] = 0;
        std::fclose(file);
    }
    return fields[7] * 1000 / sysconf(_SC_CLK_TCK);
}

class Watchdog
{
public:
    Watchdog(QObject* uiObject, const QElapsedTimer& clock, bool sample)
        : m_pUi(uiObject), m_clock(clock), m_ui(pthread_self()), m_uiTid(gettid()), m_sample(sample)
    {
        if (sample) {
            void* warm[4];
            backtrace(warm, 4); // loads the unwinder before any signal needs it
            std::signal(SIGPROF, TakeStallSample);
        }
        m_thread = std::thread([this] { Run(); });
    }
    ~Watchdog() { Stop(); }

    void Stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    // UI thread only, after Stop.
    const std::vector<double>& DelaysMs() const { return m_delaysMs; }
    const std::vector<qint64>& SentNs() const { return m_sentAtNs; }
    double MaxAtMs() const { return m_maxAtMs; }
    std::pair<double, double> MaxRunAndQueuedMs() const { return m_maxRunQueuedMs; }
    double MaxStealMs() const { return m_maxStealMs; }
    double MaxWithoutStealMs() const { return m_maxWithoutStealMs; }

private:
    void Run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            // A ping that has waited 30 ms is a stall in the making: look at the UI thread.
            if (m_outstanding && m_sample && m_clock.nsecsElapsed() - m_sentNs > 30'000'000)
                pthread_kill(m_ui, SIGPROF);
            if (!m_outstanding) {
                m_outstanding = true;
                const auto sentStat = SchedStat(m_uiTid);
                const qint64 sentSteal = StealMs();
                const qint64 sent = m_clock.nsecsElapsed();
                m_sentNs = sent;
                QMetaObject::invokeMethod(
                    m_pUi,
                    [this, sent, sentStat, sentSteal] {
                        const qint64 now = m_clock.nsecsElapsed();
                        const double delay = double(now - sent) / 1e6;
                        const qint64 steal = StealMs() - sentSteal;
                        if (steal == 0)
                            m_maxWithoutStealMs = std::max(m_maxWithoutStealMs, delay);
                        if (m_delaysMs.empty() ||
                            delay > *std::max_element(m_delaysMs.begin(), m_delaysMs.end())) {
                            m_maxAtMs = double(sent) / 1e6;
                            const auto stat = SchedStat();
                            m_maxRunQueuedMs = {double(stat.first - sentStat.first) / 1e6,
                                                double(stat.second - sentStat.second) / 1e6};
                            m_maxStealMs = double(steal);
                        }
                        m_delaysMs.push_back(delay);
                        m_sentAtNs.push_back(sent);
                        std::lock_guard guard(m_mutex);
                        m_outstanding = false;
                    },
                    Qt::QueuedConnection);
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(5), [this] { return m_stop; });
        }
    }

    QObject* m_pUi;
    QElapsedTimer m_clock;
    pthread_t m_ui;
    pid_t m_uiTid;
    bool m_sample = false;
    qint64 m_sentNs = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_outstanding = false;
    std::vector<double> m_delaysMs;               // UI thread
    std::vector<qint64> m_sentAtNs;               // UI thread, beside m_delaysMs
    double m_maxAtMs = 0;                         // UI thread
    std::pair<double, double> m_maxRunQueuedMs{}; // UI thread
    double m_maxStealMs = 0;                      // UI thread
    double m_maxWithoutStealMs = 0;               // UI thread
    std::thread m_thread;
};

// See the file's head: a real-time thread on each processor, recording when it woke late.
class MachineProbe
{
public:
    static constexpr qint64 kTickNs = 1'000'000, kLateNs = 2'000'000;

    explicit MachineProbe(const QElapsedTimer& clock) : m_clock(clock)
    {
        const int processors = std::max(1, int(sysconf(_SC_NPROCESSORS_ONLN)));
        m_holds.resize(size_t(processors));
        m_refused = false;
        for (int cpu = 0; cpu < processors; ++cpu)
            m_threads.emplace_back([this, cpu] { Run(cpu); });
    }
    ~MachineProbe() { Stop(); }

    void Stop()
    {
        m_stop = true;
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

    // After Stop.
    bool Refused() const { return m_refused; }
    // The longest time one processor was held within [fromNs, toNs], in ms.
    double HeldMs(qint64 fromNs, qint64 toNs) const
    {
        qint64 longest = 0;
        for (const auto& holds : m_holds) {
            qint64 held = 0;
            for (const auto& [from, to] : holds)
                held += std::max<qint64>(0, std::min(to, toNs) - std::max(from, fromNs));
            longest = std::max(longest, held);
        }
        return double(longest) / 1e6;
    }
    double LongestHoldMs() const
    {
        qint64 longest = 0;
        for (const auto& holds : m_holds)
            for (const auto& [from, to] : holds)
                longest = std::max(longest, to - from);
        return double(longest) / 1e6;
    }

private:
    void Run(int cpu)
    {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        sched_param lowest{};
        lowest.sched_priority = sched_get_priority_min(SCHED_FIFO);
        if (sched_setaffinity(0, sizeof set, &set) != 0 ||
            sched_setscheduler(0, SCHED_FIFO, &lowest) != 0) {
            m_refused = true;
            return;
        }
        auto& holds = m_holds[size_t(cpu)];
        const timespec tick{0, kTickNs};
        while (!m_stop) {
            const qint64 due = m_clock.nsecsElapsed() + kTickNs;
            clock_nanosleep(CLOCK_MONOTONIC, 0, &tick, nullptr);
            const qint64 woke = m_clock.nsecsElapsed();
            if (woke - due > kLateNs)
                holds.emplace_back(due, woke);
        }
    }

    QElapsedTimer m_clock;
    std::vector<std::vector<std::pair<qint64, qint64>>> m_holds; // each its thread's
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_refused{false};
};

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size())));
    return values[index];
}

} // namespace

static long PeakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    WatchedApplication application(argc, argv);

    QString targetText = QStringLiteral("198.18.4.0/22");
    int threads = 100;
    int timeoutMs = 120000;
    int dbRecords = 0;
    bool stallStacks = false;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--target") && hasValue)
            targetText = args[++i];
        else if (args[i] == QLatin1String("--threads") && hasValue)
            threads = args[++i].toInt();
        else if (args[i] == QLatin1String("--timeout-ms") && hasValue)
            timeoutMs = args[++i].toInt();
        else if (args[i] == QLatin1String("--stall-stacks"))
            stallStacks = true;
        else if (args[i] == QLatin1String("--db-records") && hasValue)
            dbRecords = std::clamp(args[++i].toInt(), 0, 1 << 22);
        else {
            std::fprintf(stderr, "usage: lanvey_ui_stall [--target T] [--threads N] "
                                 "[--timeout-ms MS] [--db-records N] [--stall-stacks]\n");
            return 2;
        }
    }

    // Only the lab: the scanner namespace has the lab scanner's address, and the target
    // must lie inside the lab's range.
    ScanTargetRange range;
    const QString normalized = NormalizeScanTarget(targetText);
    const ParsedScanTarget parsedTarget = ParseScanTarget(normalized);
    const bool parsed = parsedTarget.Ok();
    range = parsedTarget.range;
    const quint64 first = IpToHostOrder(range.first);
    if (!parsed || !InLab(quint32(first)) || first + range.count > kLabLast) {
        std::fprintf(stderr, "lanvey_ui_stall: %s is not a target inside 198.18.0.0/15\n",
                     qPrintable(targetText));
        return 2;
    }
    const std::optional<std::vector<AdapterAddress>> adapters = QueryLocalAdapters();
    const quint32 scannerIp = GetIpAddress(QString::fromLatin1(kLabScannerIp));
    if (!adapters || std::none_of(adapters->begin(), adapters->end(),
                                  [&](const AdapterAddress& a) { return a.ip == scannerIp; })) {
        std::fprintf(stderr,
                     "lanvey_ui_stall: not in the test LAN's scanner namespace "
                     "(no %s here); run it with lab/lab exec\n",
                     kLabScannerIp);
        return 2;
    }

    // A profile of its own: only "Threads" is set.
    QTemporaryDir profile;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
    WriteProfileInt(QStringLiteral("Threads"), threads);

    CLanveyDoc doc;
    doc.BeginDatabaseChange(); // as an import fills it: one change
    for (int i = 0; i < dbRecords; ++i) {
        auto record = std::make_unique<DatabaseRecord>();
        const quint32 host = 0x0A000000u + quint32(i) + 1; // 10.0.0.1 upwards
        record->ip = IpToHostOrder(host);                  // the same swap both ways
        // 02:DB:xx:xx:xx:xx, locally administered, first octet lowest.
        record->mac = 0xFFFF000000000000ull | quint64(host) << 16 | 0xDB02u;
        record->hostName = QStringLiteral("KNOWN-%1").arg(i);
        record->workgroup = QStringLiteral("ARCHIVE");
        doc.AppendDatabaseRecord(std::move(record));
    }
    doc.EndDatabaseChange();
    int exitCode = 0;
    {
        FrameEnvironment env;
        env.probe = std::shared_ptr<HostProbe>(CreateSystemHostProbe());
        env.adapters = [adapters] { return adapters; };
        env.openUrl = [](const QUrl&) { return true; };
        CMainFrame frame(doc, env);
        frame.resize(1280, 760);
        frame.show();
        QApplication::processEvents();

        CScanSession* view = &frame.ScanSession();
        frame.TargetCombo()->setEditText(targetText);

        QElapsedTimer clock;
        clock.start();
        application.Watch(view, clock);
        qint64 doneAtNs = -1;
        QString doneText;
        QObject::connect(view, &CScanSession::scanCompleted, &frame, [&] {
            doneAtNs = clock.nsecsElapsed();
            doneText = frame.StatusPane(1)->text();
            QCoreApplication::exit(0);
        });
        QTimer::singleShot(timeoutMs, &frame, [] { QCoreApplication::exit(1); });

        MachineProbe machine(clock);
        Watchdog watchdog(&frame, clock, stallStacks);
        const qint64 startAtNs = clock.nsecsElapsed();
        if (!frame.RouteCommand(ID_SCAN_START)) {
            std::fprintf(stderr, "lanvey_ui_stall: the Start command is disabled\n");
            return 1;
        }
        const int loop = QApplication::exec();
        watchdog.Stop();
        machine.Stop();
        // Pings still queued are the UI thread's to run.
        QApplication::processEvents();

        const int hosts = view->RowCount();
        const QString expected = ScanFoundText(hosts);
        if (loop != 0 || doneAtNs < 0) {
            std::fprintf(stderr, "lanvey_ui_stall: the scan did not end within %d ms\n", timeoutMs);
            exitCode = 1;
        } else if (doneText != expected) {
            std::fprintf(stderr, "lanvey_ui_stall: pane 1 says \"%s\", not \"%s\"\n",
                         qPrintable(doneText), qPrintable(expected));
            exitCode = 1;
        }
        const std::vector<double>& delays = watchdog.DelaysMs();
        double maxHeldMs = -1, maxNoHoldMs = -1, maxNoHoldAtMs = -1, longestHoldMs = -1;
        if (!machine.Refused()) {
            const std::vector<qint64>& sent = watchdog.SentNs();
            size_t longest = 0;
            maxNoHoldMs = 0;
            for (size_t i = 0; i < delays.size(); ++i) {
                const double held = machine.HeldMs(sent[i], sent[i] + qint64(delays[i] * 1e6));
                if (held == 0 && delays[i] > maxNoHoldMs) {
                    maxNoHoldMs = delays[i];
                    maxNoHoldAtMs = double(sent[i] - startAtNs) / 1e6;
                }
                if (delays[i] > delays[longest])
                    longest = i;
            }
            maxHeldMs =
                delays.empty()
                    ? 0
                    : machine.HeldMs(sent[longest], sent[longest] + qint64(delays[longest] * 1e6));
            longestHoldMs = machine.LongestHoldMs();
        }
        const qint64 lastRowAtNs = application.LastRowAtNs();
        std::printf("{\"target\": \"%s\", \"threads\": %d, \"hosts\": %d, \"scanMs\": %.1f, "
                    "\"maxStallMs\": %.2f, \"maxStallAtMs\": %.1f, \"maxStallRunMs\": %.2f, "
                    "\"maxStallQueuedMs\": %.2f, \"maxStallStealMs\": %.0f, "
                    "\"maxStallNoStealMs\": %.2f, \"maxStallHeldMs\": %.2f, "
                    "\"maxStallNoHoldMs\": %.2f, \"maxStallNoHoldAtMs\": %.1f, \"longestHoldMs\": "
                    "%.2f, \"p99StallMs\": %.2f, "
                    "\"pings\": %zu, \"lastHostToDoneMs\": %.2f, \"dbRecords\": %d, "
                    "\"peakRssKb\": %ld}\n",
                    qPrintable(targetText), threads, hosts, double(doneAtNs - startAtNs) / 1e6,
                    delays.empty() ? 0.0 : *std::max_element(delays.begin(), delays.end()),
                    watchdog.MaxAtMs() - double(startAtNs) / 1e6,
                    watchdog.MaxRunAndQueuedMs().first, watchdog.MaxRunAndQueuedMs().second,
                    watchdog.MaxStealMs(), watchdog.MaxWithoutStealMs(), maxHeldMs, maxNoHoldMs,
                    maxNoHoldAtMs, longestHoldMs, Percentile(delays, 0.99), delays.size(),
                    lastRowAtNs < 0 ? -1.0 : double(doneAtNs - lastRowAtNs) / 1e6, dbRecords,
                    PeakRssKb());
        std::fflush(stdout);
        if (stallStacks)
            PrintStallStacks();
        frame.close();
    }
    doc.DeleteContents();
    return exitCode;
}
