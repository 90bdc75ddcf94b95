#include "ui/WindowedStartup.h"

#include "ui/CMessageBoxPrompt.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <QVBoxLayout>

CWindowedStartupUi::CWindowedStartupUi() = default;

CWindowedStartupUi::~CWindowedStartupUi()
{
    UseLanguage(QStringLiteral("en_us"));
}

void CWindowedStartupUi::UseLanguage(const QString& language)
{
    if (m_qtTranslator) {
        QCoreApplication::removeTranslator(m_qtTranslator.get());
        m_qtTranslator.reset();
    }
    if (language.startsWith(QLatin1String("en"), Qt::CaseInsensitive))
        return;
    // "zh_cn" is the locale zh_CN, whose file is qtbase_zh_CN.qm (QTranslator falls back
    // to the nearest language that has one).
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator.get()))
        m_qtTranslator = std::move(translator);
}

void CWindowedStartupUi::ShowUnregisterWait(const QString& caption, const QString& text)
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

void CWindowedStartupUi::HideUnregisterWait()
{
    if (m_dialog)
        m_dialog->hide();
    m_dialog.reset();
}

int RunLanveyApplication(int argc, char** argv, const MainWindowFactory& factory)
{
    QApplication application(argc, argv);
    // The desktop finds the window's entry (its icon, its name in the task list) by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("lanvey"));
    SetMessagePrompt(MakeMessageBoxPrompt());
    int exitCode = 0;
    {
        CWindowedStartupUi startupUi;
        CLanveyApp app;
        // Without a main window (the uninstaller's run) there is nothing to wait for.
        if (app.InitInstance(application.arguments(), factory, &startupUi) && app.GetMainWindow())
            application.exec();
        exitCode = app.ExitInstance();
    }
    SetMessagePrompt(nullptr);
    return exitCode;
}
