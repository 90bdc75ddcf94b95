#include "ui/dialogs/CAddNMTIPMACDlg.h"

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

    auto* noticeBox = new QGroupBox(FormatLangStringA(0xF140, "Notice"), this);
    auto* noticeLayout = new QVBoxLayout(noticeBox);
    m_pNotice->setText(FormatLangStringA(0xF14D, "This is a new IP address and MAC address "
                                                 "record\nThis is a new IP address"));
    // Two lines, the first one's start lined up with the second's.
    m_pNotice->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    noticeLayout->addWidget(m_pNotice);

    auto* fieldsBox = new QGroupBox(this);
    auto* fields = new QGridLayout(fieldsBox);
    const std::pair<QString, QWidget*> rows[] = {
        {FormatLangStringA(0xF141, "IP Address:"), m_pEditIp},
        {FormatLangStringA(0xF142, "MAC Address:"), m_pEditMac},
        {FormatLangStringA(0xF143, "Alias:"), m_pEditAlias},
        {FormatLangStringA(0xF144, "Color:"), m_pColorPicker},
    };
    int row = 0;
    for (const auto& [text, field] : rows) {
        auto* label = new QLabel(text, fieldsBox);
        label->setBuddy(field);
        fields->addWidget(label, row, 0);
        fields->addWidget(field, row, 1, field == m_pColorPicker ? Qt::AlignLeft : Qt::Alignment());
        ++row;
    }
    fields->setColumnStretch(1, 1);
    for (QLineEdit* edit : {m_pEditIp, m_pEditMac, m_pEditAlias})
        edit->setMinimumWidth(200);

    QHBoxLayout* buttons = MakeNameTableButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(noticeBox);
    layout->addWidget(fieldsBox);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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
    if (!TakeAlias(m_pEditAlias, m_strAlias))
        return;
    m_color = m_pColorPicker->GetColor();
    QDialog::accept();
}
