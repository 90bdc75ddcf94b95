// The name-table record and frame against golden bytes written from the layout by hand,
// the alias cut, the link's answers from a peer that answers, hangs, closes or answers
// short, and the rules for the analyzer's version, program file and web page.

#include "nametable/AnalyzerAccess.h"
#include "nametable/AnalyzerLink.h"
#include "nametable/NameTableTransfer.h"
#include "support/AddressText.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace NameTable;

namespace
{

QByteArray Golden(const char* name)
{
    QFile file(QStringLiteral(LANVEY_SOURCE_DIR "/tests/data/") + QString::fromLatin1(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

Transfer Make(Operation operation, Kind kind, const char* name, quint32 color)
{
    Transfer t;
    t.operation = operation;
    t.kind = kind;
    t.ip = GetIpAddress(QStringLiteral("198.18.0.7"));
    t.mac = GetMacAddress(QStringLiteral("02:00:00:AA:BB:07"), QLatin1Char(':')) | kMacTopBits;
    t.name = QString::fromUtf8(name);
    t.color = color;
    return t;
}

TEST(NameTableFrame, ChecksAndAddsOfBothKindsAreTheGoldenBytes)
{
    const struct {
        Transfer transfer;
        const char* golden;
    } cases[] = {
        {Make(Check, Ipv4, "Default", 0), "nametable_check_ip.bin"},
        {Make(Add, Ipv4, "LAB-PC 主机", 0x0000FF), "nametable_add_ip.bin"},
        {Make(Check, Mac, "Default", 0), "nametable_check_mac.bin"},
        {Make(Add, Mac, "LAB-PC 主机", 0x00FF8000), "nametable_add_mac.bin"},
    };
    for (const auto& c : cases) {
        const QByteArray frame = EncodeFrame(c.transfer, 0x1234);
        ASSERT_EQ(frame.size(), kFrameSize) << c.golden;
        EXPECT_EQ(frame, Golden(c.golden)) << c.golden;
        // The analyzer's side reads it back, the unused address zero.
        quint64 sender = 0;
        const std::optional<Transfer> back = DecodeFrame(frame, &sender);
        ASSERT_TRUE(back) << c.golden;
        EXPECT_EQ(sender, 0x1234u);
        EXPECT_EQ(back->name, c.transfer.name);
        EXPECT_EQ(back->color, c.transfer.color);
        if (c.transfer.kind == Ipv4) {
            EXPECT_EQ(back->ip, c.transfer.ip);
            EXPECT_EQ(back->mac, 0u);
        } else {
            EXPECT_EQ(FormatMacAddress(back->mac), QStringLiteral("02:00:00:AA:BB:07"));
            EXPECT_EQ(back->ip, 0u);
        }
    }
}

TEST(NameTableFrame, AliasesAreCutAtAWholeCharacterAndAlwaysEndInNul)
{
    EXPECT_EQ(FitName(QString(300, u'a')).size(), 255);
    EXPECT_EQ(FitName(QStringLiteral("short")), QStringLiteral("short"));
    // A pair of surrogates across the cut goes as a whole.
    const QString pair = QString::fromUcs4(U"\U0001F5A5");
    ASSERT_EQ(pair.size(), 2);
    const QString name = QString(254, u'x') + pair + QStringLiteral("tail");
    const QString fitted = FitName(name);
    EXPECT_EQ(fitted.size(), 254);
    EXPECT_FALSE(fitted.back().isHighSurrogate());
    EXPECT_EQ(FitName(QString(253, u'x') + pair + QStringLiteral("t")).size(), 255);

    Transfer t = Make(Add, Ipv4, "", 0);
    t.name = QString(400, u'n');
    const QByteArray record = EncodeRecord(t);
    EXPECT_EQ(qFromLittleEndian<quint16>(record.constData() + 24 + 254 * 2), u'n');
    EXPECT_EQ(qFromLittleEndian<quint16>(record.constData() + 24 + 255 * 2), 0);
}

TEST(NameTableFrame, TheAnalyzersSideRefusesWhatIsNoRecord)
{
    QByteArray frame = EncodeFrame(Make(Check, Ipv4, "Default", 0), 1);
    EXPECT_FALSE(DecodeFrame(frame.left(kFrameSize - 1)));
    EXPECT_FALSE(DecodeFrame(frame + 'x'));
    QByteArray wrongId = frame;
    wrongId[0] = char(0x9A);
    EXPECT_FALSE(DecodeFrame(wrongId));
    QByteArray wrongKind = frame;
    wrongKind[16 + 8] = 3;
    EXPECT_FALSE(DecodeFrame(wrongKind));
    QByteArray noNul = frame;
    for (int i = 0; i < kNameUnits; ++i) {
        noNul[16 + 24 + 2 * i] = 'A';
        noNul[16 + 24 + 2 * i + 1] = 0;
    }
    EXPECT_FALSE(DecodeFrame(noNul));
}

TEST(AnalyzerRules, TheBuildNumberIsTheLastDottedPartReadAsADecimalNumber)
{
    const std::pair<const char*, int> cases[] = {
        {"5.2.0.1127", 1127},
        {"5.2.0.1128", 1128},
        {"1128", 1128},
        {"", 0},
        {"5.2.", 0},
        {"5.2.x1200", 0},
        {"5.2. 1130", 1130},
        {"5.2.\t+1130", 1130},
        {"5.2.-1200", -1200},
        {"5.2.+1200", 1200},
        {"5.2.1200beta", 1200},
        {"1.5000.12", 12},
        {"7.99999999999999999999", 2147483647},
    };
    for (const auto& [version, build] : cases)
        EXPECT_EQ(AnalyzerBuildNumber(QString::fromLatin1(version)), build) << version;
    // Real white space before the number is taken; a tab too.
    EXPECT_EQ(AnalyzerBuildNumber(QStringLiteral("5.2.\t 1129")), 1129);
    EXPECT_LT(AnalyzerBuildNumber(QStringLiteral("5.2.0.1127")), kMinimumAnalyzerBuild);
    EXPECT_GE(AnalyzerBuildNumber(QStringLiteral("5.2.0.1128")), kMinimumAnalyzerBuild);
}

TEST(AnalyzerRules, TheChineseInterfacesStartQuillonAndOpenTheChineseSite)
{
    EXPECT_EQ(AnalyzerProgramFile(QStringLiteral("zh_cn")), QStringLiteral("quillon"));
    EXPECT_EQ(AnalyzerProgramFile(QStringLiteral("zh_tw")), QStringLiteral("quillon"));
    // The codes are compared exactly.
    EXPECT_EQ(AnalyzerProgramFile(QStringLiteral("ZH_CN")), QStringLiteral("Tessera"));
    EXPECT_EQ(AnalyzerProgramFile(QStringLiteral("en_us")), QStringLiteral("Tessera"));
    EXPECT_EQ(AnalyzerProgramFile(QString()), QStringLiteral("Tessera"));

    const QUrl page = AnalyzerWebPage(QStringLiteral("en_us"));
    const QUrl pageZh = AnalyzerWebPage(QStringLiteral("zh_tw"));
    EXPECT_EQ(page, QUrl(QStringLiteral("https://www.norvane.com/tessera/")));
    EXPECT_EQ(pageZh, QUrl(QStringLiteral("https://www.norvane.com.cn/quillon/")));
    EXPECT_EQ(AnalyzerWebPage(QStringLiteral("zh_cn")), pageZh);
    EXPECT_EQ(AnalyzerWebPage(QStringLiteral("Zh_cn")), page);
}

// A peer on its own thread that takes one connection and then does `act` with it.
class Peer
{
public:
    Peer(const QString& name, std::function<void(QLocalSocket&, const QByteArray&)> act)
    {
        Start(name, std::move(act));
    }
    ~Peer() { m_thread.join(); }

    bool Listening() const { return m_listening; }
    QByteArray Received() const { return m_received; }

private:
    void Start(const QString& name, std::function<void(QLocalSocket&, const QByteArray&)> act)
    {
        m_thread = std::thread([this, name, act] {
            QLocalServer server;
            QLocalServer::removeServer(name);
            m_listening = server.listen(name);
            m_ready = true;
            if (!m_listening || !server.waitForNewConnection(5000))
                return;
            QLocalSocket* socket = server.nextPendingConnection();
            QByteArray frame;
            while (frame.size() < kFrameSize && socket->waitForReadyRead(2000))
                frame += socket->readAll();
            m_received = frame;
            act(*socket, frame);
            socket->waitForBytesWritten(1000);
            socket->disconnectFromServer();
        });
        while (!m_ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    std::thread m_thread;
    std::atomic<bool> m_ready{false};
    bool m_listening = false;
    QByteArray m_received;
};

class AnalyzerLinkTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_nametable";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            static QCoreApplication app(argc, argv);
    }
    QString Name() const { return m_dir.filePath(QStringLiteral("Tessera5Class")); }
    QTemporaryDir m_dir;
};

void Answer(QLocalSocket& socket, quint32 answer)
{
    char bytes[4];
    qToLittleEndian(answer, bytes);
    socket.write(bytes, 4);
}

TEST_F(AnalyzerLinkTest, AnAnswerIsReadAndTheFrameArrivesWhole)
{
    const Transfer check = Make(Check, Ipv4, "Default", 0);
    Peer peer(Name(), [](QLocalSocket& socket, const QByteArray&) { Answer(socket, kIpPresent); });
    ASSERT_TRUE(peer.Listening());
    EXPECT_EQ(AnalyzerLink(Name(), 3000).Send(check, 77), kIpPresent);
    EXPECT_EQ(peer.Received(), EncodeFrame(check, 77));
}

TEST_F(AnalyzerLinkTest, NoPeerAClosedConnectionAShortAnswerOrNoAnswerAreAnswerZero)
{
    const Transfer add = Make(Add, Mac, "PC", 0);
    const AnalyzerLink link(Name(), 400);
    EXPECT_FALSE(link.IsRunning());
    EXPECT_EQ(link.Send(add, 1), kNotHandled);
    {
        Peer closes(Name(), [](QLocalSocket&, const QByteArray&) {});
        EXPECT_EQ(link.Send(add, 1), kNotHandled);
    }
    {
        Peer shortAnswer(
            Name(), [](QLocalSocket& socket, const QByteArray&) { socket.write("\x11\x01", 2); });
        EXPECT_EQ(link.Send(add, 1), kNotHandled);
    }
    {
        // A peer that answers only after the deadline: its answer is not taken.
        Peer late(Name(), [](QLocalSocket& socket, const QByteArray&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1200));
            Answer(socket, 0x99);
        });
        EXPECT_EQ(link.Send(add, 1), kNotHandled);
    }
    // The same peer within the deadline is heard.
    Peer onTime(Name(), [](QLocalSocket& socket, const QByteArray&) { Answer(socket, 0x99); });
    EXPECT_TRUE(AnalyzerLink(Name(), 3000).Send(add, 1) == 0x99u);
}

} // namespace
