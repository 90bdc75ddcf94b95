#pragma once

#include "nametable/AnalyzerAccess.h"
#include "nametable/NameTableTransfer.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

class CLanveyDoc;
class QUrl;
class QWidget;

// One host of a list as the name table gets it.
struct NameTableHost {
    quint32 ip = 0;
    quint64 mac = 0;
    QString alias; // the alias the list proposes
};

// One hand-off of selected hosts to the analyzer's name table: find the analyzer (start
// it when it is installed but not running), ask about a single host's addresses, let the
// user confirm alias and colour in a dialog, and send one add per address. Everything
// runs on the user-interface thread; while the analyzer starts or a message waits for
// its answer the window keeps repainting and takes no input.
class NameTableHandOff
{
public:
    // `hostAt` reads the record of a list row; null for a row without one.
    using HostAt = std::function<std::optional<NameTableHost>(int row)>;

    NameTableHandOff(QWidget* parent, CLanveyDoc& doc, AnalyzerAccess access,
                     std::function<void(const QUrl&)> openUrl, quint64 sender);

    // `rows`: the selected rows in list order.
    void Run(const std::vector<int>& rows, bool ipv4, bool mac, const HostAt& hostAt);

    // The analyzer is installed, new enough and listening (started and waited for when
    // it was not). Each failure has told the user why.
    bool FindAnalyzerWindow();
    void ReportAnalyzerTooOld();
    void OpenAnalyzerWebPage();

    quint32 SendNameTableIp(quint32 ip, NameTable::Operation operation, const QString& name,
                            quint32 color);
    quint32 SendNameTableMac(quint32 macLow, quint16 macHigh, NameTable::Operation operation,
                             const QString& name, quint32 color);

private:
    void SingleHostOneAddress(const NameTableHost& host, bool ipv4);
    void SingleHostBothAddresses(const NameTableHost& host);
    void MultiHost(const std::vector<int>& rows, bool ipv4, bool mac, const HostAt& hostAt);
    quint32 Send(const NameTable::Transfer& transfer);
    // A stop box with OK and Cancel; OK opens the analyzer's page.
    void OfferWebPage(const QString& text);
    bool WaitForAnalyzer();

    QWidget* m_pParent;
    CLanveyDoc& m_doc;
    AnalyzerAccess m_access;
    std::function<void(const QUrl&)> m_openUrl;
    quint64 m_sender;
};
