#include "WindowedStartup.h"

#include "LanveyApp.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

namespace
{

class MessageBoxPrompt final : public MessagePrompt
{
public:
    PromptAnswer Ask(const QString& text, PromptButtons buttons, PromptIcon icon) override
    {
        const CLanveyApp* app = CLanveyApp::Instance();
        const QString title =
            app && !app->m_strAppName.isEmpty() ? app->m_strAppName : QLatin1String(kProductName);
        QMessageBox box(IconOf(icon), title, text, ButtonsOf(buttons),
                        QApplication::activeWindow());
        switch (box.exec()) {
        case QMessageBox::Cancel:
            return PromptAnswer::Cancel;
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        default:
            // Escape on a box without Cancel answers like its only button.
            return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
        }
    }

private:
    static QMessageBox::Icon IconOf(PromptIcon icon)
    {
        switch (icon) {
        case PromptIcon::Error:
            return QMessageBox::Critical;
        case PromptIcon::Warning:
            return QMessageBox::Warning;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::None:
            return QMessageBox::NoIcon;
        case PromptIcon::Information:
            break;
        }
        return QMessageBox::Information;
    }

    static QMessageBox::StandardButtons ButtonsOf(PromptButtons buttons)
    {
        switch (buttons) {
        case PromptButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case PromptButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case PromptButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case PromptButtons::Ok:
            break;
        }
        return QMessageBox::Ok;
    }
};

// The small window an uninstall shows while the running instance closes.
class UnregisterWaitDialog final : public LanveyStartupUi
{
public:
    void ShowUnregisterWait(const QString& caption, const QString& text) override
    {
        m_dialog = std::make_unique<QDialog>();
        m_dialog->setWindowTitle(caption);
        auto* layout = new QVBoxLayout(m_dialog.get());
        layout->addWidget(new QLabel(text, m_dialog.get()));
        m_dialog->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            m_dialog->move(screen->availableGeometry().center() - m_dialog->rect().center());
        m_dialog->show();
    }

    void HideUnregisterWait() override
    {
        if (m_dialog)
            m_dialog->hide();
        m_dialog.reset();
    }

private:
    std::unique_ptr<QDialog> m_dialog;
};

} // namespace

std::shared_ptr<MessagePrompt> MakeMessageBoxPrompt()
{
    return std::make_shared<MessageBoxPrompt>();
}

int RunLanveyApplication(int argc, char** argv, const MainWindowFactory& factory)
{
    QApplication application(argc, argv);
    SetMessagePrompt(MakeMessageBoxPrompt());
    int exitCode = 0;
    {
        CLanveyApp app;
        UnregisterWaitDialog unregisterWait;
        // Without a main window (the uninstaller's run) there is nothing to wait for.
        if (app.InitInstance(application.arguments(), factory, &unregisterWait) &&
            app.GetMainWindow())
            application.exec();
        exitCode = app.ExitInstance();
    }
    SetMessagePrompt(nullptr);
    return exitCode;
}
