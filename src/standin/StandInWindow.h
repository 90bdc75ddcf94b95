#pragma once

#include <QTableWidget>

class CStandInAnalyzer;

// The stand-in's table as a user sees it: one row per address, kept up to date as adds
// arrive.
class CStandInWindow final : public QTableWidget
{
    Q_OBJECT

public:
    explicit CStandInWindow(CStandInAnalyzer& analyzer, QWidget* parent = nullptr);

private:
    void Reload();

    CStandInAnalyzer& m_analyzer;
};
