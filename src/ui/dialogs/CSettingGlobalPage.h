#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;

// The "General" page: how many workers a scan starts, and how fast it sends ARP requests
// (Gentle, Normal, or a custom number a second).
class CSettingGlobalPage final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMinThreads = 1;
    static constexpr int kMaxThreads = 100;

    explicit CSettingGlobalPage(QWidget* parent = nullptr);

    QSlider* Slider() const { return m_pSlider; }
    QLabel* ValueLabel() const { return m_pValueLabel; }
    // Its items in SendRateMode's order; the custom rate is enabled only for Custom.
    QComboBox* RateChoice() const { return m_pRateChoice; }
    QSpinBox* CustomRate() const { return m_pCustomRate; }

    // Stores the thread count and the send rate.
    void Store() const;

private:
    QLabel* m_pValueLabel;
    QSlider* m_pSlider;
    QComboBox* m_pRateChoice;
    QSpinBox* m_pCustomRate;
};
