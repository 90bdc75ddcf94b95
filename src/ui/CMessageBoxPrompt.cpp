#include "ui/CMessageBoxPrompt.h"

#include "app/LanveyApp.h"
#include "lang/LangString.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

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
        if (buttons == PromptButtons::OpenFileFolder) {
            QPushButton* file =
                box.addButton(FormatLangStringA(0xF299, "Open &File"), QMessageBox::YesRole);
            QPushButton* folder =
                box.addButton(FormatLangStringA(0xF29A, "Open F&older"), QMessageBox::NoRole);
            QPushButton* close =
                box.addButton(FormatLangStringA(0xF29B, "Close"), QMessageBox::RejectRole);
            box.setDefaultButton(file);
            box.setEscapeButton(close);
            box.exec();
            if (box.clickedButton() == file)
                return PromptAnswer::Yes;
            if (box.clickedButton() == folder)
                return PromptAnswer::No;
            return PromptAnswer::Cancel;
        }
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
        case PromptButtons::OpenFileFolder:
            return QMessageBox::NoButton;
        case PromptButtons::Ok:
            break;
        }
        return QMessageBox::Ok;
    }
};

} // namespace

std::shared_ptr<MessagePrompt> MakeMessageBoxPrompt()
{
    return std::make_shared<MessageBoxPrompt>();
}
