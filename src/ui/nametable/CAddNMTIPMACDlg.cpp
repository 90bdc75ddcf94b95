#include "ui/nametable/CAddNMTIPMACDlg.h"

#include "lang/LangString.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/nametable/NameTableDialogParts.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

CAddNMTIPMACDlg::CAddNMTIPMACDlg(QWidget* parent)
    : QDialog(parent), m_pNotice(new QLabel(this)), m_pEditIp(new QLineEdit(this)),
      m_pEditMac(new QLineEdit(this)), m_pEditAlias(new QLineEdit(this)),
      m_pColorPicker(new CColorPicker(this))
{
    setObjectName(QStringLiteral("AddNMTIPMACDlg"));
    m_pNotice->setObjectName(QStringLiteral("Notice"));
    m_pEditIp->setObjectName(QStringLiteral("EditIp"));
    m_pEditMac->setObjectName(QStringLiteral("EditMac"));
    m_pEditAlias->setObjectName(QStringLiteral("EditAlias"));
    setWindowTitle(FormatLangStringA(0xF148, "Add IP Address and MAC Address to NameTable"));

    m_pNotice->setText(FormatLangStringA(0xF14D, "This is a new IP address and MAC address "
                                                 "record\nThis is a new IP address"));
    // Two lines, the first one's start lined up with the second's.
    m_pNotice->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QGroupBox* noticeBox = MakeNoticeBox(this, {m_pNotice});

    QGroupBox* fieldsBox =
        MakeFieldsBox(this, {{new QLabel(FormatLangStringA(0xF141, "IP Address:")), m_pEditIp},
                             {new QLabel(FormatLangStringA(0xF142, "MAC Address:")), m_pEditMac},
                             {new QLabel(FormatLangStringA(0xF143, "Alias:")), m_pEditAlias},
                             {new QLabel(FormatLangStringA(0xF144, "Color:")), m_pColorPicker}});

    LayOutNameTableDialog(this, noticeBox, fieldsBox, MakeNameTableButtons(this));
}

int CAddNMTIPMACDlg::exec()
{
    LoadFields();
    return QDialog::exec();
}

void CAddNMTIPMACDlg::LoadFields()
{
    m_pEditIp->setText(m_strIp);
    m_pEditMac->setText(m_strMac);
    ShowAlias(m_pEditAlias, m_strAlias);
    const QString ipPresent = FormatLangStringA(192, "IP Address has been existence in NameTable!");
    const QString macPresent =
        FormatLangStringA(195, "MAC Address has been existence in NameTable!");
    if (m_bIpPresent && m_bMacPresent)
        m_pNotice->setText(ipPresent + u'\n' + macPresent);
    else if (m_bIpPresent)
        m_pNotice->setText(ipPresent + u'\n' +
                           FormatLangStringA(206, "MAC Address is a new record in NameTable! "));
    else if (m_bMacPresent)
        m_pNotice->setText(FormatLangStringA(208, "IP Address is a new record in NameTable! ") +
                           u'\n' + macPresent);
    else
        m_pNotice->setText(
            FormatLangStringA(204, "New IP address and MAC address records in Name Table!"));
    LoadColorPicker(m_pColorPicker, m_color);
    m_pEditIp->setReadOnly(true);
    m_pEditMac->setReadOnly(true);
    m_pEditAlias->setFocus();
}

void CAddNMTIPMACDlg::accept()
{
    if (TakeAliasAndColor(m_pEditAlias, m_strAlias, m_pColorPicker, m_color))
        QDialog::accept();
}
