// The program installed into a staging root (DESTDIR) with `cmake --install`, the way
// make install does it, then started from there: the window must find its program
// folder below the prefix (its language module loads from there), start, leave the
// user's applications folder alone, and end when asked to close. Run as root, the
// programs run as "nobody", so that nothing of theirs lands in this machine's folders.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr char kPrefix[] = "/usr/local";

struct Command {
    int exitCode = -1;
    QString out;
    QString err;
};

// The user the installed programs run as: "nobody" for root, else ourselves.
struct RunAs {
    uid_t uid = getuid();
    gid_t gid = getgid();
};

RunAs ProgramUser()
{
    RunAs user;
    if (geteuid() == 0) {
        if (const passwd* nobody = getpwnam("nobody")) {
            user.uid = nobody->pw_uid;
            user.gid = nobody->pw_gid;
        }
    }
    return user;
}

void PrepareProcess(QProcess& process, const RunAs& user, const QProcessEnvironment& env)
{
    process.setProcessEnvironment(env);
    if (user.uid != geteuid()) {
        process.setChildProcessModifier([user] {
            // In the child between fork and exec: only async-signal-safe calls.
            if (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0)
                _exit(126);
        });
    }
}

Command RunProgram(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                   const RunAs& user = {})
{
    QProcess process;
    PrepareProcess(process, user, env);
    process.start(program, arguments);
    Command result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("timed out: ") + program;
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(50);
    }
    return true;
}

class InstalledProgram : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_installed_program";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        s_root = new QTemporaryDir();
        ASSERT_TRUE(s_root->isValid());
        // "nobody" must reach the staged files and its own home below the root.
        chmod(QFile::encodeName(s_root->path()).constData(), 0755);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), Stage());
        s_install =
            new Command(RunProgram(QStringLiteral(LANVEY_CMAKE_COMMAND),
                                   {QStringLiteral("--install"), QStringLiteral(LANVEY_BINARY_DIR),
                                    QStringLiteral("--prefix"), QLatin1String(kPrefix)},
                                   env));
    }
    static void TearDownTestSuite()
    {
        delete s_install;
        delete s_root;
    }

    static QString Stage() { return s_root->filePath(QStringLiteral("stage")); }
    static QString Installed(const QString& relative)
    {
        return Stage() + QLatin1String(kPrefix) + u'/' + relative;
    }

    // A home of its own for the program's user, with every XDG folder in it.
    QProcessEnvironment UserEnvironment(const RunAs& user, const QString& language)
    {
        const QString home = s_root->filePath(QStringLiteral("home"));
        QDir(home).removeRecursively();
        for (const char* sub : {"", "/config", "/data", "/cache", "/run"})
            EXPECT_TRUE(QDir().mkpath(home + QLatin1String(sub)));
        for (const char* sub : {"", "/config", "/data", "/cache", "/run"})
            EXPECT_EQ(
                chown(QFile::encodeName(home + QLatin1String(sub)).constData(), user.uid, user.gid),
                0);
        chmod(QFile::encodeName(home + QStringLiteral("/run")).constData(), 0700);
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LANG"), language);
        env.insert(QStringLiteral("LC_ALL"), language);
        return env;
    }

    static QTemporaryDir* s_root;
    static Command* s_install;
};

QTemporaryDir* InstalledProgram::s_root = nullptr;
Command* InstalledProgram::s_install = nullptr;

TEST_F(InstalledProgram, InstallPutsEveryFileInItsPlace)
{
    ASSERT_EQ(s_install->exitCode, 0) << s_install->err.toStdString();
    QStringList expected = {
        "bin/lanvey",
        "bin/lanvey-scan",
        "bin/lanvey-db",
        "lib/lanvey/mui/zh_cn/LanveyRes.so",
        "share/applications/lanvey.desktop",
        "share/icons/hicolor/scalable/apps/lanvey.svg",
        "share/metainfo/com.norvane.lanvey.metainfo.xml",
        "share/man/man1/lanvey.1.gz",
        "share/man/man1/lanvey-scan.1.gz",
        "share/man/man1/lanvey-db.1.gz",
        "share/bash-completion/completions/lanvey-scan",
        "share/bash-completion/completions/lanvey-db",
        "share/doc/lanvey/copyright",
    };
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/lanvey.png").arg(size);
#ifdef LANVEY_HAS_HELPER
    expected << "lib/lanvey/lanvey-arp";
#endif
    for (const QString& file : expected)
        EXPECT_TRUE(QFileInfo(Installed(file)).isFile()) << file.toStdString();
    // Each theme size holds a picture of that size.
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString icon =
            Installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/lanvey.png").arg(size));
        EXPECT_EQ(QImageReader(icon).size(), QSize(size, size)) << icon.toStdString();
    }
    for (const char* program : {"bin/lanvey", "bin/lanvey-scan", "bin/lanvey-db"})
        EXPECT_TRUE(QFileInfo(Installed(QLatin1String(program))).isExecutable()) << program;

    // Nothing outside the prefix, and nothing the package alone carries.
    QDirIterator it(Stage(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        EXPECT_TRUE(file.startsWith(Stage() + QLatin1String(kPrefix) + u'/')) << file.toStdString();
        EXPECT_FALSE(file.endsWith(QLatin1String("changelog.Debian.gz"))) << file.toStdString();
    }
}

#ifdef LANVEY_HAS_HELPER
// As root the install gives the helper its capability (where the file system keeps
// capabilities); otherwise it prints the command that does.
TEST_F(InstalledProgram, TheHelperGetsItsCapabilityOrTheCommandIsPrinted)
{
    ASSERT_EQ(s_install->exitCode, 0);
    const QString helper = Installed(QStringLiteral("lib/lanvey/lanvey-arp"));
    if (geteuid() != 0) {
        EXPECT_TRUE(s_install->out.contains("sudo setcap cap_net_raw+ep \"" + helper + "\""))
            << s_install->out.toStdString();
        return;
    }
    const Command caps = RunProgram(QStringLiteral("/usr/sbin/getcap"), {helper});
    if (s_install->out.contains(QLatin1String("setcap failed")))
        GTEST_SKIP() << "this file system holds no file capabilities: "
                     << s_install->out.toStdString();
    EXPECT_TRUE(caps.out.contains(QLatin1String("cap_net_raw=ep"))) << caps.out.toStdString();
}
#endif

TEST_F(InstalledProgram, CommandLineProgramsRunFromTheirInstalledPlace)
{
    ASSERT_EQ(s_install->exitCode, 0);
    const RunAs user = ProgramUser();
    const QProcessEnvironment env = UserEnvironment(user, QStringLiteral("C.UTF-8"));
    const Command version = RunProgram(Installed(QStringLiteral("bin/lanvey-scan")),
                                       {QStringLiteral("--version")}, env, user);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out.trimmed(), QStringLiteral("lanvey-scan " LANVEY_VERSION));
    const Command help = RunProgram(Installed(QStringLiteral("bin/lanvey-db")),
                                    {QStringLiteral("--help")}, env, user);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(QLatin1String("usage: lanvey-db"))) << help.out.toStdString();
}

// The window in Chinese: its module comes from <prefix>/lib/lanvey/mui/zh_cn, found from
// the executable's place, not from a prefix built into it.
TEST_F(InstalledProgram, TheWindowFindsItsLanguageModuleStartsAndCloses)
{
    ASSERT_EQ(s_install->exitCode, 0);
    const RunAs user = ProgramUser();
    const QProcessEnvironment env = UserEnvironment(user, QStringLiteral("zh_CN.UTF-8"));
    const QString home = env.value(QStringLiteral("HOME"));
    const QString module = Installed(QStringLiteral("lib/lanvey/mui/zh_cn/LanveyRes.so"));

    QProcess window;
    PrepareProcess(window, user, env);
    window.start(Installed(QStringLiteral("bin/lanvey")), {});
    ASSERT_TRUE(window.waitForStarted(10000)) << window.errorString().toStdString();
    const QString maps = QStringLiteral("/proc/%1/maps").arg(window.processId());
    const auto mapped = [&] {
        QFile file(maps);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(QFile::encodeName(module));
    };
    // The database is opened (and locked) just before the window is made.
    const QString lock = home + QStringLiteral("/data/Norvane Lanvey/Database.lvdat.lock");
    EXPECT_TRUE(WaitFor(mapped, 30000))
        << "the module was not loaded: " << window.readAllStandardError().toStdString();
    EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(lock); }, 30000));
    EXPECT_FALSE(window.waitForFinished(1000)) << window.readAllStandardError().toStdString();
    ASSERT_EQ(window.state(), QProcess::Running);

    // The installed desktop entry is the program's; none goes into the user's folder.
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/data/applications/lanvey.desktop")));

    // Closed the way the uninstaller closes it, over the instance's local server.
    QLocalSocket socket;
    socket.connectToServer(home + QStringLiteral("/run/LanveyClass"));
    ASSERT_TRUE(socket.waitForConnected(5000)) << socket.errorString().toStdString();
    socket.write("close\n");
    ASSERT_TRUE(socket.waitForBytesWritten(5000));
    ASSERT_TRUE(window.waitForFinished(20000));
    EXPECT_EQ(window.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(window.exitCode(), 0) << window.readAllStandardError().toStdString();
    EXPECT_FALSE(QFileInfo::exists(lock));
}

} // namespace
