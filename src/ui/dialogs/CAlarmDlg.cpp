#include "ui/dialogs/CAlarmDlg.h"

#include "lang/DisplayText.h"
#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "support/AddressText.h"
#include "support/NVOUI.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CAlarmDlg::CAlarmDlg(const CNVOUI* oui, QWidget* parent) : QDialog(parent), m_pOui(oui)
{
    setObjectName(QStringLiteral("AlarmDlg"));
    setWindowTitle(FormatLangStringA(0xF120, "Confirm Record Replace"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(FormatLangStringA(0xF121, "This record already contained."), this));
    m_pScanGroup = MakeGroup(m_scanValues);
    m_pScanGroup->setObjectName(QStringLiteral("ScanGroup"));
    m_pDatabaseGroup = MakeGroup(m_databaseValues);
    m_pDatabaseGroup->setObjectName(QStringLiteral("DatabaseGroup"));
    layout->addWidget(m_pScanGroup);
    layout->addWidget(m_pDatabaseGroup);
    layout->addWidget(new QLabel(
        FormatLangStringA(0xF127, "Would you like to replace the existing record with result?"),
        this));

    const std::pair<Answer, QString> answers[] = {
        {Yes, FormatLangStringA(0xF128, "Yes")},
        {No, FormatLangStringA(0xF129, "No")},
        {YesToAll, FormatLangStringA(0xF12A, "Yes to All")},
        {NotToAll, FormatLangStringA(0xF12B, "Not to All")},
        {Cancel, FormatLangStringA(0xF12C, "Cancel")},
    };
    auto* buttons = new QHBoxLayout;
    for (const auto& [answer, text] : answers) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QStringLiteral("Button%1").arg(int(answer)));
        button->setAutoDefault(false);
        m_buttons[size_t(answer - 1)] = button;
        buttons->addWidget(button);
        if (answer == Cancel) {
            connect(button, &QPushButton::clicked, this, &CAlarmDlg::reject);
        } else {
            connect(button, &QPushButton::clicked, this, [this, answer = answer] {
                m_nResult = answer;
                QDialog::accept();
            });
        }
    }
    Button(Yes)->setDefault(true);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QGroupBox* CAlarmDlg::MakeGroup(std::array<QLabel*, 5>& values)
{
    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);
    auto* icon = new QLabel(group);
    icon->setPixmap(QIcon(QStringLiteral(":/lanvey/icons/tab_database.png")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    grid->addWidget(icon, 0, 0, 5, 1);
    const QString labels[] = {
        FormatLangStringA(0xF122, "IP Address:"),   FormatLangStringA(0xF123, "MAC Address:"),
        FormatLangStringA(0xF124, "Host Name:"),    FormatLangStringA(0xF125, "Workgroup:"),
        FormatLangStringA(0xF126, "Manufacturer:"),
    };
    for (int row = 0; row < 5; ++row) {
        grid->addWidget(new QLabel(labels[row], group), row, 1);
        values[size_t(row)] = new QLabel(group);
        values[size_t(row)]->setTextFormat(Qt::PlainText);
        values[size_t(row)]->setMinimumWidth(260);
        grid->addWidget(values[size_t(row)], row, 2);
    }
    grid->setColumnStretch(2, 1);
    return group;
}

void CAlarmDlg::Fill(std::array<QLabel*, 5>& values, quint32 ip, quint64 mac,
                     const QString& hostName, const QString& workgroup)
{
    const QString macText = FormatMacAddress(mac);
    values[0]->setText(FormatIpAddress(ip));
    values[1]->setText(macText);
    values[2]->setText(ReplaceControlChars(hostName));
    values[3]->setText(ReplaceControlChars(workgroup));
    values[4]->setText(m_pOui ? m_pOui->GetManufacturer(macText) : QString());
}

int CAlarmDlg::exec()
{
    m_pScanGroup->setTitle(m_strUpperTitle.isEmpty() ? FormatLangStringA(185, "Scanview Record")
                                                     : m_strUpperTitle);
    m_pDatabaseGroup->setTitle(m_strLowerTitle.isEmpty() ? FormatLangStringA(186, "Database Record")
                                                         : m_strLowerTitle);
    Fill(m_scanValues, m_scanRecord.ip, m_scanRecord.mac, m_scanRecord.hostName,
         m_scanRecord.workgroup);
    Fill(m_databaseValues, m_dbRecord.ip, m_dbRecord.mac, m_dbRecord.hostName,
         m_dbRecord.workgroup);
    Button(Yes)->setFocus();
    return QDialog::exec();
}

void CAlarmDlg::SetGroupTitles(const QString& upper, const QString& lower)
{
    m_strUpperTitle = upper;
    m_strLowerTitle = lower;
}

void CAlarmDlg::reject()
{
    m_nResult = Cancel;
    QDialog::reject();
}

QStringList CAlarmDlg::ScanValues() const
{
    QStringList texts;
    for (const QLabel* label : m_scanValues)
        texts << label->text();
    return texts;
}

QStringList CAlarmDlg::DatabaseValues() const
{
    QStringList texts;
    for (const QLabel* label : m_databaseValues)
        texts << label->text();
    return texts;
}

AskReplace AskReplaceWith(CAlarmDlg& dialog)
{
    return [&dialog](const HostRecord& scan, const DatabaseRecord& known) {
        dialog.m_scanRecord = scan;
        dialog.m_dbRecord = known;
        dialog.exec();
        return ReplaceAnswer(dialog.m_nResult);
    };
}

void ShowMergeReport(const MergeReport& report)
{
    if (report.added && report.committed)
        CurrentMessagePrompt().Ask(MergeReportText(report), PromptButtons::Ok,
                                   PromptIcon::Information);
}
