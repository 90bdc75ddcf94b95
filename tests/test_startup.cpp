// Start-up: the four modes (installer, uninstaller, second instance, normal start), the
// folders, the settings file and what start-up leaves for the rest of the program.

#include "StartupTestUtil.h"
#include "app/LanguageRegistration.h"
#include "app/NVUpdate.h"
#include "app/ToolRegistry.h"
#include "lang/LangString.h"
#include "scan/ScanJob.h"
#include "support/AddressText.h"
#include "support/ConfigFile.h"
#include "support/NVBase64.h"

#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTimer>
#include <QUrlQuery>
#include <cstring>
#include <poll.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

std::unique_ptr<QSettings> MachineSettings()
{
    return std::make_unique<QSettings>(QSettings::SystemScope, QStringLiteral("Norvane"));
}

std::unique_ptr<QSettings> UserSettings(const QString& application = {})
{
    auto settings =
        std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("Norvane"), application);
    settings->setFallbacksEnabled(false);
    return settings;
}

// ---------------------------------------------------------------------------------------
// Installer

using StartupRegister = StartupSandbox;

TEST_F(StartupRegister, StoresTheInstallersLanguage)
{
    struct Case {
        QStringList arguments;
        QString stored;
    };
    const Case cases[] = {
        {{"/Register"}, "en_us"},
        {{"/Register", "/lan"}, "en_us"}, // fewer than four items
        {{"/Register", "/lan", "ZH_CN"}, "zh_cn"},
        {{"-REGSERVER", "/LAN", "De_DE"}, "de_de"},
        {{"/regserver", "ZH_TW", "more"}, "ZH_TW"}, // a bare code is stored as given
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        EXPECT_FALSE(app.InitInstance(Args(c.arguments), Factory(calls)));
        EXPECT_EQ(app.GetMode(), CLanveyApp::Mode::Register);
        EXPECT_EQ(NVMUI_GetUserLanguage(), c.stored);
        app.ExitInstance();
    }
    EXPECT_EQ(m_windowsCreated, 0);
    // The installer's run goes on to load the language, and this program folder has no
    // modules: that is the only complaint.
    for (const QString& text : prompt->Texts())
        EXPECT_TRUE(text.startsWith("Couldn't Load Resource File")) << text.toStdString();

    // The language folder is registered machine-wide, below the shared folder.
    auto machine = MachineSettings();
    machine->beginGroup("mui/" + NVMUI_GetNVCurAppPath());
    EXPECT_EQ(machine->value("Path").toString(), Path("common/Norvane Shared/mui"));
    EXPECT_EQ(machine->value("DefaultLanguage").toString(), "en_us");
    EXPECT_TRUE(QFileInfo::exists(DataFolder()));
}

TEST_F(StartupRegister, ReportsALanguageThatCannotBeStored)
{
    // The per-user settings folder lies below a plain file, so nothing can be written.
    WriteFile(Path("blocker"), "x");
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, Path("blocker/user"));

    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    EXPECT_FALSE(app.InitInstance(Args({"/Register", "/lan", "fr_fr"}), Factory(calls)));
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text, "WriteUserLanguage (fr_fr) failed.");
    EXPECT_EQ(prompt->shown[0].buttons, PromptButtons::Ok);
}

TEST_F(StartupRegister, RegistersTheToolAndTheAutomaticCheckOnlyWhenAsked)
{
    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        app.InitInstance(Args({"/Register"}), Factory(calls));
    }
    auto machine = MachineSettings();
    EXPECT_FALSE(machine->childGroups().contains("Tools"));
    EXPECT_FALSE(QFileInfo::exists(SettingsFile()));

    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        app.InitInstance(Args({"/Register", "/lan", "en_us", "/RegTool", "/AutoCheckUpdate"}),
                         Factory(calls));
    }
    machine->sync();
    machine->beginGroup(QStringLiteral("Tools/") + kLanveyToolId);
    EXPECT_EQ(machine->value("Name").toString(), "Lanvey");
    EXPECT_EQ(machine->value("Path").toString(), options.programFile);
    machine->endGroup();

    // The file is in our encoding: CConfigFile reads it, the value is not in plain text.
    CConfigFile settings;
    ASSERT_TRUE(settings.ReadEncoded(SettingsFile()));
    EXPECT_EQ(settings.GetValue("Settings", "EnableAutoCheckUpdate"), "1");
    EXPECT_FALSE(ReadFile(SettingsFile()).contains("=1"));

    // ...and the next start has the check on.
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    EXPECT_TRUE(app.m_bAutoCheckUpdate);
}

TEST_F(StartupRegister, BringsThePreviousDatabaseAlongButNeverOverwritesOne)
{
    const QString previous = Path("appdata/Norvane Lanvey 2.1/Database.lvdat");
    const QString current = DataFolder() + "Database.lvdat";
    WriteFile(previous, "previous version's hosts");

    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        app.InitInstance(Args({"/Register"}), Factory(calls));
    }
    EXPECT_EQ(ReadFile(current), "previous version's hosts");

    WriteFile(current, "this version's hosts");
    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        app.InitInstance(Args({"/Register"}), Factory(calls));
    }
    EXPECT_EQ(ReadFile(current), "this version's hosts");
}

// ---------------------------------------------------------------------------------------
// Uninstaller

class StartupUnregister : public StartupSandbox
{
protected:
    // What an installed program leaves behind.
    void Install()
    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        app.InitInstance(Args({"/Register", "/lan", "zh_cn", "/regtool"}), Factory(calls));
        app.ExitInstance();
        CLanveyApp::OpenProfile()->setValue("Settings/General/Threads", 40);
        UserSettings("NVUPDATE")->setValue("Lanvey/Version", "2.2.1.315");
        UserSettings("NVUPDATE")->setValue("Other/Version", "1.0");
        ASSERT_TRUE(QFileInfo::exists(Path("applications/lanvey.desktop")));
        prompt->shown.clear();
    }

    void ExpectUninstalled()
    {
        EXPECT_FALSE(QFileInfo::exists(Path("applications/lanvey.desktop")));
        EXPECT_FALSE(
            MachineSettings()->contains(QStringLiteral("Tools/") + kLanveyToolId + "/Path"));
        const QString mui = "mui/" + NVMUI_GetNVCurAppPath();
        EXPECT_FALSE(MachineSettings()->contains(mui + "/Path"));
        EXPECT_FALSE(UserSettings()->contains(mui + "/Language"));
        EXPECT_FALSE(CLanveyApp::OpenProfile()->contains("Settings/General/Threads"));
        EXPECT_FALSE(UserSettings("NVUPDATE")->contains("Lanvey/Version"));
        // Other products' registrations stay.
        EXPECT_TRUE(UserSettings("NVUPDATE")->contains("Other/Version"));
    }

    RecordingStartupUi ui;
};

TEST_F(StartupUnregister, WithoutARunningInstanceRemovesEverythingAtOnce)
{
    Install();
    options.waitStepMs = 500;
    CLanveyApp app(options);
    QElapsedTimer elapsed;
    elapsed.start();
    RecordingMainWindow::Calls calls;
    EXPECT_TRUE(app.InitInstance(Args({"/UnRegServer", "/unregtool"}), Factory(calls), &ui));
    EXPECT_LT(elapsed.elapsed(), 400);
    EXPECT_EQ(app.GetMode(), CLanveyApp::Mode::Unregister);
    EXPECT_EQ(app.GetMainWindow(), nullptr);
    EXPECT_EQ(ui.shown, 0);
    EXPECT_TRUE(prompt->shown.empty());
    ExpectUninstalled();
}

TEST_F(StartupUnregister, KeepsTheToolRegistrationWithoutUnregtool)
{
    Install();
    CLanveyApp app(options);
    RecordingMainWindow::Calls calls;
    EXPECT_TRUE(app.InitInstance(Args({"-unregister"}), Factory(calls), &ui));
    EXPECT_TRUE(MachineSettings()->contains(QStringLiteral("Tools/") + kLanveyToolId + "/Path"));
    EXPECT_FALSE(QFileInfo::exists(Path("applications/lanvey.desktop")));
}

TEST_F(StartupUnregister, ClosesTheRunningInstanceAndWaitsForItToEnd)
{
    Install();
    RecordingMainWindow::Calls running;
    CLanveyApp first(options);
    // The real frame's close ends the event loop and then the process; here the first
    // instance ends on the next turn of the loop.
    ASSERT_TRUE(first.InitInstance(Args({}), Factory(running, [&first] {
                                       QTimer::singleShot(0, [&first] { first.ExitInstance(); });
                                   })));

    CLanveyApp uninstaller(options);
    RecordingMainWindow::Calls unused;
    EXPECT_TRUE(
        uninstaller.InitInstance(Args({"/Unregister", "/unregtool"}), Factory(unused), &ui));

    EXPECT_EQ(running.closed, 1);
    EXPECT_EQ(running.shown, 0);
    EXPECT_TRUE(running.destroyed);
    EXPECT_EQ(ui.shown, 1);
    EXPECT_EQ(ui.hidden, 1);
    EXPECT_EQ(ui.caption, "Norvane Lanvey");
    EXPECT_EQ(ui.text, "Stopping Norvane Lanvey instance, please waiting...");
    EXPECT_EQ(m_windowsCreated, 1);
    ExpectUninstalled();

    // The lock passed to the uninstaller: a start now is a later instance.
    CLanveyApp late(options);
    EXPECT_FALSE(late.InitInstance(Args({}), Factory(unused)));
    EXPECT_EQ(late.GetMode(), CLanveyApp::Mode::SecondInstance);
}

TEST_F(StartupUnregister, GivesUpLookingForAnInstanceThatNeverAnswers)
{
    Install();
    // Another process holds the lock but has no window (it is still starting, say).
    QLockFile other(options.instanceLockPath);
    ASSERT_TRUE(other.tryLock(0));
    options.unregisterFindAttempts = 3;

    CLanveyApp app(options);
    RecordingMainWindow::Calls calls;
    EXPECT_TRUE(app.InitInstance(Args({"/Unregister", "/unregtool"}), Factory(calls), &ui));
    EXPECT_EQ(ui.shown, 1);
    EXPECT_EQ(ui.hidden, 1);
    ExpectUninstalled();
}

// ---------------------------------------------------------------------------------------
// Second instance

using StartupSecondInstance = StartupSandbox;

TEST_F(StartupSecondInstance, BringsTheRunningWindowForwardAndEnds)
{
    RecordingMainWindow::Calls running;
    CLanveyApp first(options);
    ASSERT_TRUE(first.InitInstance(Args({}), Factory(running)));
    EXPECT_TRUE(first.IsFirstInstance());

    RecordingMainWindow::Calls second;
    {
        // Nothing on the terminal of the second start.
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
        CLanveyApp app(options);
        EXPECT_FALSE(app.InitInstance(Args({}), Factory(second)));
        PumpUntil([&] { return running.shown == 1; });
        qInstallMessageHandler(previous);
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
        EXPECT_EQ(app.GetMode(), CLanveyApp::Mode::SecondInstance);
        EXPECT_FALSE(app.IsFirstInstance());
        EXPECT_EQ(app.GetDocument(), nullptr);
        app.ExitInstance();
    }
    EXPECT_TRUE(PumpUntil([&] { return running.shown == 1; }));
    EXPECT_EQ(running.closed, 0);
    EXPECT_EQ(m_windowsCreated, 1);
    EXPECT_TRUE(prompt->shown.empty());

    // The first instance still holds the lock after the second one's exit.
    CLanveyApp third(options);
    EXPECT_FALSE(third.InitInstance(Args({}), Factory(second)));
    EXPECT_TRUE(PumpUntil([&] { return running.shown == 2; }));
}

TEST_F(StartupSecondInstance, ReportsWhenNoWindowAnswers)
{
    QLockFile other(options.instanceLockPath);
    ASSERT_TRUE(other.tryLock(0));
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    EXPECT_FALSE(app.InitInstance(Args({}), Factory(calls)));
    EXPECT_EQ(prompt->Texts(), QStringList{"Error: FindWindow() is failed."});
    EXPECT_EQ(m_windowsCreated, 0);
}

TEST_F(StartupSecondInstance, TakesOverTheLockOfAProcessThatDied)
{
    // A lock file naming a process that no longer exists.
    WriteFile(options.instanceLockPath, "2147483646\nlanvey\n\n");
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    EXPECT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    EXPECT_TRUE(app.IsFirstInstance());
    EXPECT_EQ(app.GetMode(), CLanveyApp::Mode::Normal);
}

// ---------------------------------------------------------------------------------------
// The running instance in a process of its own

// The first instance, run by tests/StartupInstanceChild.cpp in the same sandbox.
class ChildInstance
{
public:
    ChildInstance(const QString& root, QStringList arguments, int fileLimit = 0)
    {
        arguments.prepend(root);
        if (fileLimit > 0)
            m_process.setChildProcessModifier([fileLimit] {
                const rlimit limit{rlim_t(fileLimit), rlim_t(fileLimit)};
                setrlimit(RLIMIT_NOFILE, &limit);
            });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(LANVEY_INSTANCE_CHILD), arguments);
    }
    ~ChildInstance()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Waits until the child has said a line starting with `word`.
    bool WaitFor(const QString& word, int ms = 10000)
    {
        QDeadlineTimer deadline(ms);
        for (;;) {
            if (Said(word))
                return true;
            if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime())))
                return Said(word);
        }
    }
    bool Said(const QString& word)
    {
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        for (const QString& line : m_output.split(u'\n'))
            if (line.startsWith(word))
                return true;
        return false;
    }
    QString Output() const { return m_output; }
    qint64 Pid() const { return m_process.processId(); }

    // The child's resident memory in KiB, from /proc.
    qint64 ResidentKiB() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(Pid()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }

    QProcess m_process;

private:
    QString m_output;
};

// A raw connection to the server that Qt does not buffer on our side.
class RawClient
{
public:
    explicit RawClient(const QString& serverName)
    {
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(serverName);
        std::memcpy(address.sun_path, path.constData(),
                    std::min<size_t>(path.size(), sizeof(address.sun_path) - 1));
        m_connected = m_fd >= 0 &&
                      ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawClient()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return m_connected; }

    // Writes up to `total` bytes without a newline until the peer stops taking them or
    // `ms` pass; how many it took.
    qint64 Flood(qint64 total, int ms)
    {
        const QByteArray chunk(64 * 1024, 'x');
        qint64 sent = 0;
        QDeadlineTimer deadline(ms);
        while (sent < total && !deadline.hasExpired()) {
            pollfd poller{m_fd, POLLOUT, 0};
            if (poll(&poller, 1, 50) <= 0)
                continue;
            if (poller.revents & (POLLERR | POLLHUP))
                break;
            const ssize_t n = send(m_fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
            if (n > 0)
                sent += n;
        }
        return sent;
    }

    // Waits up to `ms` for the server to end the connection; the time it took, or -1.
    qint64 WaitForHangUp(int ms)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        char buffer[256];
        while (elapsed.elapsed() < ms) {
            pollfd poller{m_fd, POLLIN, 0};
            if (poll(&poller, 1, 20) <= 0)
                continue;
            const ssize_t n = recv(m_fd, buffer, sizeof(buffer), 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return elapsed.elapsed();
        }
        return -1;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

class StartupInstanceProcess : public StartupSandbox
{
protected:
    void SetUp() override
    {
        StartupSandbox::SetUp();
        options.activateWaitMs = 5000;
    }

    // A second start in this process; true when it brought the child's window forward
    // without a message.
    void SecondStart()
    {
        RecordingMainWindow::Calls calls;
        CLanveyApp second(options);
        EXPECT_FALSE(second.InitInstance(Args({}), Factory(calls)));
        EXPECT_EQ(second.GetMode(), CLanveyApp::Mode::SecondInstance);
        EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'\n').toStdString();
        EXPECT_EQ(m_windowsCreated, 0);
    }
};

TEST_F(StartupInstanceProcess, ASecondStartDuringAStartUpMessageBringsTheWindowForward)
{
    // The first instance sets a foreign database aside and says so, for two seconds.
    WriteFile(DataFolder() + "Database.lvdat", "not a database\n");
    ChildInstance first(Root(), {"--box-ms", "2000"});
    ASSERT_TRUE(first.WaitFor("box")) << first.Output().toStdString();
    ASSERT_FALSE(first.Said("window"));

    SecondStart();
    ASSERT_TRUE(first.WaitFor("shown")) << first.Output().toStdString();
    EXPECT_TRUE(first.Said("window"));
}

TEST_F(StartupInstanceProcess, AnUninstallDuringAStartUpMessageEndsThatStart)
{
    WriteFile(DataFolder() + "Database.lvdat", "not a database\n");
    ChildInstance first(Root(), {"--box-ms", "1500"});
    ASSERT_TRUE(first.WaitFor("box")) << first.Output().toStdString();

    RecordingStartupUi ui;
    RecordingMainWindow::Calls calls;
    CLanveyApp uninstaller(options);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(uninstaller.InitInstance(Args({"/Unregister"}), Factory(calls), &ui));
    EXPECT_EQ(ui.shown, 1);
    ASSERT_TRUE(first.WaitFor("exit")) << first.Output().toStdString();
    EXPECT_FALSE(first.Said("window")) << "a window asked to close before it exists is not made";
    EXPECT_LT(elapsed.elapsed(), 8000);
}

TEST_F(StartupInstanceProcess, AFloodOfConnectionsDoesNotKnockTheServerOut)
{
    // Fewer descriptors than connections: a server that kept every one would run out.
    ChildInstance first(Root(), {}, 128);
    ASSERT_TRUE(first.WaitFor("window")) << first.Output().toStdString();
    ASSERT_TRUE(PumpUntil([&] { return QFileInfo::exists(options.instanceServerName); }));
    // Connections are taken from the listen queue as the server gets to them, so the
    // flood keeps knocking until 600 are in or the server is gone.
    std::vector<std::unique_ptr<RawClient>> flood;
    QDeadlineTimer deadline(5000);
    while (flood.size() < 600 && !deadline.hasExpired()) {
        auto client = std::make_unique<RawClient>(options.instanceServerName);
        if (client->Connected())
            flood.push_back(std::move(client));
        else if (!QFileInfo::exists(options.instanceServerName))
            break;
        else
            usleep(1000);
    }

    SecondStart();
    EXPECT_TRUE(first.WaitFor("shown")) << first.Output().toStdString();
    flood.clear();
    EXPECT_TRUE(QFileInfo::exists(options.instanceServerName));
}

TEST_F(StartupInstanceProcess, ALongLineIsCutOffAndAnIdleClientDropped)
{
    ChildInstance first(Root(), {});
    ASSERT_TRUE(first.WaitFor("window")) << first.Output().toStdString();
    ASSERT_TRUE(PumpUntil([&] { return QFileInfo::exists(options.instanceServerName); }));
    const qint64 before = first.ResidentKiB();
    ASSERT_GT(before, 0);

    // 64 MiB without a newline: the server stops taking them after a short line.
    RawClient talker(options.instanceServerName);
    ASSERT_TRUE(talker.Connected());
    const qint64 sent = talker.Flood(qint64(64) << 20, 10000);
    EXPECT_LT(sent, qint64(8) << 20) << "the server kept reading";
    EXPECT_LT(first.ResidentKiB() - before, 16 * 1024) << "the server's memory grew";

    // A client that says nothing is dropped after about a second.
    RawClient idle(options.instanceServerName);
    ASSERT_TRUE(idle.Connected());
    const qint64 dropped = idle.WaitForHangUp(5000);
    EXPECT_GE(dropped, 500);
    EXPECT_LE(dropped, 3000);

    SecondStart();
    EXPECT_TRUE(first.WaitFor("shown")) << first.Output().toStdString();
}

TEST_F(StartupInstanceProcess, AServerWhoseSocketWasRemovedListensAgain)
{
    ChildInstance first(Root(), {});
    ASSERT_TRUE(first.WaitFor("window")) << first.Output().toStdString();
    ASSERT_TRUE(PumpUntil([&] { return QFileInfo::exists(options.instanceServerName); }));
    ASSERT_TRUE(QFile::remove(options.instanceServerName));

    SecondStart();
    EXPECT_TRUE(first.WaitFor("shown")) << first.Output().toStdString();
}

// ---------------------------------------------------------------------------------------
// Where the instance lock and the server live

class StartupRuntimeFolder : public StartupSandbox
{
protected:
    void SetUp() override
    {
        StartupSandbox::SetUp();
        for (const char* name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME"})
            m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CACHE_HOME", Path("cache").toUtf8());
        // The defaults, not the sandbox's fixed names.
        options.instanceLockPath.clear();
        options.instanceServerName.clear();
    }
    void TearDown() override
    {
        for (const auto& [name, value, set] : m_saved) {
            if (set)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
        StartupSandbox::TearDown();
    }

    // Where a normal start puts its lock and server.
    std::pair<QString, QString> StartAndSee()
    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        EXPECT_TRUE(app.InitInstance(Args({}), Factory(calls)));
        EXPECT_TRUE(app.IsFirstInstance());
        return {app.Options().instanceLockPath, app.Options().instanceServerName};
    }

    static QFile::Permissions OthersAndGroup()
    {
        return QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
               QFile::WriteOther | QFile::ExeOther;
    }

    const QString kRun = Path("cache/Norvane Lanvey/run");

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool set;
    };
    std::vector<Saved> m_saved;
};

TEST_F(StartupRuntimeFolder, WithoutAUsableRuntimeDirAPrivateFolderOfTheUsersOwnIsMade)
{
    QDir().mkpath(Path("open-runtime"));
    QFile::setPermissions(Path("open-runtime"), QFile::Permissions(0x7755));
    struct Case {
        const char* name;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"no XDG_RUNTIME_DIR", [] {}},
        {"one that does not exist",
         [this] { qputenv("XDG_RUNTIME_DIR", Path("missing").toUtf8()); }},
        {"one others may enter",
         [this] { qputenv("XDG_RUNTIME_DIR", Path("open-runtime").toUtf8()); }},
        {"no cache variable, only HOME",
         [this] {
             qunsetenv("XDG_CACHE_HOME");
             qputenv("HOME", Path("home").toUtf8());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        const QString run = qEnvironmentVariableIsSet("XDG_CACHE_HOME")
                                ? kRun
                                : Path("home/.cache/Norvane Lanvey/run");
        const auto [lock, server] = StartAndSee();
        EXPECT_EQ(lock, run + "/Lanvey");
        EXPECT_EQ(server, run + "/LanveyClass");
        EXPECT_EQ(QFileInfo(run).permissions() & OthersAndGroup(), QFile::Permissions());
        EXPECT_EQ(QFileInfo(run).ownerId(), geteuid());
    }

    // A folder of ours that others could enter is closed first.
    QFile::setPermissions(kRun, QFile::Permissions(0x7777));
    qputenv("XDG_CACHE_HOME", Path("cache").toUtf8());
    EXPECT_EQ(StartAndSee().first, kRun + "/Lanvey");
    EXPECT_EQ(QFileInfo(kRun).permissions() & OthersAndGroup(), QFile::Permissions());
}

TEST_F(StartupRuntimeFolder, AUsableRuntimeDirIsTakenAsItIs)
{
    QDir().mkpath(Path("runtime"));
    QFile::setPermissions(Path("runtime"), QFile::Permissions(0x7700));
    qputenv("XDG_RUNTIME_DIR", Path("runtime").toUtf8());
    const auto [lock, server] = StartAndSee();
    EXPECT_EQ(lock, Path("runtime/Lanvey"));
    EXPECT_EQ(server, Path("runtime/LanveyClass"));
    EXPECT_FALSE(QFileInfo::exists(kRun));
}

TEST_F(StartupRuntimeFolder, FoldersOfAnotherUserAreNeverUsed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to make folders of another user";
    const uid_t other = 65534;
    QDir().mkpath(Path("their-runtime"));
    QFile::setPermissions(Path("their-runtime"), QFile::Permissions(0x7700));
    ASSERT_EQ(chown(QFile::encodeName(Path("their-runtime")).constData(), other, other), 0);
    qputenv("XDG_RUNTIME_DIR", Path("their-runtime").toUtf8());
    // Another user got there first, with a lock and a server of their own.
    QDir().mkpath(kRun);
    QFile::setPermissions(kRun, QFile::Permissions(0x7777));
    ASSERT_EQ(chown(QFile::encodeName(kRun).constData(), other, other), 0);

    const auto [lock, server] = StartAndSee();
    EXPECT_FALSE(lock.startsWith(Path("their-runtime"))) << lock.toStdString();
    EXPECT_FALSE(lock.startsWith(kRun)) << lock.toStdString();
    EXPECT_FALSE(server.startsWith(kRun)) << server.toStdString();
    EXPECT_FALSE(lock.startsWith(QDir::tempPath() + "/Lanvey")) << lock.toStdString();
    // Their folder keeps its mode: it is not ours to change.
    EXPECT_EQ(QFileInfo(kRun).permissions() & OthersAndGroup(), OthersAndGroup());
    EXPECT_TRUE(QDir(kRun).isEmpty());
}

// ---------------------------------------------------------------------------------------
// Normal start

using StartupNormal = StartupSandbox;

TEST_F(StartupNormal, LeavesFoldersDocumentAndScanStateForTheProgram)
{
    {
        auto machine = MachineSettings();
        machine->setValue("Norvane Tessera/InstallPath", "/opt/Norvane Tessera");
        machine->setValue("Norvane Tessera/Version", "5.1.0.12");
    }
    NVMUI_WriteUserLanguage("en_us");
    g_hPauseScanEvent.Reset();
    g_hCancelScanEvent.Set();

    RecordingMainWindow::Calls calls;
    CLanveyApp* seenApp = nullptr;
    CLanveyDoc* seenDoc = nullptr;
    CLanveyApp app(options);
    const bool started =
        app.InitInstance(Args({"some", "arguments"}), [&](CLanveyApp& a, CLanveyDoc& d) {
            seenApp = &a;
            seenDoc = &d;
            // The window may use the update component.
            EXPECT_NE(a.m_pUpdate, nullptr);
            return std::make_unique<RecordingMainWindow>(calls, nullptr);
        });
    ASSERT_TRUE(started);
    EXPECT_EQ(app.GetMode(), CLanveyApp::Mode::Normal);
    EXPECT_EQ(seenApp, &app);
    EXPECT_EQ(seenDoc, app.GetDocument());
    EXPECT_EQ(CLanveyApp::Instance(), &app);

    EXPECT_EQ(app.m_strAppFolder, Path("program/"));
    EXPECT_EQ(app.m_strDataFolder, DataFolder());
    EXPECT_EQ(app.m_strSharedFolder, Path("common/Norvane Shared/"));
    EXPECT_EQ(app.m_strAnalyzerDataFolder, Path("appdata/Norvane Tessera/"));
    EXPECT_EQ(app.m_strAnalyzerInstallPath, "/opt/Norvane Tessera/");
    EXPECT_EQ(app.m_strAnalyzerVersion, "5.1.0.12");
    EXPECT_EQ(app.m_strLanguage, "en_us");
    EXPECT_EQ(app.m_strAppName, "Norvane Lanvey");
    EXPECT_FALSE(app.m_bHelpFileExists);
    EXPECT_FALSE(app.m_bAutoCheckUpdate);
    EXPECT_TRUE(QFileInfo::exists(DataFolder()));

    EXPECT_EQ(app.GetDocument()->GetDatabasePath(), DataFolder() + "Database.lvdat");
    EXPECT_TRUE(QFileInfo::exists(DataFolder() + "Database.lvdat"));
    EXPECT_TRUE(g_hPauseScanEvent.IsSet());
    EXPECT_FALSE(g_hCancelScanEvent.IsSet());
    EXPECT_TRUE(QFileInfo::exists(Path("applications/lanvey.desktop")));
    EXPECT_TRUE(ReadFile(Path("applications/lanvey.desktop"))
                    .contains("Exec=\"" + options.programFile.toUtf8() + "\""));
    EXPECT_TRUE(prompt->shown.empty()) << prompt->Texts().join(u'\n').toStdString();

    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(calls.destroyed);
    EXPECT_EQ(app.m_pUpdate, nullptr);
}

TEST_F(StartupNormal, HelpFileOfTheLanguageIsFound)
{
    NVMUI_WriteUserLanguage("en_us");
    WriteFile(Path("program/mui/en_us/Lanvey.chm"), "help");
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    EXPECT_TRUE(app.m_bHelpFileExists);
    EXPECT_EQ(app.m_strHelpFile, Path("program/mui/en_us/Lanvey.chm"));
}

// Installed as <prefix>/bin/lanvey, the program's folder is <prefix>/lib/lanvey, and the
// desktop entry is the one installed with it, so none goes into the user's folder.
TEST_F(StartupNormal, AnInstalledCopyFindsItsFolderBelowItsPrefixAndWritesNoDesktopEntry)
{
    NVMUI_WriteUserLanguage("en_us");
    options.programFile = Path("prefix/bin/lanvey");
    WriteFile(options.programFile, "program");
    WriteFile(Path("prefix/lib/lanvey/mui/en_us/Lanvey.chm"), "help");
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    EXPECT_TRUE(app.m_bInstalledCopy);
    EXPECT_EQ(app.m_strAppFolder, Path("prefix/lib/lanvey/"));
    EXPECT_EQ(app.m_strHelpFile, Path("prefix/lib/lanvey/mui/en_us/Lanvey.chm"));
    EXPECT_FALSE(QFileInfo::exists(Path("applications/lanvey.desktop")));
    EXPECT_FALSE(QFileInfo::exists(Path("applications")));
}

// A plain file where the private folder would be does not make an installed copy, and a
// folder given by the caller always wins.
TEST_F(StartupNormal, OnlyAnExistingPrivateFolderMakesAnInstalledCopy)
{
    NVMUI_WriteUserLanguage("en_us");
    options.programFile = Path("tree/bin/lanvey");
    WriteFile(Path("tree/lib/lanvey"), "not a folder");
    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
        EXPECT_FALSE(app.m_bInstalledCopy);
        EXPECT_EQ(app.m_strAppFolder, Path("tree/bin/"));
        EXPECT_TRUE(QFileInfo::exists(Path("applications/lanvey.desktop")));
    }
    QDir().mkpath(Path("prefix/lib/lanvey"));
    options.programFile = Path("prefix/bin/lanvey");
    options.appFolder = Path("elsewhere");
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    EXPECT_FALSE(app.m_bInstalledCopy);
    EXPECT_EQ(app.m_strAppFolder, Path("elsewhere/"));
}

TEST_F(StartupNormal, FoldersThatCannotBeHadFallBack)
{
    NVMUI_WriteUserLanguage("en_us");
    WriteFile(Path("file"), "x");
    options.appDataFolder = Path("file/appdata"); // below a plain file: cannot be created
    options.commonFilesFolder = Path("file/common");
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    EXPECT_EQ(app.m_strDataFolder, Path("home/"));
    EXPECT_EQ(app.m_strAnalyzerDataFolder, Path("home/"));
    EXPECT_EQ(app.m_strSharedFolder, Path("home/"));
}

TEST_F(StartupNormal, ADatabaseThatIsNotOursIsSetAsideWithAMessage)
{
    NVMUI_WriteUserLanguage("en_us");
    WriteFile(DataFolder() + "Database.lvdat", "not a database at all, just text\n");
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
    EXPECT_TRUE(prompt->shown[0].text.contains(DataFolder() + "Database.lvdat"));
    EXPECT_TRUE(prompt->shown[0].text.contains("is not a Lanvey database"))
        << prompt->shown[0].text.toStdString();
    EXPECT_EQ(m_windowsCreated, 1);
}

TEST_F(StartupNormal, ADamagedOrNewerDatabaseIsReportedForWhatItIs)
{
    NVMUI_WriteUserLanguage("en_us");
    const QString database = DataFolder() + "Database.lvdat";
    QDir().mkpath(DataFolder());
    {
        // A database of ours with some hosts, cut off half-way.
        CLanveyDoc doc;
        doc.OpenDatabase(database);
        for (int i = 1; i <= 300; ++i)
            doc.AppendDatabaseRecord(std::make_unique<DatabaseRecord>(DatabaseRecord{
                quint32(i), kMacTopBits | quint64(i), "HOST", "", "", "", "", 0, {}, {}}));
        ASSERT_TRUE(doc.SaveDatabase());
    }
    ASSERT_TRUE(QFile::resize(database, QFileInfo(database).size() / 2));
    {
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
        ASSERT_EQ(prompt->shown.size(), 1u);
        EXPECT_EQ(prompt->shown[0].icon, PromptIcon::Error);
        const QString& text = prompt->shown[0].text;
        EXPECT_TRUE(text.contains("is damaged")) << text.toStdString();
        EXPECT_FALSE(text.contains("not a Lanvey database")) << text.toStdString();
        EXPECT_TRUE(text.contains(database + '.')) << "names the file kept aside";
    }

    // The file of a newer version stays as it is, unwritten, with its own message.
    prompt->shown.clear();
    QFile::remove(database);
    {
        CLanveyDoc doc;
        doc.OpenDatabase(database);
        doc.AppendDatabaseRecord(std::make_unique<DatabaseRecord>());
        ASSERT_TRUE(doc.SaveDatabase());
    }
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(database).constData(), &db), SQLITE_OK);
        const QByteArray newer =
            "PRAGMA user_version = " + QByteArray::number(DatabaseFile::kSchemaVersion + 1);
        EXPECT_EQ(sqlite3_exec(db, newer.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const QByteArray newer = ReadFile(database);
    const QStringList before = QDir(DataFolder()).entryList(QDir::Files);
    RecordingMainWindow::Calls calls;
    CLanveyApp app(options);
    ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
    ASSERT_EQ(prompt->shown.size(), 1u);
    EXPECT_EQ(prompt->shown[0].text,
              "The database file \"" + database +
                  "\" was written by a newer version of Norvane Lanvey. It is left as it is, "
                  "and changes to the database will not be saved.");
    EXPECT_EQ(app.GetDocument()->GetDatabaseRecordCount(), 0);
    EXPECT_FALSE(app.GetDocument()->SaveDatabase());
    EXPECT_EQ(ReadFile(database), newer);
    // Nothing is made beside it but the open window's lock.
    QStringList after = QDir(DataFolder()).entryList(QDir::Files);
    EXPECT_TRUE(after.removeOne(QStringLiteral("Database.lvdat.lock")));
    EXPECT_EQ(after, before);
    EXPECT_EQ(m_windowsCreated, 2);
}

TEST_F(StartupNormal, EndsWhenTheMainWindowCannotBeCreated)
{
    CLanveyApp app(options);
    EXPECT_FALSE(app.InitInstance(
        Args({}), [](CLanveyApp&, CLanveyDoc&) { return std::unique_ptr<LanveyMainWindow>(); }));
    EXPECT_EQ(app.GetMainWindow(), nullptr);
}

TEST_F(StartupNormal, SettingsFileTurnsTheAutomaticCheckOnOrOff)
{
    struct Case {
        const char* name;
        std::function<void()> prepare;
        bool on;
    };
    const auto encodedFile = [this](const QString& value) {
        NVBase64_SetEncodeTable(kLanveyBase64Table);
        CConfigFile file;
        file.SetValue("Settings", "EnableAutoCheckUpdate", value);
        ASSERT_TRUE(file.WriteEncoded(SettingsFile()));
    };
    const Case cases[] = {
        {"value 1", [&] { encodedFile("1"); }, true},
        {"any non-empty value", [&] { encodedFile("0"); }, true},
        {"empty value", [&] { encodedFile(""); }, false},
        {"key absent",
         [&] {
             CConfigFile file;
             file.SetValue("Settings", "Other", 1);
             ASSERT_TRUE(file.WriteEncoded(SettingsFile()));
         },
         false},
        {"no file", [] {}, false},
        {"plain text", [&] { WriteFile(SettingsFile(), "[Settings]\nEnableAutoCheckUpdate=1\n"); },
         false},
        {"a folder", [&] { QDir().mkpath(SettingsFile()); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(SettingsFile());
        QDir().rmdir(SettingsFile());
        c.prepare();
        RecordingMainWindow::Calls calls;
        CLanveyApp app(options);
        ASSERT_TRUE(app.InitInstance(Args({}), Factory(calls)));
        EXPECT_EQ(app.m_bAutoCheckUpdate, c.on);
        app.ExitInstance();
    }
}

// ---------------------------------------------------------------------------------------
// The update component start-up creates

using StartupUpdate = StartupSandbox;

TEST_F(StartupUpdate, ManualCheckOpensTheUpdatePageAutomaticOpensNothing)
{
    QStringList opened;
    CNVUpdate::SetUrlOpener([&](const QString& url) {
        opened << url;
        return true;
    });
    CNVUpdate update(kProductKeyName, kProductVersion, kUpdateEdition);

    EXPECT_TRUE(update.DoUpdate(nullptr, 1, {}));
    EXPECT_TRUE(opened.isEmpty());
    // The check is noted in the per-user update registration.
    EXPECT_EQ(UserSettings("NVUPDATE")->value("Lanvey/Version").toString(),
              QString::fromLatin1(kProductVersion));

    EXPECT_TRUE(update.DoUpdate(nullptr, 0, {}));
    ASSERT_EQ(opened.size(), 1);
    const QUrl url(opened[0]);
    EXPECT_EQ(url.scheme(), "https");
    EXPECT_FALSE(url.host().isEmpty());
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItemValue("product"), "Lanvey");
    EXPECT_EQ(query.queryItemValue("version"), QString::fromLatin1(kProductVersion));
    EXPECT_EQ(query.queryItemValue("edition", QUrl::FullyDecoded), "Lanvey for Linux");

    CNVUpdate::SetUrlOpener([](const QString&) { return false; });
    EXPECT_FALSE(update.DoUpdate(nullptr, 0, {}));
    CNVUpdate::SetUrlOpener(nullptr);
}

} // namespace
