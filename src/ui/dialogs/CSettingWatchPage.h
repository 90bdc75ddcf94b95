#pragma once

#include <QWidget>

class QRadioButton;
class QSpinBox;
struct WatchSettings;

// The "Watch" page: how often a watch sweeps and how fast, after how many missed sweeps a
// host is gone, and which events the desktop is told of.
class CSettingWatchPage final : public QWidget
{
    Q_OBJECT

public:
    explicit CSettingWatchPage(QWidget* parent = nullptr);

    // The values as the page shows them.
    WatchSettings Settings() const;

    QSpinBox* IntervalBox() const { return m_pInterval; }
    QSpinBox* RateBox() const { return m_pRate; }
    QSpinBox* GoneAfterBox() const { return m_pGoneAfter; }
    QRadioButton* NewOnlyButton() const { return m_pNewOnly; }

private:
    QSpinBox* m_pInterval;
    QSpinBox* m_pRate;
    QSpinBox* m_pGoneAfter;
    QRadioButton* m_pNewOnly;
    QRadioButton* m_pAll;
};
