#include "ui/dialogs/NameTableDialogParts.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "ui/dialogs/CColorPicker.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

QHBoxLayout* MakeNameTableButtons(QDialog* dialog, QWidget* leading)
{
    auto* ok = new QPushButton(FormatLangStringA(0xF145, "OK"), dialog);
    ok->setObjectName(QStringLiteral("ButtonOk"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(FormatLangStringA(0xF146, "Cancel"), dialog);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    // accept() is virtual: each dialog's own checks run.
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    if (leading)
        buttons->addWidget(leading);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    return buttons;
}

void ShowAlias(QLineEdit* edit, const QString& proposed)
{
    // The proposal may be a name from the network.
    edit->setText(ReplaceControlChars(proposed));
}

bool TakeAlias(QLineEdit* edit, QString& alias)
{
    // An untouched alias keeps the text as proposed, control characters and all.
    const QString text = edit->text();
    if (text != ReplaceControlChars(alias))
        alias = text;
    if (!alias.isEmpty())
        return true;
    CurrentMessagePrompt().Ask(FormatLangStringA(157, "Alias can't Empty!"), PromptButtons::Ok,
                               PromptIcon::Error);
    edit->setFocus();
    return false;
}

void LoadColorPicker(CColorPicker* picker, ColorRef color)
{
    picker->SetDefaultColor(
        CColorPicker::FromQColor(QApplication::palette().color(QPalette::WindowText)));
    picker->SetColor(color);
}
