#include "app/CrashReporter.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr std::array kSignals = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};
constexpr size_t kTextLength = 1024;
constexpr int kMaxFrames = 64;

// Everything the handler reads is prepared here beforehand: a signal handler may not
// allocate, lock or call anything that does.
struct Registration {
    char folder[kTextLength] = {};
    char title[kTextLength] = {};
    char support[kTextLength] = {};
    struct sigaction previous[kSignals.size()] = {};
};

Registration g_registration;
std::atomic<int> g_handle{0};
std::atomic<int> g_lastHandle{0};
volatile sig_atomic_t g_crashing = 0;
// Room for the handler when the crash is a stack overflow.
alignas(16) char g_altStack[64 * 1024];

bool CopyText(char (&to)[kTextLength], const char* from)
{
    const char* text = from ? from : "";
    const size_t length = std::strlen(text);
    if (length >= kTextLength)
        return false;
    std::memcpy(to, text, length + 1);
    return true;
}

const char* SignalName(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    default:
        return "signal";
    }
}

// The building blocks of the report, all async-signal-safe.
struct Writer {
    char* buffer;
    size_t size;
    size_t used = 0;

    void Add(const char* text)
    {
        while (*text && used + 1 < size)
            buffer[used++] = *text++;
        buffer[used] = '\0';
    }
    void AddNumber(unsigned long long value)
    {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = char('0' + value % 10);
            value /= 10;
        } while (value != 0);
        char text[24];
        for (int i = 0; i < n; ++i)
            text[i] = digits[n - 1 - i];
        text[n] = '\0';
        Add(text);
    }
};

void WriteAll(int fd, const char* text)
{
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = ::write(fd, text, left);
        if (written <= 0)
            return;
        text += written;
        left -= size_t(written);
    }
}

void OnCrash(int sig)
{
    if (!g_crashing) {
        g_crashing = 1;
        const Registration& reg = g_registration;
        ::mkdir(reg.folder, 0700);

        char path[kTextLength + 64];
        Writer name{path, sizeof path};
        name.Add(reg.folder);
        if (reg.folder[0] != '\0' && reg.folder[std::strlen(reg.folder) - 1] != '/')
            name.Add("/");
        name.Add("crash-");
        name.AddNumber(static_cast<unsigned long long>(::time(nullptr)));
        name.Add("-");
        name.AddNumber(static_cast<unsigned long long>(::getpid()));
        name.Add(".txt");

        const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            char head[4 * kTextLength];
            Writer text{head, sizeof head};
            text.Add(reg.title);
            text.Add("\nProcess: ");
            text.AddNumber(static_cast<unsigned long long>(::getpid()));
            text.Add("\nSignal: ");
            text.Add(SignalName(sig));
            text.Add(" (");
            text.AddNumber(static_cast<unsigned long long>(sig));
            text.Add(")\nPlease send this report to: ");
            text.Add(reg.support);
            text.Add("\nBacktrace:\n");
            WriteAll(fd, head);
            void* frames[kMaxFrames];
            const int count = ::backtrace(frames, kMaxFrames);
            ::backtrace_symbols_fd(frames, count, fd);
            ::close(fd);
        }
    }
    // Hand the signal to whatever handled it before: by default that ends the process.
    for (size_t i = 0; i < kSignals.size(); ++i) {
        if (kSignals[i] == sig)
            ::sigaction(sig, &g_registration.previous[i], nullptr);
    }
    ::raise(sig);
}

} // namespace

NVCrashReportHandle NVCR_Install(void* reserved, const char* supportAddress, const char* title,
                                 const char* reportFolder, int enable)
{
    if (reserved || !enable)
        return 0;
    if (g_handle.load() != 0)
        NVCR_Uninstall(g_handle.load());

    Registration reg;
    if (!CopyText(reg.folder, reportFolder) || !CopyText(reg.title, title) ||
        !CopyText(reg.support, supportAddress))
        return 0;
    std::memcpy(g_registration.folder, reg.folder, sizeof reg.folder);
    std::memcpy(g_registration.title, reg.title, sizeof reg.title);
    std::memcpy(g_registration.support, reg.support, sizeof reg.support);

    // The first backtrace() loads the unwinder, which allocates; do it now, not in the
    // handler.
    void* frame[1];
    ::backtrace(frame, 1);

    stack_t altStack{};
    altStack.ss_sp = g_altStack;
    altStack.ss_size = sizeof g_altStack;
    ::sigaltstack(&altStack, nullptr);

    struct sigaction action {
    };
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_registration.previous[i]);

    g_crashing = 0;
    const int handle = ++g_lastHandle;
    g_handle = handle;
    return handle;
}

bool NVCR_SetReportFolder(NVCrashReportHandle handle, const char* reportFolder)
{
    if (handle == 0 || handle != g_handle.load())
        return false;
    char folder[kTextLength];
    if (!CopyText(folder, reportFolder))
        return false;
    std::memcpy(g_registration.folder, folder, sizeof folder);
    return true;
}

void NVCR_Uninstall(NVCrashReportHandle handle)
{
    if (handle == 0 || handle != g_handle.load())
        return;
    for (size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_registration.previous[i], nullptr);
    g_handle = 0;
}
