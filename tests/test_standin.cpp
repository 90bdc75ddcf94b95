// The stand-in analyzer as its own process, spoken to through the link: checks, adds and
// overwrites kept in its table, and each of its chosen faults.

#include "nametable/AnalyzerLink.h"
#include "standin/StandInAnalyzer.h"
#include "support/AddressText.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace NameTable;

namespace
{

class StandIn : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_standin";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            static QCoreApplication app(argc, argv);
    }
    void TearDown() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    QString Server() const { return m_dir.filePath(QStringLiteral("Tessera5Class")); }
    QString Table() const { return m_dir.filePath(QStringLiteral("NameTable.json")); }

    // Starts the stand-in with `options` and waits until it listens (or `waitMs` passed).
    bool Start(QStringList options, int waitMs = 5000)
    {
        options << QStringLiteral("--name") << Server() << QStringLiteral("--table") << Table();
        m_process.start(QStringLiteral(LANVEY_BINARY_DIR "/lanvey-analyzer-standin"), options);
        if (!m_process.waitForStarted(5000))
            return false;
        const QDeadlineTimer deadline(waitMs);
        while (!deadline.hasExpired()) {
            if (AnalyzerLink(Server(), 200).IsRunning())
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    static Transfer Ip(Operation operation, const char* ip, const char* name = "Default",
                       quint32 color = 0)
    {
        Transfer t;
        t.operation = operation;
        t.kind = Ipv4;
        t.ip = GetIpAddress(QString::fromLatin1(ip));
        t.name = QString::fromUtf8(name);
        t.color = color;
        return t;
    }
    static Transfer Mac(Operation operation, const char* mac, const char* name = "Default")
    {
        Transfer t;
        t.operation = operation;
        t.kind = NameTable::Mac;
        t.mac = GetMacAddress(QString::fromLatin1(mac), QLatin1Char(':')) | kMacTopBits;
        t.name = QString::fromUtf8(name);
        return t;
    }

    QTemporaryDir m_dir;
    QProcess m_process;
};

TEST_F(StandIn, KeepsWhatIsAddedAndTellsWhatItHolds)
{
    ASSERT_TRUE(Start({}));
    const AnalyzerLink link(Server(), 3000);
    EXPECT_EQ(link.Send(Ip(Check, "198.18.0.7"), 1), 1u);
    EXPECT_EQ(link.Send(Ip(Add, "198.18.0.7", "LAB-PC 主机", 0x0000FF), 1), 1u);
    EXPECT_EQ(link.Send(Ip(Check, "198.18.0.7"), 1), kIpPresent);
    EXPECT_EQ(link.Send(Mac(Check, "02:00:00:aa:bb:07"), 1), 1u);
    EXPECT_EQ(link.Send(Mac(Add, "02:00:00:aa:bb:07", "NIC"), 1), 1u);
    EXPECT_EQ(link.Send(Mac(Check, "02:00:00:aa:bb:07"), 1), kMacPresent);
    // An add of a held address overwrites it.
    EXPECT_EQ(link.Send(Ip(Add, "198.18.0.7", "renamed", 0x00FF00), 1), 1u);

    const QJsonArray table = CStandInAnalyzer::ReadTable(Table());
    ASSERT_EQ(table.size(), 2);
    const QJsonObject ip = table.at(0).toObject();
    EXPECT_EQ(ip.value("kind").toString(), QStringLiteral("ip"));
    EXPECT_EQ(ip.value("address").toString(), QStringLiteral("198.18.0.7"));
    EXPECT_EQ(ip.value("alias").toString(), QStringLiteral("renamed"));
    EXPECT_EQ(ip.value("color").toString(), QStringLiteral("#00FF00"));
    const QJsonObject mac = table.at(1).toObject();
    EXPECT_EQ(mac.value("address").toString(), QStringLiteral("02:00:00:AA:BB:07"));
    EXPECT_EQ(mac.value("alias").toString(), QStringLiteral("NIC"));

    QProcess list;
    list.start(QStringLiteral(LANVEY_BINARY_DIR "/lanvey-analyzer-standin"),
               {QStringLiteral("--table"), Table(), QStringLiteral("--list")});
    ASSERT_TRUE(list.waitForFinished(5000));
    const QString printed = QString::fromUtf8(list.readAllStandardOutput());
    EXPECT_TRUE(printed.contains(QStringLiteral("ip\t198.18.0.7\trenamed\t#00FF00")))
        << printed.toStdString();
}

TEST_F(StandIn, ItsChosenFaults)
{
    {
        ASSERT_TRUE(Start({QStringLiteral("--fail-adds")}));
        EXPECT_EQ(AnalyzerLink(Server(), 3000).Send(Ip(Add, "198.18.0.9", "x"), 1), kAddFailed);
        EXPECT_TRUE(CStandInAnalyzer::ReadTable(Table()).isEmpty());
        TearDown();
    }
    {
        ASSERT_TRUE(Start({QStringLiteral("--too-old")}));
        EXPECT_EQ(AnalyzerLink(Server(), 3000).Send(Ip(Check, "198.18.0.9"), 1), kNotHandled);
        TearDown();
    }
    {
        // Never answering: the link gives up at its deadline and takes that as 0.
        ASSERT_TRUE(Start({QStringLiteral("--hang")}));
        EXPECT_EQ(AnalyzerLink(Server(), 500).Send(Ip(Add, "198.18.0.9", "x"), 1), kNotHandled);
        TearDown();
    }
    {
        // Listening only after a while: not there at first, there later.
        m_process.start(QStringLiteral(LANVEY_BINARY_DIR "/lanvey-analyzer-standin"),
                        {QStringLiteral("--delay-start"), QStringLiteral("1"),
                         QStringLiteral("--name"), Server(), QStringLiteral("--table"), Table()});
        ASSERT_TRUE(m_process.waitForStarted(5000));
        EXPECT_FALSE(AnalyzerLink(Server(), 200).IsRunning());
        const QDeadlineTimer deadline(8000);
        bool up = false;
        while (!up && !deadline.hasExpired()) {
            QThread::msleep(50);
            up = AnalyzerLink(Server(), 200).IsRunning();
        }
        EXPECT_TRUE(up);
    }
}

} // namespace
