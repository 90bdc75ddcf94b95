#include "ui/dialogs/CSettingGlobalPage.h"

#include "lang/LangString.h"
#include "scan/ScanJob.h"
#include "app/ProfileSettings.h"

#include <QGridLayout>
#include <QLabel>
#include <QSlider>

CSettingGlobalPage::CSettingGlobalPage(QWidget* parent)
    : QWidget(parent), m_pValueLabel(new QLabel(this)), m_pSlider(new QSlider(Qt::Horizontal, this))
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
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(2, 1);

    connect(m_pSlider, &QSlider::valueChanged, this,
            [this](int value) { m_pValueLabel->setText(QString::number(value)); });
    // The slider keeps a stored value outside its range at the nearest end.
    m_pSlider->setValue(GetProfileInt(QStringLiteral("Threads"), kDefaultScanThreads));
    m_pValueLabel->setText(QString::number(m_pSlider->value()));
}
