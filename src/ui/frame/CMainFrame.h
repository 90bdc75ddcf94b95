#pragma once

#include "app/LanveyMainWindow.h"
#include "support/NVOUI.h"
#include "ui/commands/CommandTarget.h"
#include "ui/frame/FrameEnvironment.h"
#include "ui/lists/ViewHost.h"

#include <QMainWindow>
#include <QTimer>
#include <map>
#include <memory>

class CAppCommands;
class CFindDlg;
class FindTarget;
class CLanveyDoc;
class CLanveyView;
class CScanSession;
class CScanView;
class CWatchControl;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QToolBar;

// The main window: menu bar, the "Standard", "Image" and "Extra" toolbars, the status
// bar and the tabbed client area. It routes every command (active view, frame,
// application), keeps the scan-target box, and saves its placement on close.
class CMainFrame final : public QMainWindow,
                         public LanveyMainWindow,
                         public ViewHost,
                         public CommandTarget
{
    Q_OBJECT

public:
    static constexpr int kUpdateTimerMs = 1000;
    static constexpr int kTargetBoxWidth = 260;
    static constexpr int kStatusPane0Width = 300;

    CMainFrame(CLanveyDoc& doc, FrameEnvironment env, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Applies the stored placement when there is a usable one, then shows the window.
    void RestorePlacementAndShow();

    // The tabbed view tells the frame which tab is now selected (CLanveyView::kScanTab, ...).
    void SwitchToolbar(int tab);
    // Refills the target box from the local adapters; `keep` re-selects `text`.
    void FillTargetList(const QString& text, bool keep);
    // The box's execute notification (an entry picked, or Enter in its edit field).
    // True when it acted: a refill or a scan start.
    bool OnTargetExecute(const QString& text);

    // The target box's text: the selected entry, or what was typed (possibly empty).
    // nullopt when the box does not exist (database tab) or has no entries.
    std::optional<QString> ScanTargetText() const;
    bool HasScanTargetBox() const { return m_pComboTarget != nullptr; }

    // LanveyMainWindow
    void ShowNormalAndActivate() override;
    void CloseFromUninstaller() override;

    // ViewHost
    void SetStatusPane1(const QString& text) override;
    // Runs a command along the route when it is enabled; false when it is disabled or
    // nobody handled it.
    bool RouteCommand(int id) override;
    // The enabling rule of `id` along the route; false when nobody handles it.
    bool IsRouteEnabled(int id) override;
    void UpdateCommandUI() override;
    // With the desktop's handler; a message says so when nothing could open it.
    void OpenUrl(const QUrl& url) override;
    AnalyzerAccess Analyzer() const override;

    // CommandTarget: the frame's own commands.
    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;

    QAction* Action(int id) const;
    QToolBar* StandardToolBar() const { return m_pToolBarStandard; }
    QToolBar* ExtraToolBar() const { return m_pToolBarExtra; }
    QToolBar* ImageToolBar() const { return m_pToolBarImage; }
    QComboBox* TargetCombo() const { return m_pComboTarget; }
    QLabel* StatusPane(int pane) const { return pane == 0 ? m_pStatusPane0 : m_pStatusPane1; }
    QMenu* NameTablePopupMenu() const { return m_pNameTableMenu; }
    CLanveyView* TabView() const { return m_pTabView; }
    CScanView* ScanView() const;
    CScanSession& ScanSession() const { return *m_pScanSession; }
    CWatchControl& Watch() const { return *m_pWatch; }
    CFindDlg* FindDialog() const { return m_pFindDlg; }
    // The list of the current tab as the find dialog searches it; null when there is none.
    FindTarget* ActiveFindTarget() const;
    const QString& SavedTargetText() const { return m_strTargetText; }
    const QTimer& UpdateTimer() const { return m_updateTimer; }
    const CNVOUI& VendorTable() const { return m_oui; }
    int Alias() const { return m_nAlias; }

    // The caption: message 57344, the application title.
    static QString AppTitle();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    void LoadStandardToolbar(const std::vector<int>& buttons);
    void AddButtons(QToolBar* bar, const std::vector<int>& buttons);
    void CreateTargetBox(QToolBar* bar);
    void EnableScanTargetBox(bool enable);
    bool ScanTabShown() const;
    void DestroyTargetBox();
    void UpdateResolutionTip();
    void OnUpdateTimer();
    void OnSetting();
    void OpenHelp();
    void OpenHelpWebPage();
    bool ZhLanguage() const;

    CLanveyDoc& m_doc;
    FrameEnvironment m_env;
    CNVOUI m_oui;
    int m_nAlias = 0;
    QComboBox* m_pComboTarget = nullptr;
    QWidget* m_pTargetBox = nullptr;    // the box with its label
    QAction* m_pTargetAction = nullptr; // the box's place on the toolbar
    QToolBar* m_pToolBarStandard = nullptr;
    QToolBar* m_pToolBarExtra = nullptr;
    QToolBar* m_pToolBarImage = nullptr;
    QLabel* m_pStatusPane0 = nullptr;
    QLabel* m_pStatusPane1 = nullptr;
    QMenu* m_pNameTableMenu = nullptr;
    QString m_strTargetText;
    // Before the views, which show its model; the destructor ends the views first.
    std::unique_ptr<CScanSession> m_pScanSession;
    std::unique_ptr<CWatchControl> m_pWatch;
    // Exit, the tray's Quit or the uninstaller: the close ends the program even while a
    // watch would keep it in the tray.
    bool m_bQuitting = false;
    CLanveyView* m_pTabView = nullptr;
    CFindDlg* m_pFindDlg = nullptr; // a window of its own, owned by the frame
    std::unique_ptr<CAppCommands> m_pAppCommands;
    std::map<int, QAction*> m_actions;
    QTimer m_updateTimer;
};
