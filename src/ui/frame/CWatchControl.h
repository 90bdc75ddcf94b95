#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class CLanveyDoc;
class CScanSession;
class LanveyMainWindow;
class QMenu;
class QSystemTrayIcon;
class WatchSession;

// The window's side of a watch: Watch (F6) starts and ends it, the window's own scans
// stand in for a sweep that falls due while they run, and where the desktop has a tray
// an icon there shows that a watch runs and keeps it when the window is closed. Its menu
// shows the window again or quits.
class CWatchControl final : public QObject
{
    Q_OBJECT

public:
    // `scanProgram` is the lanvey-scan the sweeps run (empty: the one beside this
    // program); `quit` ends the program.
    CWatchControl(CLanveyDoc& doc, CScanSession& scans, LanveyMainWindow& window,
                  QString scanProgram, std::function<void()> quit, QObject* parent = nullptr);
    ~CWatchControl() override;

    WatchSession& Session() const { return *m_pSession; }

    // Watch: ends a running watch, else starts one of `target` (the target box's text);
    // a target that does not parse is said so.
    void Toggle(const std::optional<QString>& target);
    // The settings sheet's values, for the watch that runs and the next.
    void ApplySettings();
    // A close of the window while watching, with a tray: the window is to hide and the
    // watch to go on.
    bool KeepsRunningHidden() const;

    QSystemTrayIcon* Tray() const { return m_pTray; }
    QMenu* TrayMenu() const { return m_pTrayMenu.get(); }

private:
    void OnWatchingChanged(bool watching);

    std::unique_ptr<WatchSession> m_pSession;
    LanveyMainWindow& m_window;
    std::unique_ptr<QMenu> m_pTrayMenu;
    QSystemTrayIcon* m_pTray = nullptr;
};
