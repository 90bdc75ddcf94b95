#pragma once

// The application object: start-up, the install-time modes, single instance, folders,
// language module, settings, and what the rest of the program reads from it.
//
// This header is shared by start-up (src/app) and the windows (src/ui). Fields keep the
// names the rest of the program uses; folder texts end with '/'.

#include "app/LanguageModule.h"
#include "app/LanveyMainWindow.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class CInstanceServer;
class CNVUpdate;
class CLanveyDoc;
class QLockFile;
class QSettings;

inline constexpr const char* kProductName = "Norvane Lanvey";
inline constexpr const char* kProductKeyName = "Lanvey";
// The build's version, a.b.c.d, from the project's CMake version: the About box, the
// language modules, the update check and lanvey-scan --version all read this one value.
inline constexpr const char* kProductVersion = LANVEY_VERSION;
inline constexpr const char* kCompanyKey = "Norvane";
// The third text the update component gets: which build of the product this is.
inline constexpr const char* kUpdateEdition = "Lanvey for Linux";
// The program's id in the maker's tool registry.
inline constexpr const char* kLanveyToolId = "{739B85B1-52FB-4753-B7D7-D30C19847699}";

// Where start-up looks and what it is called: every default can be replaced, so tests
// (and a second copy of the program) never touch the real user's folders or instance.
struct LanveyAppOptions {
    // The program file; by default the running executable. The program folder is its
    // folder, or <prefix>/lib/lanvey for a copy installed in <prefix>/bin (see
    // app/InstallLayout.h), unless `appFolder` says otherwise.
    QString programFile;
    QString appFolder;
    // The user's application-data folder (default: the generic data location) and the
    // common program-files folder (default: /usr/local/share). An empty text stands
    // for a folder that cannot be obtained.
    std::optional<QString> appDataFolder;
    std::optional<QString> commonFilesFolder;
    // The last resort for a folder that cannot be created; default: the home folder.
    QString fallbackFolder;
    // Where the desktop entry goes; default: the user's applications folder.
    QString applicationsFolder;
    // The single-instance lock file ("Lanvey" in the runtime folder) and the local
    // server the running instance answers on ("LanveyClass").
    QString instanceLockPath;
    QString instanceServerName;
    // The uninstaller looks for a running instance this many times, this far apart,
    // and waits for it to end in steps of the same length.
    int unregisterFindAttempts = 20;
    int waitStepMs = 500;
    // A later instance keeps asking the running one to come forward this long while
    // the lock's holder lives (it may be busy starting, or flooded).
    int activateWaitMs = 5000;
    // The system's locale name ("de_DE"), which picks the language when the user has
    // none stored; default: the locale the process runs in.
    std::optional<QString> systemLocaleName;
};

// What start-up shows besides message boxes: the dialog that says an uninstall is
// waiting for the running instance to end. It also hears which language the program's
// texts are in once that is decided, for the texts the toolkit draws itself.
class LanveyStartupUi
{
public:
    virtual ~LanveyStartupUi() = default;
    virtual void ShowUnregisterWait(const QString& caption, const QString& text) = 0;
    virtual void HideUnregisterWait() = 0;
    // "en_us" when the built-in English is in use, else the loaded module's language.
    virtual void UseLanguage(const QString& /*language*/) {}
};

class CLanveyApp
{
public:
    // What this process does, decided by the command line and the instance lock.
    enum class Mode {
        Normal,         // the program with its window
        Register,       // the installer's run: migrate, register, end
        Unregister,     // the uninstaller's run: stop the running instance, unregister, end
        SecondInstance, // another instance runs: bring it forward, end
    };

    explicit CLanveyApp(LanveyAppOptions options = {});
    ~CLanveyApp();
    CLanveyApp(const CLanveyApp&) = delete;
    CLanveyApp& operator=(const CLanveyApp&) = delete;

    // The process-wide application object while it exists, else null.
    static CLanveyApp* Instance();

    // Start-up. `arguments` is the whole command line, program first. `factory` creates
    // and shows the main window in a normal start; `ui` (may be null) shows the
    // uninstaller's wait. Returns true when the process should go on running: with a
    // main window (normal start), or without one, to end at once (unregister mode).
    // Needs a QCoreApplication (or a subclass) to exist.
    bool InitInstance(const QStringList& arguments, const MainWindowFactory& factory,
                      LanveyStartupUi* ui = nullptr);
    // Closes the main window and the document and gives up the instance; the process's
    // exit code.
    int ExitInstance();

    Mode GetMode() const { return m_mode; }
    bool IsFirstInstance() const { return m_bFirstInstance; }
    CLanveyDoc* GetDocument() const { return m_pDoc.get(); }
    LanveyMainWindow* GetMainWindow() const { return m_pMainWnd.get(); }
    const LanveyAppOptions& Options() const { return m_options; }

    // The per-user profile ("Norvane", ProductKeyName); the windows keep their values
    // in its group "Settings/General".
    static std::unique_ptr<QSettings> OpenProfile();

    QString m_strLanguage; // "en_us", "zh_cn", ...
    QString m_strSharedFolder;
    std::unique_ptr<CNVUpdate> m_pUpdate;
    bool m_bAutoCheckUpdate = false;
    bool m_bHelpFileExists = false;
    QString m_strHelpFile;   // the help file's path when it exists
    QString m_strAppFolder;  // the program's folder
    QString m_strDataFolder; // per-user data folder; "Database.lvdat" lives here
    QString m_strAnalyzerDataFolder;
    QString m_strAnalyzerInstallPath;
    QString m_strAnalyzerVersion;
    QString m_strAppName;     // ProductKeyName, then ProductName once the language is set
    QString m_strProgramFile; // full path of the program file
    // The program runs from an installed place (<prefix>/bin, its folder
    // <prefix>/lib/lanvey), not from the build tree.
    bool m_bInstalledCopy = false;
    int m_hCrashReport = 0;

    QString GetAnalyzerInstallPath() const { return m_strAnalyzerInstallPath; }
    QString GetAnalyzerVersion() const { return m_strAnalyzerVersion; }

private:
    void WorkOutFolders();
    void RunRegisterMode(const QStringList& arguments);
    void RunUnregisterMode(const QString& commandLine, LanveyStartupUi* ui);
    bool ActivateRunningInstance();
    void LoadLanguage(CLanguageModule::Messages complaints);
    bool StartMainWindow(const MainWindowFactory& factory);
    void ListenForOtherInstances();
    void OnInstanceRequest(const QByteArray& request);

    LanveyAppOptions m_options;
    LanveyStartupUi* m_pStartupUi = nullptr;
    Mode m_mode = Mode::Normal;
    bool m_bFirstInstance = false;
    std::unique_ptr<QLockFile> m_hInstanceMutex;
    std::unique_ptr<CInstanceServer> m_instanceServer;
    // Requests that came while start-up was still going (during a message box, say).
    bool m_bShowRequested = false;
    bool m_bCloseRequested = false;
    std::unique_ptr<CLanguageModule> m_languageModule;
    std::unique_ptr<CLanveyDoc> m_pDoc;
    std::unique_ptr<LanveyMainWindow> m_pMainWnd;
};
