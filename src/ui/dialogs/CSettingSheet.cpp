#include "ui/dialogs/CSettingSheet.h"

#include "app/ProfileSettings.h"
#include "app/WatchSession.h"
#include "lang/LangString.h"
#include "ui/commands/CommandTable.h"
#include "ui/dialogs/CSettingGlobalPage.h"
#include "ui/dialogs/CSettingWatchPage.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

CSettingSheet::CSettingSheet(const QString& caption, int alias, QWidget* parent)
    : QDialog(parent), m_nAlias(alias), m_pTabs(new QTabWidget(this)),
      m_pPage(new CSettingGlobalPage), m_pWatchPage(new CSettingWatchPage),
      m_pButtons(new QDialogButtonBox(this))
{
    setWindowTitle(caption);
    m_pTabs->addTab(m_pPage, FormatLangStringA(0xF100, "General"));
    m_pTabs->addTab(m_pWatchPage, MenuText("Watch"));

    m_pButtons->addButton(QDialogButtonBox::Ok)
        ->setText(FormatLangString(182, QStringLiteral("OK")));
    m_pButtons->addButton(QDialogButtonBox::Cancel)
        ->setText(FormatLangString(183, QStringLiteral("Cancel")));
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addWidget(m_pButtons);
}

void CSettingSheet::done(int result)
{
    if (result == QDialog::Accepted) {
        m_pPage->Store();
        WriteProfileInt(QStringLiteral("Alias"), m_nAlias);
        m_pWatchPage->Settings().Store();
    }
    QDialog::done(result);
}
