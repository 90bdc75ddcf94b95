#include "ui/nametable/CAddToNMTDlg.h"

#include "lang/LangString.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/nametable/NameTableDialogParts.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

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

    m_pNotice->setText(FormatLangStringA(0xF14C, "This is a new IP address "));
    m_pNotice->setAlignment(Qt::AlignCenter);
    QGroupBox* noticeBox = MakeNoticeBox(this, {m_pNotice});

    m_pAddressLabel->setText(FormatLangStringA(0xF141, "IP Address:"));
    QGroupBox* fieldsBox =
        MakeFieldsBox(this, {{m_pAddressLabel, m_pEditAddress},
                             {new QLabel(FormatLangStringA(0xF143, "Alias:")), m_pEditAlias},
                             {new QLabel(FormatLangStringA(0xF144, "Color:")), m_pColorPicker}});

    LayOutNameTableDialog(this, noticeBox, fieldsBox, MakeNameTableButtons(this));
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
    if (TakeAliasAndColor(m_pEditAlias, m_strAlias, m_pColorPicker, m_color))
        QDialog::accept();
}
