#pragma once

// The program's entry on the desktop: the application object around a QApplication,
// with message boxes (ui/CMessageBoxPrompt.h) for the prompt interface.

#include "app/LanveyApp.h"
#include "app/LanveyMainWindow.h"

#include <memory>

class QDialog;
class QTranslator;

// What the windowed start-up shows besides message boxes: the dialog an uninstall shows
// while the running instance closes.
class CWindowedStartupUi final : public LanveyStartupUi
{
public:
    CWindowedStartupUi();
    ~CWindowedStartupUi() override;

    void ShowUnregisterWait(const QString& caption, const QString& text) override;
    void HideUnregisterWait() override;
    // Installs Qt's own translation of `language` ("zh_cn" -> qtbase_zh_CN), so standard
    // buttons and the print dialogs speak it too; English removes it again.
    void UseLanguage(const QString& language) override;

private:
    std::unique_ptr<QDialog> m_dialog;
    std::unique_ptr<QTranslator> m_qtTranslator;
};

// Runs the whole program: start-up (creating the main window through `factory` in a
// normal start), the event loop while the main window lives, and the exit. Returns the
// process's exit code.
int RunLanveyApplication(int argc, char** argv, const MainWindowFactory& factory);
