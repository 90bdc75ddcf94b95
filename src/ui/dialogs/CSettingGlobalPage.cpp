#include "ui/dialogs/CSettingGlobalPage.h"

#include "app/ProfileSettings.h"
#include "lang/LangString.h"
#include "scan/ScanJob.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

CSettingGlobalPage::CSettingGlobalPage(QWidget* parent)
    : QWidget(parent), m_pValueLabel(new QLabel(this)),
      m_pSlider(new QSlider(Qt::Horizontal, this)), m_pRateChoice(new QComboBox(this)),
      m_pCustomRate(new QSpinBox(this))
{
    auto* caption = new QLabel(FormatLangStringA(0xF101, "Scan threads number:"), this);
    m_pSlider->setRange(kMinThreads, kMaxThreads);
    m_pSlider->setTickPosition(QSlider::NoTicks);
    m_pSlider->setFocusPolicy(Qt::StrongFocus);
    m_pSlider->setMinimumWidth(280);

    auto* layout = new QGridLayout(this);
    layout->addWidget(caption, 0, 0);
    layout->addWidget(m_pValueLabel, 0, 1);
    layout->addWidget(m_pSlider, 1, 0, 1, 2);

    // In SendRateMode's order.
    auto* rateCaption = new QLabel(FormatLangStringA(0xF331, "Send rate:"), this);
    m_pRateChoice->addItem(FormatLangStringA(0xF333, "Normal"));
    m_pRateChoice->addItem(FormatLangStringA(
        0xF332, "Gentle: 10 ARP requests a second, for switches that police ARP"));
    m_pRateChoice->addItem(FormatLangStringA(0xF334, "Custom"));
    m_pCustomRate->setRange(kMinCustomRate, kMaxCustomRate);
    m_pCustomRate->setSuffix(FormatLangStringA(0xF335, " requests a second"));
    m_pCustomRate->setValue(StoredCustomSendRate());
    rateCaption->setBuddy(m_pRateChoice);
    layout->addWidget(rateCaption, 2, 0, 1, 2);
    layout->addWidget(m_pRateChoice, 3, 0, 1, 2);
    layout->addWidget(m_pCustomRate, 4, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(5, 1);
    connect(m_pRateChoice, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_pCustomRate->setEnabled(index == int(SendRateMode::Custom)); });
    m_pRateChoice->setCurrentIndex(int(StoredSendRateMode()));
    m_pCustomRate->setEnabled(StoredSendRateMode() == SendRateMode::Custom);

    connect(m_pSlider, &QSlider::valueChanged, this,
            [this](int value) { m_pValueLabel->setText(QString::number(value)); });
    // The slider keeps a stored value outside its range at the nearest end.
    m_pSlider->setValue(GetProfileInt(QStringLiteral("Threads"), kDefaultScanThreads));
    m_pValueLabel->setText(QString::number(m_pSlider->value()));
}

void CSettingGlobalPage::Store() const
{
    WriteProfileInt(QStringLiteral("Threads"), m_pSlider->value());
    WriteProfileInt(QStringLiteral("SendRateMode"), m_pRateChoice->currentIndex());
    WriteProfileInt(QStringLiteral("SendRate"), m_pCustomRate->value());
}
