// The coder with the program's alphabet, the encoded settings file and the crash
// reporter.

#include "TestPrinters.h"
#include "support/ConfigFile.h"
#include "app/CrashReporter.h"
#include "support/NVBase64.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

constexpr char kStandardTable[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

// Each test starts with the program's alphabet, as the program runs after start-up.
class Base64 : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(NVBase64_SetEncodeTable(kLanveyBase64Table)); }
};

TEST_F(Base64, RoundTripsEveryLengthWithOurAlphabet)
{
    QRandomGenerator random(315);
    const QByteArray symbols = QByteArray(kLanveyBase64Table);
    for (int length = 0; length < 70; ++length) {
        QByteArray data(length, '\0');
        for (char& c : data)
            c = char(random.bounded(256));
        const QByteArray encoded = NVBase64_Encode(data);
        SCOPED_TRACE(length);
        EXPECT_EQ(encoded.size(), (length + 2) / 3 * 4);
        for (const char c : encoded)
            EXPECT_TRUE(symbols.contains(c)) << c;
        const std::optional<QByteArray> decoded = NVBase64_Decode(encoded);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(*decoded, data);
    }
}

TEST_F(Base64, IsStandardBase64UnderTheStandardAlphabet)
{
    // The same bit layout as RFC 4648, so only the alphabet keeps a value private.
    for (const QByteArray& data :
         {QByteArray(""), QByteArray("f"), QByteArray("fo"), QByteArray("foo"), QByteArray("foob"),
          QByteArray("\xff\xfe\x00\x01", 4), QByteArray("https://www.norvane.example/update/")}) {
        EXPECT_EQ(NVBase64_Encode(data, kStandardTable), data.toBase64());
        EXPECT_EQ(NVBase64_Decode(data.toBase64(), kStandardTable), data);
    }
    // Under our alphabet the text is a different one.
    EXPECT_NE(NVBase64_Encode("1"), QByteArray("1").toBase64());
}

TEST_F(Base64, RejectsTextThatIsNotOurs)
{
    const QByteArray good = NVBase64_Encode("settings");
    ASSERT_TRUE(NVBase64_Decode(good).has_value());
    EXPECT_FALSE(NVBase64_Decode(good.left(good.size() - 1)).has_value()); // length
    EXPECT_FALSE(NVBase64_Decode("1").has_value());
    const char pad = kLanveyBase64Table[64];
    EXPECT_FALSE(NVBase64_Decode(QByteArray(4, pad)).has_value());
    EXPECT_FALSE(NVBase64_Decode(QByteArray("AB") + pad + "C").has_value()); // padding inside
    // Standard Base64 with symbols outside our alphabet.
    EXPECT_FALSE(NVBase64_Decode(QByteArray("a+b/").toBase64() + "+/==").has_value());
    EXPECT_FALSE(NVBase64_Decode(NVBase64_Encode("abcd") + QByteArray(1, pad) + "AAA").has_value());
}

TEST_F(Base64, KeepsTheAlphabetWhenGivenABadOne)
{
    const QByteArray before = NVBase64_Encode("value");
    EXPECT_FALSE(NVBase64_SetEncodeTable(nullptr));
    EXPECT_FALSE(NVBase64_SetEncodeTable("ABC"));
    QByteArray repeated(kLanveyBase64Table);
    repeated[10] = repeated[11];
    EXPECT_FALSE(NVBase64_SetEncodeTable(repeated.constData()));
    EXPECT_EQ(NVBase64_Encode("value"), before);

    ASSERT_TRUE(NVBase64_SetEncodeTable(kStandardTable));
    EXPECT_EQ(NVBase64_Encode("value"), QByteArray("value").toBase64());
}

// ---------------------------------------------------------------------------------------

class ConfigFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(NVBase64_SetEncodeTable(kLanveyBase64Table));
        ASSERT_TRUE(m_dir.isValid());
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    void Write(const QString& name, const QByteArray& data)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }

private:
    QTemporaryDir m_dir;
};

TEST_F(ConfigFile, WritesEncodedValuesAndReadsThemBack)
{
    CConfigFile out;
    out.SetValue("Settings", "EnableAutoCheckUpdate", 1);
    out.SetValue("Settings", "Note", QStringLiteral("网络 = scan; [x]"));
    out.SetValue("Other", "Count", -42);
    out.SetValue("settings", "enableautocheckupdate", 7); // the same key, another case
    ASSERT_TRUE(out.WriteEncoded(Path("lanvey.ini")));

    const QByteArray text = [&] {
        QFile file(Path("lanvey.ini"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    EXPECT_TRUE(text.contains("[Settings]"));
    EXPECT_TRUE(text.contains("EnableAutoCheckUpdate="));
    EXPECT_FALSE(text.contains("=7"));
    EXPECT_FALSE(text.contains("scan"));

    CConfigFile in;
    ASSERT_TRUE(in.ReadEncoded(Path("lanvey.ini")));
    EXPECT_EQ(in.GetValue("Settings", "EnableAutoCheckUpdate"), "7");
    EXPECT_EQ(in.GetValue("SETTINGS", "note"), QStringLiteral("网络 = scan; [x]"));
    EXPECT_EQ(in.GetValue("Other", "Count"), "-42");
    EXPECT_EQ(in.GetValue("Other", "Missing"), "");
    EXPECT_EQ(in.GetValue("Missing", "Count"), "");

    // Under another alphabet the same file does not read.
    ASSERT_TRUE(NVBase64_SetEncodeTable(kStandardTable));
    CConfigFile foreign;
    EXPECT_FALSE(foreign.ReadEncoded(Path("lanvey.ini")));
}

TEST_F(ConfigFile, KeepsCommentsOutAndBlankValuesIn)
{
    Write("a.ini", "; written by hand\n\n[Settings]\r\n# note\nEmpty=\nKey = " +
                       NVBase64_Encode("on") + "\n");
    CConfigFile file;
    ASSERT_TRUE(file.ReadEncoded(Path("a.ini")));
    EXPECT_EQ(file.GetValue("Settings", "Key"), "on");
    EXPECT_EQ(file.GetValue("Settings", "Empty"), "");
}

TEST_F(ConfigFile, FilesItCannotReadLeaveItEmpty)
{
    const QByteArray valid = "[Settings]\nEnableAutoCheckUpdate=" + NVBase64_Encode("1") + "\n";
    Write("plain.ini", "[Settings]\nEnableAutoCheckUpdate=1\n");
    Write("no-section.ini", "EnableAutoCheckUpdate=" + NVBase64_Encode("1") + "\n");
    Write("junk.ini", valid + "this is not a setting\n");
    Write("open-section.ini", "[Settings\n");
    QDir().mkpath(Path("folder.ini"));

    for (const char* name : {"missing.ini", "plain.ini", "no-section.ini", "junk.ini",
                             "open-section.ini", "folder.ini"}) {
        SCOPED_TRACE(name);
        CConfigFile file;
        file.SetValue("Settings", "EnableAutoCheckUpdate", 1);
        EXPECT_FALSE(file.ReadEncoded(Path(name)));
        // What was there before is gone too: a failed read never looks like a setting.
        EXPECT_EQ(file.GetValue("Settings", "EnableAutoCheckUpdate"), "");
    }
}

TEST_F(ConfigFile, ReportsAWriteThatCannotHappen)
{
    CConfigFile file;
    file.SetValue("Settings", "EnableAutoCheckUpdate", 1);
    EXPECT_FALSE(file.WriteEncoded(Path("no/such/folder/lanvey.ini")));
    ASSERT_TRUE(file.WriteEncoded(Path("lanvey.ini")));
    QDir().mkpath(Path("lanvey.ini.dir"));
    EXPECT_FALSE(file.WriteEncoded(Path("lanvey.ini.dir")));
}

// ---------------------------------------------------------------------------------------

#if defined(__SANITIZE_ADDRESS__)
#define LANVEY_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LANVEY_TEST_UNDER_ASAN 1
#endif
#endif
#ifndef LANVEY_TEST_UNDER_ASAN
#define LANVEY_TEST_UNDER_ASAN 0
#endif

TEST(StartupCrashReport, WritesAReportAndStillDiesOfTheSignal)
{
#if LANVEY_TEST_UNDER_ASAN
    // The sanitizer owns the fatal signals: the handler restored after the report is its
    // own, which reports the signal itself instead of dying of it.
    GTEST_SKIP() << "crash handling is the sanitizer's in this build";
#endif
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.filePath("CrashReport"));

    for (const int sig : {SIGSEGV, SIGABRT, SIGFPE}) {
        SCOPED_TRACE(sig);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Relative first, as before start-up knows the data folder; then moved.
            const int handle =
                NVCR_Install(nullptr, "https://support.example/", "Crash Report", "CrashReport", 1);
            if (handle == 0 || !NVCR_SetReportFolder(handle, folder.constData()))
                _exit(3);
            ::raise(sig);
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);

        const QStringList reports = QDir(dir.filePath("CrashReport"))
                                        .entryList({"crash-*-" + QString::number(child) + ".txt"});
        ASSERT_EQ(reports.size(), 1);
        QFile report(dir.filePath("CrashReport/" + reports[0]));
        ASSERT_TRUE(report.open(QIODevice::ReadOnly));
        const QByteArray text = report.readAll();
        EXPECT_TRUE(text.startsWith("Crash Report\n"));
        EXPECT_TRUE(text.contains(QByteArray("Signal: ") + (sig == SIGSEGV   ? "SIGSEGV"
                                                            : sig == SIGABRT ? "SIGABRT"
                                                                             : "SIGFPE")));
        EXPECT_TRUE(text.contains("https://support.example/"));
        // The backtrace lists at least the frames of this test program.
        const QByteArray trace = text.mid(text.indexOf("Backtrace:\n") + 11);
        EXPECT_GE(trace.count('\n'), 3);
    }
}

TEST(StartupCrashReport, UninstallRestoresThePreviousHandler)
{
    static volatile sig_atomic_t previousRan = 0;
    struct sigaction mine {
    };
    mine.sa_handler = [](int) { previousRan = 1; };
    struct sigaction saved {
    };
    ASSERT_EQ(sigaction(SIGFPE, &mine, &saved), 0);

    const int handle = NVCR_Install(nullptr, "", "Crash Report", "CrashReport", 1);
    ASSERT_NE(handle, 0);
    EXPECT_FALSE(NVCR_SetReportFolder(handle + 1, "elsewhere"));
    NVCR_Uninstall(handle);
    EXPECT_FALSE(NVCR_SetReportFolder(handle, "elsewhere"));
    ::raise(SIGFPE);
    EXPECT_EQ(previousRan, 1);
    sigaction(SIGFPE, &saved, nullptr);

    EXPECT_EQ(NVCR_Install(nullptr, "", "Crash Report", "CrashReport", 0), 0);
}

} // namespace
