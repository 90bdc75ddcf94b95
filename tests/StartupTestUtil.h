#pragma once

// A sandbox for start-up tests: every folder, settings file, lock and server name the
// application object touches is redirected into a temporary folder, the prompt is
// scripted, and the main window is a stand-in that records what start-up asks of it.

#include "ScriptedPrompt.h"
#include "TestPrinters.h"
#include "app/LanveyApp.h"
#include "lang/LangStringSource.h"
#include "records/LanveyDoc.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

inline QCoreApplication& EnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "lanvey-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                : new QCoreApplication(argc, argv);
    return *app;
}

// Runs the event loop until `done` holds or `ms` pass; the result of `done`.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline void WriteFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(data);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The main window as start-up sees it.
class RecordingMainWindow final : public LanveyMainWindow
{
public:
    struct Calls {
        int shown = 0;
        int closed = 0;
        bool destroyed = false;
    };
    RecordingMainWindow(Calls& calls, std::function<void()> onClose)
        : m_calls(calls), m_onClose(std::move(onClose))
    {
    }
    ~RecordingMainWindow() override { m_calls.destroyed = true; }
    void ShowNormalAndActivate() override { ++m_calls.shown; }
    void CloseFromUninstaller() override
    {
        ++m_calls.closed;
        if (m_onClose)
            m_onClose();
    }

private:
    Calls& m_calls;
    std::function<void()> m_onClose;
};

// The uninstaller's wait dialog as start-up sees it.
class RecordingStartupUi final : public LanveyStartupUi
{
public:
    void ShowUnregisterWait(const QString& caption, const QString& text) override
    {
        ++shown;
        this->caption = caption;
        this->text = text;
    }
    void HideUnregisterWait() override { ++hidden; }

    int shown = 0;
    int hidden = 0;
    QString caption;
    QString text;
};

// Every folder, settings file, lock and server name of a start-up below `root`; the
// test process and a program it starts (tests/StartupInstanceChild.cpp) share them.
inline LanveyAppOptions SandboxOptions(const QString& root)
{
    const QDir dir(root);
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, dir.filePath("config/user"));
        QSettings::setPath(format, QSettings::SystemScope, dir.filePath("config/system"));
    }
    dir.mkpath("program");
    dir.mkpath("appdata");
    LanveyAppOptions options;
    options.programFile = dir.filePath("program/lanvey");
    options.appDataFolder = dir.filePath("appdata");
    options.commonFilesFolder = dir.filePath("common");
    options.fallbackFolder = dir.filePath("home");
    options.applicationsFolder = dir.filePath("applications");
    options.instanceLockPath = dir.filePath("Lanvey");
    options.instanceServerName = dir.filePath("LanveyClass");
    options.systemLocaleName = QStringLiteral("en_US");
    options.waitStepMs = 50;
    options.activateWaitMs = 300;
    return options;
}

class StartupSandbox : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        ASSERT_TRUE(m_root.isValid());
        SetLangStringSource(nullptr);
        options = SandboxOptions(m_root.path());
    }

    void TearDown() override
    {
        SetLangStringSource(nullptr);
        QLocale::setDefault(QLocale::system());
    }

    QString Path(const QString& relative) const { return m_root.filePath(relative); }
    QString Root() const { return m_root.path(); }
    QString DataFolder() const { return Path("appdata/Norvane Lanvey/"); }
    QString SettingsFile() const { return Path("program/lanvey.ini"); }

    // A factory whose windows report to `calls`; `onClose` runs on a close request.
    MainWindowFactory Factory(RecordingMainWindow::Calls& calls, std::function<void()> onClose = {})
    {
        return [this, &calls, onClose](CLanveyApp&, CLanveyDoc&) {
            ++m_windowsCreated;
            return std::make_unique<RecordingMainWindow>(calls, onClose);
        };
    }

    QStringList Args(QStringList rest) const
    {
        rest.prepend(options.programFile);
        return rest;
    }

    LanveyAppOptions options;
    ScopedScriptedPrompt prompt;
    int m_windowsCreated = 0;

private:
    QTemporaryDir m_root;
};
