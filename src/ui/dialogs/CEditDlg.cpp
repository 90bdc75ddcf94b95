#include "ui/dialogs/CEditDlg.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "support/AddressText.h"
#include "ui/dialogs/CColorPicker.h"
#include "ui/dialogs/CLimitedTextEdit.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

namespace
{

// A limit that never cuts a text the record already holds (one read from a file may be
// longer than the editor lets anyone type): the field takes no more than the longer of
// the two.
void LoadLimited(QLineEdit* edit, const QString& text, int limit)
{
    edit->setMaxLength(std::max(limit, int(text.size())));
    edit->setText(text);
}

} // namespace

CEditDlg::CEditDlg(QWidget* parent)
    : QDialog(parent), m_pEditIp(new QLineEdit(this)), m_pEditMac(new QLineEdit(this)),
      m_pEditHostName(new QLineEdit(this)), m_pEditWorkgroup(new QLineEdit(this)),
      m_pEditUserName(new QLineEdit(this)), m_pEditLocation(new QLineEdit(this)),
      m_pEditComment(new CLimitedTextEdit(this)), m_pColorPicker(new CColorPicker(this))
{
    setObjectName(QStringLiteral("EditDlg"));
    m_pEditIp->setObjectName(QStringLiteral("EditIp"));
    m_pEditMac->setObjectName(QStringLiteral("EditMac"));
    m_pEditHostName->setObjectName(QStringLiteral("EditHostName"));
    m_pEditWorkgroup->setObjectName(QStringLiteral("EditWorkgroup"));
    m_pEditUserName->setObjectName(QStringLiteral("EditUserName"));
    m_pEditLocation->setObjectName(QStringLiteral("EditLocation"));
    m_pEditComment->setObjectName(QStringLiteral("EditComment"));

    auto* record = new QGroupBox(this);
    auto* fields = new QGridLayout(record);
    const std::pair<QString, QWidget*> rows[] = {
        {FormatLangStringA(0xF110, "IP Address:"), m_pEditIp},
        {FormatLangStringA(0xF111, "MAC Address:"), m_pEditMac},
        {FormatLangStringA(0xF112, "Host Name:"), m_pEditHostName},
        {FormatLangStringA(0xF113, "Workgroup:"), m_pEditWorkgroup},
        {FormatLangStringA(0xF114, "User Name:"), m_pEditUserName},
        {FormatLangStringA(0xF115, "Location:"), m_pEditLocation},
        {FormatLangStringA(0xF116, "Record Color:"), m_pColorPicker},
    };
    int row = 0;
    for (const auto& [text, field] : rows) {
        auto* label = new QLabel(text, record);
        label->setBuddy(field);
        fields->addWidget(label, row, 0);
        fields->addWidget(field, row, 1, field == m_pColorPicker ? Qt::AlignLeft : Qt::Alignment());
        ++row;
    }
    fields->setColumnStretch(1, 1);
    for (QLineEdit* edit : {m_pEditIp, m_pEditMac, m_pEditHostName, m_pEditWorkgroup,
                            m_pEditUserName, m_pEditLocation})
        edit->setMinimumWidth(220);

    auto* comments = new QGroupBox(this);
    auto* commentLayout = new QVBoxLayout(comments);
    auto* commentLabel = new QLabel(FormatLangStringA(0xF117, "Comments:"), comments);
    commentLabel->setBuddy(m_pEditComment);
    commentLayout->addWidget(commentLabel);
    commentLayout->addWidget(m_pEditComment);
    m_pEditComment->setTabChangesFocus(true);
    m_pEditComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEditComment->setFixedHeight(m_pEditComment->fontMetrics().lineSpacing() * 4 + 12);

    auto* ok = new QPushButton(FormatLangStringA(0xF11B, "OK"), this);
    ok->setObjectName(QStringLiteral("ButtonOk"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(FormatLangStringA(0xF11C, "Cancel"), this);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    connect(ok, &QPushButton::clicked, this, &CEditDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CEditDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(record);
    layout->addWidget(comments);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Tab walks the dialog from top to bottom.
    QWidget* const order[] = {m_pEditIp,
                              m_pEditMac,
                              m_pEditHostName,
                              m_pEditWorkgroup,
                              m_pEditUserName,
                              m_pEditLocation,
                              m_pColorPicker,
                              m_pEditComment,
                              ok,
                              cancel};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

int CEditDlg::exec()
{
    LoadFields();
    return QDialog::exec();
}

void CEditDlg::LoadFields()
{
    setWindowTitle(m_nMode == PropertiesMode ? FormatLangStringA(187, "Record Properties")
                                             : FormatLangStringA(188, "Add New Record"));
    m_pEditIp->setText(m_strIp);
    LoadLimited(m_pEditMac, m_strMac, kMacLimit);
    LoadLimited(m_pEditHostName, m_strHostName, kNameLimit);
    m_pEditWorkgroup->setText(m_strWorkgroup);
    LoadLimited(m_pEditUserName, m_strUserName, kNameLimit);
    LoadLimited(m_pEditLocation, m_strLocation, kNameLimit);
    m_pEditComment->SetMaxLength(std::max(kCommentLimit, int(m_strComment.size())));
    m_pEditComment->setPlainText(m_strComment);
    m_pColorPicker->SetDefaultColor(
        CColorPicker::FromQColor(QApplication::palette().color(QPalette::WindowText)));
    m_pColorPicker->SetColor(m_color);
    m_pEditIp->setFocus();
}

void CEditDlg::accept()
{
    m_strIp = m_pEditIp->text();
    m_strMac = m_pEditMac->text();
    m_strHostName = m_pEditHostName->text();
    m_strWorkgroup = m_pEditWorkgroup->text();
    m_strUserName = m_pEditUserName->text();
    m_strLocation = m_pEditLocation->text();
    m_strComment = m_pEditComment->toPlainText();
    if (!IsValidIpAddress(m_strIp)) {
        CurrentMessagePrompt().Ask(FormatLangStringA(184, "Invalid IP address!"), PromptButtons::Ok,
                                   PromptIcon::Error);
        m_pEditIp->setFocus();
        m_pEditIp->selectAll();
        return;
    }
    if (!IsValidMacAddress(m_strMac)) {
        CurrentMessagePrompt().Ask(FormatLangStringA(196, "Invalid MAC address!"),
                                   PromptButtons::Ok, PromptIcon::Error);
        m_pEditMac->setFocus();
        m_pEditMac->selectAll();
        return;
    }
    m_color = m_pColorPicker->GetColor();
    QDialog::accept();
}
