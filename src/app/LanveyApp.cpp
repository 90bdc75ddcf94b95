#include "app/LanveyApp.h"

#include "app/InstanceServer.h"
#include "lang/AnsiCodePage.h"
#include "lang/LangString.h"
#include "lang/LangStringSource.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "scan/ScanJob.h"
#include "app/AppPath.h"
#include "support/ConfigFile.h"
#include "app/CrashReporter.h"
#include "app/InstallLayout.h"
#include "app/LanguageRegistration.h"
#include "support/MakeSureFolderPathExists.h"
#include "support/NVBase64.h"
#include "app/NVUpdate.h"
#include "support/RuntimeFolder.h"
#include "app/ToolRegistry.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>

namespace
{

CLanveyApp* g_theApp = nullptr;

constexpr char kPreviousDataFolder[] = "Norvane Lanvey 2.1";
constexpr char kDatabaseFile[] = "Database.lvdat";
constexpr char kSettingsFile[] = "lanvey.ini";
constexpr char kAnalyzerKey[] = "Norvane Tessera";
// The support address the crash reports name, kept encoded with the program's alphabet.
constexpr char kEncodedSupportAddress[] =
    "Pxb_AxgOTjleoeA6u3ljo3268Nni1Z2DAZFiTeRvAxqQAWJQdecXASkDA3Hruec_";

// The requests the running instance takes on its local server, one a line.
constexpr char kShowRequest[] = "show";
constexpr char kCloseRequest[] = "close";

QString WithSlash(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// Switches of the command line: '/' or '-' and a name, compared without regard to case.
bool IsSwitch(const QString& argument, std::initializer_list<const char*> names)
{
    if (argument.size() < 2 || (argument[0] != u'/' && argument[0] != u'-'))
        return false;
    const QStringView name = QStringView(argument).sliced(1);
    for (const char* candidate : names) {
        if (name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

CLanveyApp::Mode ShellCommandOf(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (IsSwitch(arguments[i], {"register", "regserver"}))
            return CLanveyApp::Mode::Register;
        if (IsSwitch(arguments[i], {"unregister", "unregserver"}))
            return CLanveyApp::Mode::Unregister;
    }
    return CLanveyApp::Mode::Normal;
}

// The installer's language: the command line is "<program> /Register [/lan] <code>";
// with "/lan" the code is stored in lower case, a bare code as it was given.
QString InstallerLanguage(const QStringList& arguments)
{
    if (arguments.size() < 4)
        return QStringLiteral("en_us");
    if (arguments[2].compare(QLatin1String("/lan"), Qt::CaseInsensitive) == 0)
        return arguments[3].toLower();
    return arguments[2];
}

void RemoveSettingsFile(QSettings& settings)
{
    settings.clear();
    settings.sync();
    QFile::remove(settings.fileName());
}

} // namespace

CLanveyApp::CLanveyApp(LanveyAppOptions options) : m_options(std::move(options))
{
    if (!g_theApp)
        g_theApp = this;
    // The data folder is not known yet, so reports go to a relative folder until
    // start-up has made it (see WorkOutFolders' caller).
    const QByteArray support =
        NVBase64_Decode(kEncodedSupportAddress, kLanveyBase64Table).value_or(QByteArray());
    m_hCrashReport =
        NVCR_Install(nullptr, support.constData(), "Crash Report",
                     (m_strDataFolder + QStringLiteral("CrashReport")).toLocal8Bit(), 1);
}

CLanveyApp::~CLanveyApp()
{
    if (m_pMainWnd || m_pDoc || m_hInstanceMutex)
        ExitInstance();
    NVCR_Uninstall(m_hCrashReport);
    if (g_theApp == this)
        g_theApp = nullptr;
}

CLanveyApp* CLanveyApp::Instance()
{
    return g_theApp;
}

std::unique_ptr<QSettings> CLanveyApp::OpenProfile()
{
    return std::make_unique<QSettings>(QSettings::UserScope, QLatin1String(kCompanyKey),
                                       QLatin1String(kProductKeyName));
}

bool CLanveyApp::InitInstance(const QStringList& arguments, const MainWindowFactory& factory,
                              LanveyStartupUi* ui)
{
    m_pStartupUi = ui;
    // Sockets and OLE need no start-up here.

    // One instance at a time: whoever holds the lock is the first. A lock left by a
    // process that died is taken over; a live one never goes stale, however old. Lock
    // and server sit in a folder only this user may enter; in a shared one another
    // user could take the names first. Without such a folder there is no guard, and
    // this process runs as the only instance it knows of.
    if (m_options.instanceLockPath.isEmpty() || m_options.instanceServerName.isEmpty()) {
        const QString runtime = PrivateRuntimeFolder();
        if (!runtime.isEmpty() && m_options.instanceLockPath.isEmpty())
            m_options.instanceLockPath = runtime + QStringLiteral("/Lanvey");
        if (!runtime.isEmpty() && m_options.instanceServerName.isEmpty())
            m_options.instanceServerName = runtime + QStringLiteral("/LanveyClass");
    }
    m_bFirstInstance = true;
    if (!m_options.instanceLockPath.isEmpty()) {
        m_hInstanceMutex = std::make_unique<QLockFile>(m_options.instanceLockPath);
        m_hInstanceMutex->setStaleLockTime(0);
        m_bFirstInstance = m_hInstanceMutex->tryLock(0);
    }

    NVBase64_SetEncodeTable(kLanveyBase64Table);

    m_strProgramFile = m_options.programFile.isEmpty() ? QCoreApplication::applicationFilePath()
                                                       : m_options.programFile;
    // An installed copy finds its folder below its prefix; the build tree's program
    // keeps everything beside itself.
    const QString installedFolder =
        m_options.appFolder.isEmpty() ? InstalledProgramFolder(m_strProgramFile) : QString();
    m_bInstalledCopy = !installedFolder.isEmpty();
    m_strAppFolder = WithSlash(!m_options.appFolder.isEmpty() ? m_options.appFolder
                               : m_bInstalledCopy             ? installedFolder
                                                  : QFileInfo(m_strProgramFile).absolutePath());

    // The default QSettings is the per-user profile from here on.
    QCoreApplication::setOrganizationName(QLatin1String(kCompanyKey));
    QCoreApplication::setApplicationName(QLatin1String(kProductKeyName));
    m_strAppName = QLatin1String(kProductKeyName);

    // An installed copy has its desktop entry from the package (or make install); one in
    // the user's folder by the same name would hide that one from the menus.
    if (!m_bInstalledCopy)
        RegisterAppPath(QLatin1String(kProductName), m_strProgramFile, 1,
                        m_options.applicationsFolder);

    WorkOutFolders();

    m_mode = ShellCommandOf(arguments);
    if (m_mode == Mode::Register) {
        RunRegisterMode(arguments);
    } else if (m_mode == Mode::Unregister) {
        RunUnregisterMode(arguments.join(u' ').toLower(), ui);
        return true;
    }

    if (!m_bFirstInstance) {
        m_mode = Mode::SecondInstance;
        ActivateRunningInstance();
        return false;
    }

    // Listen before anything can show a message box: a later start meanwhile finds us
    // (and the uninstaller can stop us) instead of finding no window.
    if (m_mode == Mode::Normal)
        ListenForOtherInstances();

    LoadLanguage(CLanguageModule::Messages::All);

    m_strAppName = QLatin1String(kProductName);
    const QString helpFile =
        QStringLiteral("%1mui/%2/Lanvey.chm").arg(m_strAppFolder, m_strLanguage);
    m_bHelpFileExists = QFileInfo::exists(helpFile);
    m_strHelpFile = m_bHelpFileExists ? helpFile : QString();

    // The settings file is written only by the installer (and the settings sheet), in
    // our encoding; anything we cannot read leaves the automatic check off.
    const QString settingsPath = m_strAppFolder + QLatin1String(kSettingsFile);
    CConfigFile settings;
    m_bAutoCheckUpdate =
        settings.ReadEncoded(settingsPath) &&
        !settings.GetValue(QStringLiteral("Settings"), QStringLiteral("EnableAutoCheckUpdate"))
             .isEmpty();

    // The companion analyzer. Its data folder is named after the product sold in the
    // user's language, but its registration is always under the one key.
    const QString appData = m_options.appDataFolder.value_or(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    const QString fallback =
        WithSlash(m_options.fallbackFolder.isEmpty() ? QDir::homePath() : m_options.fallbackFolder);
    const bool chinese = m_strLanguage.compare(QLatin1String("zh_cn"), Qt::CaseInsensitive) == 0 ||
                         m_strLanguage.compare(QLatin1String("zh_tw"), Qt::CaseInsensitive) == 0;
    const QString analyzerName =
        chinese ? QStringLiteral("Norvane Quillon") : QStringLiteral("Norvane Tessera");
    m_strAnalyzerDataFolder = appData.isEmpty() ? fallback + analyzerName + u'/'
                                                : WithSlash(appData) + analyzerName + u'/';
    if (!MakeSureFolderPathExists(m_strDataFolder)) {
        m_strDataFolder = fallback;
        m_strAnalyzerDataFolder = fallback;
    }
    NVCR_SetReportFolder(m_hCrashReport,
                         (m_strDataFolder + QStringLiteral("CrashReport")).toLocal8Bit());
    {
        QSettings machine(QSettings::SystemScope, QLatin1String(kCompanyKey));
        machine.beginGroup(QLatin1String(kAnalyzerKey));
        if (machine.contains(QStringLiteral("InstallPath")))
            m_strAnalyzerInstallPath =
                machine.value(QStringLiteral("InstallPath")).toString() + u'/';
        if (machine.contains(QStringLiteral("Version")))
            m_strAnalyzerVersion = machine.value(QStringLiteral("Version")).toString();
    }

    if (m_mode == Mode::Register) {
        const QString commandLine = arguments.join(u' ').toLower();
        if (commandLine.contains(QLatin1String("/regtool")))
            NVNTL_RegisterTool(QLatin1String(kLanveyToolId), FormatLangStringA(162, "Lanvey"),
                               m_strProgramFile, nullptr, nullptr, 1);
        if (commandLine.contains(QLatin1String("/autocheckupdate"))) {
            settings.SetValue(QStringLiteral("Settings"), QStringLiteral("EnableAutoCheckUpdate"),
                              1);
            settings.WriteEncoded(settingsPath);
        }
        return false;
    }

    return StartMainWindow(factory);
}

void CLanveyApp::WorkOutFolders()
{
    const QString fallback =
        WithSlash(m_options.fallbackFolder.isEmpty() ? QDir::homePath() : m_options.fallbackFolder);

    QString common = m_options.commonFilesFolder.value_or(QStringLiteral("/usr/local/share"));
    if (common.isEmpty())
        common = QStringLiteral("/usr/local/share");
    m_strSharedFolder = WithSlash(common) + QStringLiteral("Norvane Shared/");
    if (!MakeSureFolderPathExists(m_strSharedFolder))
        m_strSharedFolder = fallback;

    const QString appData = m_options.appDataFolder.value_or(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    m_strDataFolder =
        (appData.isEmpty() ? fallback : WithSlash(appData)) + QLatin1String(kProductName) + u'/';
}

void CLanveyApp::RunRegisterMode(const QStringList& arguments)
{
    MakeSureFolderPathExists(m_strDataFolder);

    // Bring the database of the previous version along, never over one we already have
    // (QFile::copy does not overwrite).
    const QString appData = m_options.appDataFolder.value_or(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    const QString oldRoot =
        appData.isEmpty() ? WithSlash(m_options.fallbackFolder.isEmpty() ? QDir::homePath()
                                                                         : m_options.fallbackFolder)
                          : WithSlash(appData);
    const QString oldDatabase =
        oldRoot + QLatin1String(kPreviousDataFolder) + u'/' + QLatin1String(kDatabaseFile);
    const QString database = m_strDataFolder + QLatin1String(kDatabaseFile);
    if (QFileInfo::exists(oldDatabase) && !QFileInfo::exists(database))
        QFile::copy(oldDatabase, database);

    NVMUI_RegisterApplication(m_strSharedFolder + QStringLiteral("mui"), QStringLiteral("en_us"),
                              nullptr);

    const QString language = InstallerLanguage(arguments);
    if (!NVMUI_WriteUserLanguage(language))
        CurrentMessagePrompt().Ask(
            FormatLangStringA(129, "WriteUserLanguage (%s_WRITE%) failed.", {language}),
            PromptButtons::Ok, PromptIcon::None);
}

void CLanveyApp::RunUnregisterMode(const QString& commandLine, LanveyStartupUi* ui)
{
    if (!m_bFirstInstance) {
        // The wait dialog speaks the user's language; an uninstaller has no use for
        // complaints about the module.
        LoadLanguage(CLanguageModule::Messages::None);
        if (ui)
            ui->ShowUnregisterWait(
                QLatin1String(kProductName),
                FormatLangStringA(61952, "Stopping %s_PRODUCT% instance, please waiting...",
                                  {QString::fromLatin1(kProductName)}));
        bool found = false;
        for (int attempt = 0; attempt < m_options.unregisterFindAttempts; ++attempt) {
            if (SendInstanceRequest(m_options.instanceServerName, kCloseRequest,
                                    qMax(m_options.waitStepMs, 1000))) {
                found = true;
                break;
            }
            // The instance may be starting (no server yet) or just ending.
            if (m_hInstanceMutex->tryLock(m_options.waitStepMs))
                break;
        }
        if (found) {
            // Its close ends the process, which gives the lock up (or leaves a lock of a
            // dead process, which is taken over).
            while (!m_hInstanceMutex->tryLock(m_options.waitStepMs))
                QCoreApplication::processEvents();
        }
        if (ui)
            ui->HideUnregisterWait();
    }

    if (commandLine.contains(QLatin1String("/unregtool")))
        NVNTL_UnRegisterTool(QLatin1String(kLanveyToolId));
    RegisterAppPath(QLatin1String(kProductName), m_strProgramFile, 0, m_options.applicationsFolder);
    NVMUI_RemoveApplication();
    {
        QSettings profile(QSettings::UserScope, QLatin1String(kCompanyKey),
                          QLatin1String(kProductKeyName));
        profile.setFallbacksEnabled(false);
        RemoveSettingsFile(profile);
    }
    {
        QSettings update(QSettings::UserScope, QLatin1String(kCompanyKey),
                         QStringLiteral("NVUPDATE"));
        update.setFallbacksEnabled(false);
        update.remove(QLatin1String(kProductKeyName));
    }
}

bool CLanveyApp::ActivateRunningInstance()
{
    // The running instance may not answer at once (busy, or its server full): ask again
    // for a while, as long as it lives, which is as long as it holds the lock.
    const QDeadlineTimer deadline(m_options.activateWaitMs);
    do {
        if (SendInstanceRequest(m_options.instanceServerName, kShowRequest,
                                int(qBound(qint64(1), deadline.remainingTime(), qint64(1000)))))
            return true;
        if (m_hInstanceMutex->tryLock(100))
            break;
    } while (!deadline.hasExpired());
    CurrentMessagePrompt().Ask(FormatLangStringA(190, "Error: FindWindow() is failed."),
                               PromptButtons::Ok, PromptIcon::None);
    return false;
}

void CLanveyApp::LoadLanguage(CLanguageModule::Messages complaints)
{
    // Until a module passes its checks every text (its own complaints too) is English.
    SetLangStringSource(nullptr);

    // A language the installer stored is the user's choice, and its module must be
    // there. The locale's language is only a guess: most locales have no module, and
    // that just means English.
    const QString stored = NVMUI_GetStoredUserLanguage();
    const bool chosen = !stored.isEmpty();
    m_strLanguage =
        chosen
            ? stored
            : NVMUI_LanguageOfLocale(m_options.systemLocaleName.value_or(QLocale::system().name()));
    m_languageModule = std::make_unique<CLanguageModule>();
    if (!chosen && complaints == CLanguageModule::Messages::All)
        complaints = CLanguageModule::Messages::NoneForMissing;
    const bool loaded =
        m_languageModule->Load(m_strAppFolder, m_strLanguage, QLatin1String(kProductVersion),
                               complaints) == CLanguageModule::Status::Loaded;
    if (loaded) {
        SetLangStringSource(m_languageModule->Strings());
        QLocale::setDefault(QLocale(m_strLanguage));
    } else {
        m_languageModule.reset();
        if (!chosen)
            m_strLanguage = QStringLiteral("en_us");
    }
    // NetBIOS names come in the code page of the user's language, whatever the texts.
    SetAnsiCodePage(AnsiCodePageForLanguage(m_strLanguage));
    if (m_pStartupUi)
        m_pStartupUi->UseLanguage(loaded ? m_strLanguage : QStringLiteral("en_us"));
}

bool CLanveyApp::StartMainWindow(const MainWindowFactory& factory)
{
    m_pDoc = std::make_unique<CLanveyDoc>();
    const QString databasePath = m_strDataFolder + QLatin1String(kDatabaseFile);
    const DatabaseLoadResult loaded = m_pDoc->OpenDatabase(databasePath);
    const QString file = QDir::toNativeSeparators(databasePath);
    if (loaded.status == DatabaseLoadResult::SetAside) {
        const QString kept = QDir::toNativeSeparators(loaded.setAsidePath);
        if (loaded.problem == DatabaseLoadResult::Damaged)
            ShowErrorMessage(FormatLangStringA(
                61954,
                "The database file \"%s_FILE%\" is damaged. It was kept as \"%s_KEPT%\" and a "
                "new, empty database was started.",
                {file, kept}));
        else
            ShowErrorMessage(FormatLangStringA(
                61953,
                "The file \"%s_FILE%\" is not a Lanvey database. It was kept as \"%s_KEPT%\" "
                "and a new, empty database was started.",
                {file, kept}));
    } else if (loaded.status == DatabaseLoadResult::Failed) {
        if (loaded.problem == DatabaseLoadResult::Newer)
            ShowErrorMessage(FormatLangStringA(
                61956,
                "The database file \"%s_FILE%\" was written by a newer version of Norvane "
                "Lanvey. It is left as it is, and changes to the database will not be saved.",
                {file}));
        else
            ShowErrorMessage(FormatLangStringA(
                61955,
                "The database file \"%s_FILE%\" could not be opened (%s_REASON%). Changes to "
                "the database will not be saved.",
                {file, loaded.error}));
    }

    // A scan starts from a clear state: the run gate open, no stop pending.
    g_hPauseScanEvent.Set();
    g_hCancelScanEvent.Reset();
    m_pUpdate =
        std::make_unique<CNVUpdate>(QLatin1String(kProductKeyName), QLatin1String(kProductVersion),
                                    QLatin1String(kUpdateEdition));

    // The uninstaller asked us to close while start-up was still going: a window made
    // now would only be closed again.
    if (m_bCloseRequested)
        return false;
    m_pMainWnd = factory ? factory(*this, *m_pDoc) : nullptr;
    if (!m_pMainWnd)
        return false;
    if (m_bCloseRequested) {
        // Asked while the window was being made: it has nothing to keep yet.
        m_pMainWnd.reset();
        return false;
    }
    if (m_bShowRequested)
        m_pMainWnd->ShowNormalAndActivate();
    return true;
}

void CLanveyApp::ListenForOtherInstances()
{
    if (m_options.instanceServerName.isEmpty())
        return;
    m_instanceServer = std::make_unique<CInstanceServer>(
        m_options.instanceServerName,
        [this](const QByteArray& request) { OnInstanceRequest(request); });
    m_instanceServer->Listen();
}

void CLanveyApp::OnInstanceRequest(const QByteArray& request)
{
    if (request == kShowRequest) {
        if (m_pMainWnd)
            m_pMainWnd->ShowNormalAndActivate();
        else
            m_bShowRequested = true;
    } else if (request == kCloseRequest) {
        if (m_pMainWnd)
            m_pMainWnd->CloseFromUninstaller();
        else
            m_bCloseRequested = true;
    }
}

int CLanveyApp::ExitInstance()
{
    // This may run from one of the server's own handlers (a close request); the server
    // is built for that.
    m_instanceServer.reset();
    // The windows go before the document they show; the document's clean-up then
    // waits for any worker still running.
    m_pMainWnd.reset();
    if (m_pDoc) {
        m_pDoc->DeleteContents();
        m_pDoc.reset();
    }
    m_pUpdate.reset();
    if (m_hInstanceMutex) {
        m_hInstanceMutex->unlock();
        m_hInstanceMutex.reset();
    }
    return 0;
}
