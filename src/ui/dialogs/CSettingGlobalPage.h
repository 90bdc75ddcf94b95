#pragma once

#include <QWidget>

class QLabel;
class QSlider;

// The "General" page: how many workers a scan starts.
class CSettingGlobalPage final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMinThreads = 1;
    static constexpr int kMaxThreads = 100;

    explicit CSettingGlobalPage(QWidget* parent = nullptr);

    QSlider* Slider() const { return m_pSlider; }
    QLabel* ValueLabel() const { return m_pValueLabel; }

private:
    QLabel* m_pValueLabel;
    QSlider* m_pSlider;
};
