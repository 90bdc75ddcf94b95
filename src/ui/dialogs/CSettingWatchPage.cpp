#include "ui/dialogs/CSettingWatchPage.h"

#include "app/WatchSession.h"
#include "lang/LangString.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

CSettingWatchPage::CSettingWatchPage(QWidget* parent)
    : QWidget(parent), m_pInterval(new QSpinBox(this)), m_pRate(new QSpinBox(this)),
      m_pGoneAfter(new QSpinBox(this)),
      m_pNewOnly(new QRadioButton(FormatLangStringA(0xF32B, "New hosts only"), this)),
      m_pAll(new QRadioButton(FormatLangStringA(0xF32C, "All changes"), this))
{
    const WatchSettings stored = WatchSettings::Stored();
    m_pInterval->setRange(WatchSettings::kMinIntervalMinutes, WatchSettings::kMaxIntervalMinutes);
    m_pInterval->setValue(stored.intervalMinutes);
    m_pRate->setRange(WatchSettings::kMinRate, WatchSettings::kMaxRate);
    m_pRate->setValue(stored.rate);
    m_pGoneAfter->setRange(1, WatchSettings::kMaxGoneAfter);
    m_pGoneAfter->setValue(stored.goneAfter);
    (stored.notify == WatchNotifications::Choice::NewHostsOnly ? m_pNewOnly : m_pAll)
        ->setChecked(true);
    auto* group = new QButtonGroup(this);
    group->addButton(m_pNewOnly);
    group->addButton(m_pAll);

    auto* choices = new QVBoxLayout;
    choices->addWidget(m_pNewOnly);
    choices->addWidget(m_pAll);
    auto* layout = new QFormLayout(this);
    layout->addRow(FormatLangStringA(0xF327, "Sweep every (minutes):"), m_pInterval);
    layout->addRow(FormatLangStringA(0xF328, "Sweep rate (ARP requests a second):"), m_pRate);
    layout->addRow(FormatLangStringA(0xF329, "A host is gone after this many missed sweeps:"),
                   m_pGoneAfter);
    layout->addRow(FormatLangStringA(0xF32A, "Notifications:"), choices);
}

WatchSettings CSettingWatchPage::Settings() const
{
    WatchSettings settings;
    settings.intervalMinutes = m_pInterval->value();
    settings.rate = m_pRate->value();
    settings.goneAfter = m_pGoneAfter->value();
    settings.notify = m_pNewOnly->isChecked() ? WatchNotifications::Choice::NewHostsOnly
                                              : WatchNotifications::Choice::AllChanges;
    return settings;
}
