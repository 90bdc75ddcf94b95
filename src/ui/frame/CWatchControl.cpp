#include "ui/frame/CWatchControl.h"

#include "app/LanveyMainWindow.h"
#include "app/WatchSession.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "ui/commands/CommandIcons.h"
#include "ui/lists/CScanSession.h"

#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>

CWatchControl::CWatchControl(CLanveyDoc& doc, CScanSession& scans, LanveyMainWindow& window,
                             QString scanProgram, std::function<void()> quit, QObject* parent)
    : QObject(parent), m_window(window), m_pTrayMenu(std::make_unique<QMenu>())
{
    if (scanProgram.isEmpty())
        scanProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/lanvey-scan");
    m_pSession = std::make_unique<WatchSession>(doc, scanProgram);
    connect(&scans, &CScanSession::scanStarted, m_pSession.get(), &WatchSession::ScanStarted);
    connect(&scans, &CScanSession::scanFound, m_pSession.get(), &WatchSession::ScanEnded);
    connect(m_pSession.get(), &WatchSession::watchingChanged, this,
            &CWatchControl::OnWatchingChanged);

    m_pTrayMenu->addAction(FormatLangStringA(0xF32D, "Show"), this,
                           [this] { m_window.ShowNormalAndActivate(); });
    m_pTrayMenu->addSeparator();
    m_pTrayMenu->addAction(FormatLangStringA(0xF32E, "Quit"), this, std::move(quit));
}

CWatchControl::~CWatchControl()
{
    m_pSession->Stop();
}

void CWatchControl::Toggle(const std::optional<QString>& target)
{
    if (m_pSession->IsWatching()) {
        m_pSession->Stop();
        return;
    }
    QString error;
    if (!target || !m_pSession->Start(*target, WatchSettings::Stored(), &error))
        ShowErrorMessage(
            error.isEmpty() ? FormatLangString(184, QStringLiteral("Invalid IP address!")) : error);
}

void CWatchControl::ApplySettings()
{
    m_pSession->ApplySettings(WatchSettings::Stored());
}

bool CWatchControl::KeepsRunningHidden() const
{
    return m_pSession->IsWatching() && m_pTray && m_pTray->isVisible();
}

void CWatchControl::OnWatchingChanged(bool watching)
{
    if (watching && !m_pTray && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_pTray = new QSystemTrayIcon(ShippedIcon("lanvey.png"), this);
        m_pTray->setContextMenu(m_pTrayMenu.get());
        connect(m_pTray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger ||
                        reason == QSystemTrayIcon::DoubleClick)
                        m_window.ShowNormalAndActivate();
                });
    }
    if (!m_pTray)
        return;
    m_pTray->setToolTip(
        FormatLangStringA(0xF32F, "Lanvey is watching %s_TARGET%", {m_pSession->Target()}));
    m_pTray->setVisible(watching);
}
