#include "ui/nametable/NameTableHandOff.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "support/AddressText.h"
#include "ui/nametable/CADDNMTMULDlg.h"
#include "ui/nametable/CAddNMTIPMACDlg.h"
#include "ui/nametable/CAddToNMTDlg.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QTimer>
#include <QUrl>
#include <new>
#include <thread>

using namespace NameTable;

namespace
{

// Runs `work` on a thread of its own while this thread's event loop goes on without user
// input: the window repaints, nothing can be clicked, and the result is `work`'s.
template <class Work> auto KeepingWindowAlive(Work work)
{
    decltype(work()) result{};
    QEventLoop loop;
    std::thread worker([&] {
        result = work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result;
}

void Pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

void Tell(quint16 id, const char* defaultText, PromptIcon icon)
{
    CurrentMessagePrompt().Ask(FormatLangStringA(id, defaultText), PromptButtons::Ok, icon);
}

// The exclamation box after an add.
void TellDone(bool ipv4, bool mac)
{
    if (ipv4 && mac)
        Tell(131, "Add IP Address and MAC Address to Norvane Tessera completed.",
             PromptIcon::Warning);
    else if (ipv4)
        Tell(134, "Add IP Address to Norvane Tessera completed.", PromptIcon::Warning);
    else
        Tell(135, "Add MAC Address to Norvane Tessera completed.", PromptIcon::Warning);
}

void TellAddFailed()
{
    Tell(166, "Add to NameTable is failure!", PromptIcon::Warning);
}

quint32 MacLow(quint64 mac)
{
    return quint32(mac & 0xFFFFFFFFu);
}

quint16 MacHigh(quint64 mac)
{
    return quint16((mac >> 32) & 0xFFFFu);
}

const QString& DefaultName()
{
    static const QString name = QStringLiteral("Default");
    return name;
}

} // namespace

NameTableHandOff::NameTableHandOff(QWidget* parent, CLanveyDoc& doc, AnalyzerAccess access,
                                   std::function<void(const QUrl&)> openUrl, quint64 sender)
    : m_pParent(parent), m_doc(doc), m_access(std::move(access)), m_openUrl(std::move(openUrl)),
      m_sender(sender)
{
}

void NameTableHandOff::OpenAnalyzerWebPage()
{
    if (m_openUrl)
        m_openUrl(AnalyzerWebPage(m_access.language));
}

void NameTableHandOff::OfferWebPage(const QString& text)
{
    if (CurrentMessagePrompt().Ask(text, PromptButtons::OkCancel, PromptIcon::Error) ==
        PromptAnswer::Ok)
        OpenAnalyzerWebPage();
}

void NameTableHandOff::ReportAnalyzerTooOld()
{
    OfferWebPage(FormatLangStringA(
        218, "Norvane Tessera Version is low, please install it new.\n\nFor more information "
             "about Norvane Tessera, please click \"OK\" to vistit website."));
}

bool NameTableHandOff::FindAnalyzerWindow()
{
    if (m_access.installPath.isEmpty()) {
        OfferWebPage(FormatLangStringA(
            181, "Add to name table failed! System detected that you have not installed "
                 "Norvane Tessera, please install it first.\n\nFor more information about "
                 "Norvane Tessera, please click \"OK\" to vistit website."));
        return false;
    }
    if (AnalyzerBuildNumber(m_access.version) < kMinimumAnalyzerBuild) {
        OfferWebPage(FormatLangStringA(
            218, "Your current version of Norvane Tessera does not support add name table data "
                 "from Lanvey, please install the latest version.\n\nFor more information "
                 "about Norvane Tessera, please click \"OK\" to visit our website."));
        return false;
    }
    if (m_access.Link().IsRunning())
        return true;
    StartAnalyzer(m_access);
    if (WaitForAnalyzer())
        return true;
    Tell(130, "Norvane Tessera start failed, please check whether the installation is correct.",
         PromptIcon::Error);
    return false;
}

bool NameTableHandOff::WaitForAnalyzer()
{
    // The waits take seconds: say what the window is waiting for.
    QProgressDialog progress(FormatLangStringA(0xF2C0, "Starting Norvane Tessera, please wait..."),
                             QString(), 0, m_access.startWaits, m_pParent);
    progress.setObjectName(QStringLiteral("AnalyzerStartProgress"));
    progress.setWindowTitle(FormatLangStringA(162, "Lanvey"));
    progress.setCancelButton(nullptr);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    const BusyCursor busy;
    const AnalyzerLink link = m_access.Link();
    for (int wait = 1; wait <= m_access.startWaits; ++wait) {
        Pause(m_access.startWaitMs);
        progress.setValue(wait);
        if (link.IsRunning())
            return true;
    }
    return false;
}

quint32 NameTableHandOff::Send(const Transfer& transfer)
{
    const BusyCursor busy;
    const AnalyzerLink link = m_access.Link();
    const quint64 sender = m_sender;
    return KeepingWindowAlive([&link, transfer, sender] { return link.Send(transfer, sender); });
}

quint32 NameTableHandOff::SendNameTableIp(quint32 ip, Operation operation, const QString& name,
                                          quint32 color)
{
    Transfer transfer;
    transfer.operation = operation;
    transfer.kind = Ipv4;
    transfer.ip = ip;
    transfer.name = name;
    transfer.color = color;
    return Send(transfer);
}

quint32 NameTableHandOff::SendNameTableMac(quint32 macLow, quint16 macHigh, Operation operation,
                                           const QString& name, quint32 color)
{
    Transfer transfer;
    transfer.operation = operation;
    transfer.kind = Mac;
    transfer.mac = quint64(macLow) | (quint64(macHigh) << 32);
    transfer.name = name;
    transfer.color = color;
    return Send(transfer);
}

void NameTableHandOff::Run(const std::vector<int>& rows, bool ipv4, bool mac, const HostAt& hostAt)
{
    if (rows.empty() || (!ipv4 && !mac))
        return;
    if (!FindAnalyzerWindow())
        return;
    if (rows.size() > 1) {
        MultiHost(rows, ipv4, mac, hostAt);
        return;
    }
    const std::optional<NameTableHost> host = hostAt(rows.front());
    if (!host)
        return;
    if (ipv4 && mac)
        SingleHostBothAddresses(*host);
    else
        SingleHostOneAddress(*host, ipv4);
}

void NameTableHandOff::SingleHostOneAddress(const NameTableHost& host, bool ipv4)
{
    CAddToNMTDlg dialog(m_pParent);
    dialog.m_bIsIpv4 = ipv4;
    dialog.m_strAddress = ipv4 ? FormatIpAddress(host.ip) : FormatMacAddress(host.mac);
    dialog.m_strAlias = host.alias;
    dialog.m_color = 0;

    const quint32 checked =
        ipv4 ? SendNameTableIp(host.ip, Check, DefaultName(), 0)
             : SendNameTableMac(MacLow(host.mac), MacHigh(host.mac), Check, DefaultName(), 0);
    if (checked == kNotHandled) {
        ReportAnalyzerTooOld();
        return;
    }
    if (ipv4 && checked == kIpPresent)
        dialog.m_bIpPresent = true;
    if (!ipv4 && checked == kMacPresent)
        dialog.m_bMacPresent = true;

    if (dialog.exec() != QDialog::Accepted)
        return;
    const quint32 added = ipv4 ? SendNameTableIp(host.ip, Add, dialog.m_strAlias, dialog.m_color)
                               : SendNameTableMac(MacLow(host.mac), MacHigh(host.mac), Add,
                                                  dialog.m_strAlias, dialog.m_color);
    if (added == kNotHandled) {
        ReportAnalyzerTooOld();
        return;
    }
    if (IsAddFailure(added))
        TellAddFailed();
    else
        TellDone(ipv4, !ipv4);
}

void NameTableHandOff::SingleHostBothAddresses(const NameTableHost& host)
{
    CAddNMTIPMACDlg dialog(m_pParent);
    dialog.m_strIp = FormatIpAddress(host.ip);
    dialog.m_strMac = FormatMacAddress(host.mac);
    dialog.m_strAlias = host.alias;
    dialog.m_color = 0;

    const quint32 ipChecked = SendNameTableIp(host.ip, Check, DefaultName(), 0);
    if (ipChecked == kNotHandled) {
        ReportAnalyzerTooOld();
        return;
    }
    dialog.m_bIpPresent = ipChecked == kIpPresent;
    const quint32 macChecked =
        SendNameTableMac(MacLow(host.mac), MacHigh(host.mac), Check, DefaultName(), 0);
    if (macChecked == kNotHandled) {
        ReportAnalyzerTooOld();
        return;
    }
    dialog.m_bMacPresent = macChecked == kMacPresent;

    if (dialog.exec() != QDialog::Accepted)
        return;
    const quint32 ipAdded = SendNameTableIp(host.ip, Add, dialog.m_strAlias, dialog.m_color);
    if (ipAdded == kNotHandled) {
        ReportAnalyzerTooOld();
        return;
    }
    const quint32 macAdded = SendNameTableMac(MacLow(host.mac), MacHigh(host.mac), Add,
                                              dialog.m_strAlias, dialog.m_color);
    if (macAdded == kNotHandled) {
        ReportAnalyzerTooOld();
        return;
    }
    if (IsAddFailure(ipAdded) || IsAddFailure(macAdded))
        TellAddFailed();
    else
        TellDone(true, true);
}

void NameTableHandOff::MultiHost(const std::vector<int>& rows, bool ipv4, bool mac,
                                 const HostAt& hostAt)
{
    // Whatever way the transfer ends, the entries go with it.
    struct ClearEntries {
        CLanveyDoc& doc;
        ~ClearEntries() { doc.ClearNameTableEntries(); }
    } const clear{m_doc};
    m_doc.ClearNameTableEntries();

    try {
        // Scan workers may append records meanwhile.
        const std::lock_guard guard(g_recordLock);
        for (int row : rows) {
            const std::optional<NameTableHost> host = hostAt(row);
            if (!host)
                continue;
            auto entry = std::make_unique<NameTableEntry>();
            entry->ip = host->ip;
            entry->mac = host->mac;
            entry->alias = host->alias;
            m_doc.AppendNameTableEntry(std::move(entry));
        }
    } catch (const std::bad_alloc&) {
        CurrentMessagePrompt().Ask(FormatLangStringA(159, "no space!"), PromptButtons::Ok,
                                   PromptIcon::None);
        return;
    }

    CADDNMTMULDlg dialog(m_doc, m_pParent);
    dialog.m_bWithIpv4 = ipv4;
    dialog.m_bWithMac = mac;
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int count = m_doc.GetNameTableEntryCount();
    if (count == 0)
        return;

    // Every IPv4 add first, then every MAC add.
    for (const bool sendIpv4 : {true, false}) {
        if (sendIpv4 ? !ipv4 : !mac)
            continue;
        for (int i = 0; i < count; ++i) {
            NameTableEntry* entry = m_doc.GetNameTableEntry(i);
            if (!entry || !entry->checked)
                continue;
            const quint32 answer = sendIpv4
                                       ? SendNameTableIp(entry->ip, Add, entry->alias, 0)
                                       : SendNameTableMac(MacLow(entry->mac), MacHigh(entry->mac),
                                                          Add, entry->alias, 0);
            if (answer == kNotHandled) {
                ReportAnalyzerTooOld();
                return;
            }
            entry->result = answer;
        }
    }
    TellDone(ipv4, mac);
}
