#include "ui/frame/CAppCommands.h"

#include "ui/dialogs/CAboutDlg.h"
#include "ui/commands/CommandIds.h"

#include <QMainWindow>
#include <QPageSetupDialog>
#include <QPrinter>

CAppCommands::CAppCommands(QMainWindow& mainWindow, std::function<void()> openHelpPage)
    : m_mainWindow(mainWindow), m_openHelpPage(std::move(openHelpPage))
{
}

bool CAppCommands::OnCommand(int id)
{
    switch (id) {
    case ID_APP_ABOUT: {
        CAboutDlg about(&m_mainWindow);
        about.exec();
        return true;
    }
    case ID_APP_EXIT:
        m_mainWindow.close();
        return true;
    case ID_FILE_PRINT_SETUP: {
        QPrinter printer;
        QPageSetupDialog setup(&printer, &m_mainWindow);
        setup.exec();
        return true;
    }
    case ID_HELP:
        if (m_openHelpPage)
            m_openHelpPage();
        return true;
    default:
        return false;
    }
}

std::optional<bool> CAppCommands::IsCommandEnabled(int id)
{
    switch (id) {
    case ID_APP_ABOUT:
    case ID_APP_EXIT:
    case ID_FILE_PRINT_SETUP:
    case ID_HELP:
        return true;
    default:
        return std::nullopt;
    }
}
