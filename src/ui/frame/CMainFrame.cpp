#include "ui/frame/CMainFrame.h"

#include "app/LanveyApp.h"
#include "app/ProfileSettings.h"
#include "app/WatchSession.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "scan/ScanJob.h"
#include "support/AddressText.h"
#include "support/NVBase64.h"
#include "ui/commands/CommandIcons.h"
#include "ui/commands/CommandIds.h"
#include "ui/commands/CommandTable.h"
#include "ui/dialogs/CFindDlg.h"
#include "ui/dialogs/CSettingSheet.h"
#include "ui/dialogs/FindTarget.h"
#include "ui/frame/CAppCommands.h"
#include "ui/frame/CLanveyView.h"
#include "ui/frame/CWatchControl.h"
#include "ui/frame/WindowPlacement.h"
#include "ui/lists/CScanSession.h"
#include "ui/lists/CScanView.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>
#include <mutex>

namespace
{

// The pages the help, homepage and forum commands open, kept encoded with the program's
// alphabet. Chinese interfaces get the pages of the Chinese site.
constexpr const char* kHelpPage = "Pxb_AxgOTjleoeA6u3ljo3268Nn5uS_QuZ26o3HnTSXiuxVQ";
constexpr const char* kHelpPageZh = "Pxb_AxgOTjleoeA6u3ljo3268Nn5uS_6dSUQuZ26o3HnTSXiuxVQ";
constexpr const char* kHomePage = "Pxb_AxgOTjleoeA6u3ljo3268Nn5uS_Q";
constexpr const char* kHomePageZh = "Pxb_AxgOTjleoeA6u3ljo3268Nn5uS_6dSUQ";
constexpr const char* kForumPage = "Pxb_AxgOTjl3uecvuNn6uecSdsniT3RQuNI-";

QUrl StoredAddress(const char* encoded)
{
    return QUrl(QString::fromLatin1(
        NVBase64_Decode(QByteArray(encoded), kLanveyBase64Table).value_or(QByteArray())));
}

void ApplyBarSettings(QToolBar* bar)
{
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
}

} // namespace

CMainFrame::CMainFrame(CLanveyDoc& doc, FrameEnvironment env, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_env(std::move(env))
{
    setObjectName(QStringLiteral("LanveyClass"));
    setWindowIcon(ShippedIcon("lanvey.png"));
    setWindowTitle(AppTitle());

    m_pAppCommands = std::make_unique<CAppCommands>(*this, [this] { OpenHelpWebPage(); });

    CreateStatusBar();
    CreateActions();
    CreateMenus();

    m_pScanSession = std::make_unique<CScanSession>(m_doc, *m_env.probe);
    connect(m_pScanSession.get(), &CScanSession::statusTextChanged, this,
            &CMainFrame::SetStatusPane1);
    connect(m_pScanSession.get(), &CScanSession::scanStateChanged, this,
            &CMainFrame::UpdateCommandUI);
    // A scan may change how addresses are resolved (adapters come and go between scans).
    connect(m_pScanSession.get(), &CScanSession::scanStateChanged, this,
            &CMainFrame::UpdateResolutionTip);
    m_pWatch =
        std::make_unique<CWatchControl>(m_doc, *m_pScanSession, *this, m_env.scanProgram, [this] {
            m_bQuitting = true;
            close();
        });
    connect(&m_pWatch->Session(), &WatchSession::watchingChanged, this,
            &CMainFrame::UpdateCommandUI);
    m_pTabView = new CLanveyView(m_doc, *m_pScanSession, m_pWatch->Session(), this, this);
    setCentralWidget(m_pTabView);
    connect(m_pTabView, &CLanveyView::tabSwitched, this, &CMainFrame::SwitchToolbar);

    CreateToolBars();

    // Created hidden; Find shows it and a hit or Close hides it again.
    m_pFindDlg = new CFindDlg([this] { return ActiveFindTarget(); }, this);

    // Read from "CommandBars", saved as "CommandBars_ver10" (closeEvent): the stored
    // profiles keep both names. The bars cannot be moved, so nothing is lost.
    const QByteArray layout = GetProfileBinary(QStringLiteral("CommandBars"), QString());
    if (!layout.isEmpty())
        restoreState(layout);

    FillTargetList(QString(), false);

    m_updateTimer.setSingleShot(true);
    m_updateTimer.setInterval(kUpdateTimerMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &CMainFrame::OnUpdateTimer);
    m_updateTimer.start();

    m_oui.Open();
    m_doc.SetVendorTable(&m_oui);

    resize(1280, 760);
    UpdateCommandUI();
}

CMainFrame::~CMainFrame()
{
    // The lists go before the session whose model the scan list shows; the session then
    // waits for the workers of a scan that still runs.
    delete takeCentralWidget();
    m_pTabView = nullptr;
    m_pWatch.reset();
    m_pScanSession.reset();
    m_doc.SetVendorTable(nullptr);
}

QString CMainFrame::AppTitle()
{
    return ::AppTitle();
}

CScanView* CMainFrame::ScanView() const
{
    return m_pTabView->ScanView();
}

FindTarget* CMainFrame::ActiveFindTarget() const
{
    return m_pTabView ? dynamic_cast<FindTarget*>(m_pTabView->ActiveView()) : nullptr;
}

void CMainFrame::CreateStatusBar()
{
    m_pStatusPane0 = new QLabel(this);
    m_pStatusPane0->setFixedWidth(kStatusPane0Width);
    m_pStatusPane1 = new QLabel(this);
    statusBar()->addWidget(m_pStatusPane0);
    statusBar()->addPermanentWidget(m_pStatusPane1, 1);
    statusBar()->setSizeGripEnabled(true);
}

void CMainFrame::CreateActions()
{
    for (const CommandInfo& info : CommandTable()) {
        auto* action = new QAction(MenuText(info.menuText), this);
        action->setData(info.id);
        action->setIconText(CommandButtonText(info.id));
        action->setStatusTip(CommandPrompt(info.id));
        const QString tooltip = CommandTooltip(info.id).trimmed();
        action->setToolTip(tooltip.isEmpty() ? CommandButtonText(info.id) : tooltip);
        action->setIcon(CommandIcon(info.id));
        action->setIconVisibleInMenu(false);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, id = info.id] { RouteCommand(id); });
        // On the frame itself, so that the accelerators work wherever the focus is.
        addAction(action);
        m_actions[info.id] = action;
    }
    for (const AcceleratorInfo& accelerator : AcceleratorTable())
        if (QAction* action = Action(accelerator.id))
            action->setShortcut(accelerator.keys);
    Action(ID_VIEW_STATUS_BAR)->setCheckable(true);
    Action(ID_VIEW_STATUS_BAR)->setChecked(true);
    Action(ID_SCAN_WATCH)->setCheckable(true);

    m_pNameTableMenu = new QMenu(MenuText(kNameTableMenuTitle), this);
    for (int id : NameTableMenu())
        m_pNameTableMenu->addAction(Action(id));
    Action(ID_NAMETABLE_POPUP)->setMenu(m_pNameTableMenu);
}

void CMainFrame::CreateMenus()
{
    for (const MenuInfo& info : MainMenu()) {
        QMenu* menu = menuBar()->addMenu(MenuText(info.title));
        for (int id : info.items) {
            if (id == 0)
                menu->addSeparator();
            else if (id == kSubmenuNameTable)
                menu->addMenu(m_pNameTableMenu);
            else
                menu->addAction(Action(id));
        }
        // Menus show the same enabling as the buttons, asked afresh as they open.
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
    connect(m_pNameTableMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    menuBar()->setContextMenuPolicy(Qt::PreventContextMenu);
}

void CMainFrame::CreateToolBars()
{
    m_pToolBarStandard = addToolBar(QStringLiteral("Standard"));
    m_pToolBarStandard->setObjectName(QStringLiteral("Standard"));
    ApplyBarSettings(m_pToolBarStandard);
    LoadStandardToolbar(ScanToolbarButtons());

    // The logo sits at the far end of the "Standard" row.
    m_pToolBarImage = addToolBar(QStringLiteral("Image"));
    m_pToolBarImage->setObjectName(QStringLiteral("Image"));
    ApplyBarSettings(m_pToolBarImage);
    auto* spacer = new QWidget(m_pToolBarImage);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_pToolBarImage->addWidget(spacer);
    auto* logo = new QLabel(m_pToolBarImage);
    logo->setObjectName(QStringLiteral("Logo"));
    logo->setPixmap(ShippedPixmap("logo.png"));
    m_pToolBarImage->addWidget(logo);

    addToolBarBreak();
    m_pToolBarExtra = addToolBar(QStringLiteral("Extra"));
    m_pToolBarExtra->setObjectName(QStringLiteral("Extra"));
    ApplyBarSettings(m_pToolBarExtra);
    AddButtons(m_pToolBarExtra, ExtraToolbarButtons());
}

void CMainFrame::AddButtons(QToolBar* bar, const std::vector<int>& buttons)
{
    for (int id : buttons) {
        if (id == 0) {
            bar->addSeparator();
        } else if (id == ID_SCAN_TARGET) {
            CreateTargetBox(bar);
        } else if (QAction* action = Action(id)) {
            bar->addAction(action);
            if (id == ID_NAMETABLE_POPUP) {
                if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
                    button->setPopupMode(QToolButton::InstantPopup);
                    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
                }
            }
        }
    }
}

void CMainFrame::LoadStandardToolbar(const std::vector<int>& buttons)
{
    DestroyTargetBox();
    const QList<QAction*> actions = m_pToolBarStandard->actions();
    for (QAction* action : actions) {
        m_pToolBarStandard->removeAction(action);
        // Separators belong to the bar; the command actions to the frame.
        if (action->parent() == m_pToolBarStandard)
            delete action;
    }
    AddButtons(m_pToolBarStandard, buttons);
}

void CMainFrame::SwitchToolbar(int tab)
{
    if (m_pComboTarget)
        m_strTargetText = m_pComboTarget->currentText();
    if (tab == CLanveyView::kScanTab) {
        LoadStandardToolbar(ScanToolbarButtons());
        FillTargetList(m_strTargetText, true);
        SetStatusPane1(FormatLangString(144, QStringLiteral("Found %d_HOSTS% hosts."),
                                        {m_doc.GetScanRecordCount()}));
    } else if (tab == CLanveyView::kWatchTab) {
        LoadStandardToolbar(WatchToolbarButtons());
        FillTargetList(m_strTargetText, true);
    } else {
        LoadStandardToolbar(DatabaseToolbarButtons());
        SetStatusPane1(FormatLangString(147, QStringLiteral("Total %d_HOSTS% hosts."),
                                        {m_doc.GetDatabaseRecordCount()}));
    }
    UpdateCommandUI();
}

bool CMainFrame::ScanTabShown() const
{
    return m_pTabView && m_pTabView->GetCurSel() == CLanveyView::kScanTab;
}

void CMainFrame::SetStatusPane1(const QString& text)
{
    m_pStatusPane1->setText(text);
}

QAction* CMainFrame::Action(int id) const
{
    const auto found = m_actions.find(id);
    return found == m_actions.end() ? nullptr : found->second;
}

bool CMainFrame::IsRouteEnabled(int id)
{
    CommandTarget* route[] = {m_pTabView ? m_pTabView->ActiveView() : nullptr, this,
                              m_pAppCommands.get()};
    for (CommandTarget* target : route)
        if (target)
            if (const std::optional<bool> enabled = target->IsCommandEnabled(id))
                return *enabled;
    return false;
}

bool CMainFrame::RouteCommand(int id)
{
    if (!IsRouteEnabled(id))
        return false;
    CommandTarget* route[] = {m_pTabView->ActiveView(), this, m_pAppCommands.get()};
    bool handled = false;
    for (CommandTarget* target : route) {
        if (target && target->OnCommand(id)) {
            handled = true;
            break;
        }
    }
    UpdateCommandUI();
    return handled;
}

void CMainFrame::UpdateCommandUI()
{
    for (const auto& [id, action] : m_actions)
        action->setEnabled(IsRouteEnabled(id));
    Action(ID_VIEW_STATUS_BAR)->setChecked(statusBar()->isVisibleTo(this));
    Action(ID_SCAN_WATCH)->setChecked(m_pWatch && m_pWatch->Session().IsWatching());
}

bool CMainFrame::OnCommand(int id)
{
    switch (id) {
    case ID_SCAN_START:
        m_pScanSession->Start(ScanTargetText());
        return true;
    case ID_SCAN_PAUSE:
        m_pScanSession->Pause();
        return true;
    case ID_SCAN_STOP:
        m_pScanSession->Stop();
        return true;
    case ID_SCAN_WATCH:
        m_pWatch->Toggle(HasScanTargetBox() ? ScanTargetText() : m_strTargetText);
        return true;
    case ID_APP_EXIT:
        // The application's close follows.
        m_bQuitting = true;
        return false;
    case ID_EDIT_FIND:
        m_pFindDlg->show();
        m_pFindDlg->raise();
        m_pFindDlg->activateWindow();
        return true;
    case ID_EDIT_FIND_NEXT:
        // Repeating the last search is the lists' own command.
        return true;
    case ID_SETTING:
        OnSetting();
        return true;
    case ID_HELP_CHECK_VERSION:
        if (m_env.checkForUpdate)
            m_env.checkForUpdate(this, 0);
        return true;
    case ID_HELP_HOMEPAGE:
        OpenUrl(StoredAddress(ZhLanguage() ? kHomePageZh : kHomePage));
        return true;
    case ID_HELP_FORUM:
        OpenUrl(StoredAddress(kForumPage));
        return true;
    case ID_HELP_INDEX:
    case ID_HELP_FINDER:
    case ID_HELP:
    case ID_CONTEXT_HELP:
    case ID_HELP_SEARCH:
        OpenHelp();
        return true;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(!statusBar()->isVisibleTo(this));
        return true;
    default:
        return false;
    }
}

std::optional<bool> CMainFrame::IsCommandEnabled(int id)
{
    const CScanJob& job = m_pScanSession->Job();
    switch (id) {
    case ID_SCAN_START: {
        // The scan commands belong to the scan list's tab.
        if (!ScanTabShown())
            return false;
        if (!g_hPauseScanEvent.IsSet())
            return true; // Start resumes a paused scan
        if (HasScanTargetBox()) {
            // The box follows Start: no new target can be picked while a scan runs.
            const bool enable = !job.IsScanning();
            EnableScanTargetBox(enable);
            return enable;
        }
        return job.CanStart();
    }
    case ID_SCAN_PAUSE:
        return ScanTabShown() && job.CanPause();
    case ID_SCAN_STOP:
        return ScanTabShown() && job.CanStop();
    case ID_SCAN_WATCH: {
        // On the watch's tab the box picks what to watch: not while a watch runs.
        const bool watching = m_pWatch->Session().IsWatching();
        if (m_pTabView && m_pTabView->GetCurSel() == CLanveyView::kWatchTab)
            EnableScanTargetBox(!watching);
        return watching || HasScanTargetBox() || !m_strTargetText.isEmpty();
    }
    case ID_EDIT_FIND:
    case ID_EDIT_FIND_NEXT:
    case ID_SETTING:
    case ID_HELP_HOMEPAGE:
    case ID_HELP_FORUM:
    case ID_HELP_INDEX:
    case ID_HELP_FINDER:
    case ID_HELP:
    case ID_CONTEXT_HELP:
    case ID_HELP_SEARCH:
    case ID_VIEW_STATUS_BAR:
        return true;
    case ID_HELP_CHECK_VERSION:
        return static_cast<bool>(m_env.checkForUpdate);
    default:
        return std::nullopt;
    }
}

void CMainFrame::OnSetting()
{
    m_nAlias = GetProfileInt(QStringLiteral("Alias"), 0);
    CSettingSheet sheet(FormatLangString(140, QStringLiteral("Setting")), m_nAlias, this);
    if (sheet.exec() == QDialog::Accepted)
        m_pWatch->ApplySettings();
}

void CMainFrame::OnUpdateTimer()
{
    if (m_env.autoCheckUpdate && m_env.checkForUpdate)
        m_env.checkForUpdate(this, 1);
}

bool CMainFrame::ZhLanguage() const
{
    return m_env.language == QLatin1String("zh_cn") || m_env.language == QLatin1String("zh_tw");
}

void CMainFrame::OpenUrl(const QUrl& url)
{
    const bool opened = m_env.openUrl ? m_env.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        // No browser or handler: say so, with the address to open by hand.
        const QString shown =
            url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
        CurrentMessagePrompt().Ask(
            FormatLangString(0xF289,
                             QStringLiteral("No program on this system could open \"%s_URL%\". "
                                            "Please open it in a web browser."),
                             {shown}),
            PromptButtons::Ok, PromptIcon::Warning);
    }
}

AnalyzerAccess CMainFrame::Analyzer() const
{
    AnalyzerAccess access = m_env.analyzer;
    access.language = m_env.language;
    return access;
}

void CMainFrame::OpenHelpWebPage()
{
    OpenUrl(StoredAddress(ZhLanguage() ? kHelpPageZh : kHelpPage));
}

void CMainFrame::OpenHelp()
{
    // Topics and the search page belong to the help viewer; the desktop's handler opens
    // the help file at its start.
    if (!m_env.helpFile.isEmpty())
        OpenUrl(QUrl::fromLocalFile(m_env.helpFile));
    else
        OpenHelpWebPage();
}

void CMainFrame::RestorePlacementAndShow()
{
    const std::optional<WindowPlacement> placement =
        DecodeWindowPlacement(GetProfileBinary(QStringLiteral("WindowsPos")));
    if (placement && placement->state != PlacementShowState::Minimized &&
        restoreGeometry(placement->geometry)) {
        if (placement->state == PlacementShowState::Maximized)
            showMaximized();
        else
            show();
        return;
    }
    showNormal();
}

void CMainFrame::ShowNormalAndActivate()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void CMainFrame::CloseFromUninstaller()
{
    m_bQuitting = true;
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (!m_bQuitting && m_pWatch->KeepsRunningHidden()) {
        // The watch goes on in the tray; its menu shows the window again.
        hide();
        event->ignore();
        return;
    }
    WriteProfileBinary(QStringLiteral("CommandBars_ver10"), saveState(), QString());
    // A running scan stops; its workers see this at their next check.
    g_hCancelScanEvent.Set();
    WriteProfileBinary(QStringLiteral("WindowsPos"), EncodeWindowPlacement(*this));
    event->accept();
}

bool CMainFrame::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        m_pStatusPane0->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::changeEvent(QEvent* event)
{
    // Whoever sets a caption, the application title stays.
    if (event->type() == QEvent::WindowTitleChange && windowTitle() != AppTitle())
        setWindowTitle(AppTitle());
    QMainWindow::changeEvent(event);
}

QMenu* CMainFrame::createPopupMenu()
{
    return nullptr;
}
