#include "ui/dialogs/CAddToNMTDlg.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/dialogs/NameTableDialogParts.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

CAddToNMTDlg::CAddToNMTDlg(QWidget* parent)
    : QDialog(parent), m_pNotice(new QLabel(this)), m_pAddressLabel(new QLabel(this)),
      m_pEditAddress(new QLineEdit(this)), m_pEditAlias(new QLineEdit(this)),
      m_pColorPicker(new CColorPicker(this))
{
    setObjectName(QStringLiteral("AddToNMTDlg"));
    m_pNotice->setObjectName(QStringLiteral("Notice"));
    m_pAddressLabel->setObjectName(QStringLiteral("AddressLabel"));
    m_pEditAddress->setObjectName(QStringLiteral("EditAddress"));
    m_pEditAlias->setObjectName(QStringLiteral("EditAlias"));
    setWindowTitle(FormatLangStringA(0xF147, "Add To NameTable"));

    auto* noticeBox = new QGroupBox(FormatLangStringA(0xF140, "Notice"), this);
    auto* noticeLayout = new QVBoxLayout(noticeBox);
    m_pNotice->setText(FormatLangStringA(0xF14C, "This is a new IP address "));
    m_pNotice->setAlignment(Qt::AlignCenter);
    noticeLayout->addWidget(m_pNotice);

    auto* fieldsBox = new QGroupBox(this);
    auto* fields = new QGridLayout(fieldsBox);
    m_pAddressLabel->setText(FormatLangStringA(0xF141, "IP Address:"));
    m_pAddressLabel->setBuddy(m_pEditAddress);
    auto* aliasLabel = new QLabel(FormatLangStringA(0xF143, "Alias:"), fieldsBox);
    aliasLabel->setBuddy(m_pEditAlias);
    auto* colorLabel = new QLabel(FormatLangStringA(0xF144, "Color:"), fieldsBox);
    colorLabel->setBuddy(m_pColorPicker);
    fields->addWidget(m_pAddressLabel, 0, 0);
    fields->addWidget(m_pEditAddress, 0, 1);
    fields->addWidget(aliasLabel, 1, 0);
    fields->addWidget(m_pEditAlias, 1, 1);
    fields->addWidget(colorLabel, 2, 0);
    fields->addWidget(m_pColorPicker, 2, 1, Qt::AlignLeft);
    fields->setColumnStretch(1, 1);
    m_pEditAddress->setMinimumWidth(200);
    m_pEditAlias->setMinimumWidth(200);

    QHBoxLayout* buttons = MakeNameTableButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(noticeBox);
    layout->addWidget(fieldsBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int CAddToNMTDlg::exec()
{
    LoadFields();
    return QDialog::exec();
}

void CAddToNMTDlg::LoadFields()
{
    m_pEditAddress->setText(m_strAddress);
    ShowAlias(m_pEditAlias, m_strAlias);
    if (m_bIsIpv4) {
        setWindowTitle(FormatLangStringA(177, "Add IP Address To NameTable"));
        if (m_bIpPresent)
            m_pNotice->setText(
                FormatLangStringA(192, "IP Address has been existence in NameTable!"));
        m_pAddressLabel->setText(FormatLangStringA(165, "IP Address") + u':');
    } else {
        setWindowTitle(FormatLangStringA(178, "Add MAC Address To NameTable"));
        if (m_bMacPresent)
            m_pNotice->setText(
                FormatLangStringA(195, "MAC Address has been existence in NameTable!"));
        m_pAddressLabel->setText(FormatLangStringA(167, "MAC Address") + u':');
    }
    // A present flag of the other kind says nothing about this address: the notice keeps
    // the text it was built with.
    if (!m_bIpPresent && !m_bMacPresent)
        m_pNotice->setText(FormatLangStringA(202, "It is a new record in NameTable!"));
    LoadColorPicker(m_pColorPicker, m_color);
    m_pEditAddress->setReadOnly(true);
    m_pEditAlias->setFocus();
}

void CAddToNMTDlg::accept()
{
    if (!TakeAlias(m_pEditAlias, m_strAlias))
        return;
    m_color = m_pColorPicker->GetColor();
    QDialog::accept();
}
