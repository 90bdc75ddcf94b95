#include "app/WindowedStartup.h"

#include "app/LanveyApp.h"
#include "ui/CMessageBoxPrompt.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace
{

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
