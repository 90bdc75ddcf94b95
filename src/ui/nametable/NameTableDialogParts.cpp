#include "ui/nametable/NameTableDialogParts.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "ui/dialogs/CColorPicker.h"

#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

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

QGroupBox* MakeNoticeBox(QDialog* dialog, std::initializer_list<QWidget*> lines)
{
    auto* box = new QGroupBox(FormatLangStringA(0xF140, "Notice"), dialog);
    auto* layout = new QVBoxLayout(box);
    for (QWidget* line : lines)
        layout->addWidget(line);
    return box;
}

QGroupBox* MakeFieldsBox(QDialog* dialog, std::initializer_list<std::pair<QLabel*, QWidget*>> rows)
{
    auto* box = new QGroupBox(dialog);
    auto* fields = new QGridLayout(box);
    int row = 0;
    for (const auto& [label, field] : rows) {
        label->setBuddy(field);
        const bool colorButton = qobject_cast<CColorPicker*>(field) != nullptr;
        fields->addWidget(label, row, 0);
        fields->addWidget(field, row, 1, colorButton ? Qt::AlignLeft : Qt::Alignment());
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->setMinimumWidth(200);
        ++row;
    }
    fields->setColumnStretch(1, 1);
    return box;
}

void LayOutNameTableDialog(QDialog* dialog, QWidget* notice, QWidget* middle, QHBoxLayout* buttons)
{
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(notice);
    layout->addWidget(middle);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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

bool TakeAliasAndColor(QLineEdit* edit, QString& alias, const CColorPicker* picker, ColorRef& color)
{
    if (!TakeAlias(edit, alias))
        return false;
    color = picker->GetColor();
    return true;
}
