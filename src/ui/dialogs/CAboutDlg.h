#pragma once

#include <QDialog>

class QLabel;

// The About box: the program's icon, name and version.
class CAboutDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* ProductLabel() const { return m_pProduct; }
    QLabel* VersionLabel() const { return m_pVersion; }

private:
    QLabel* m_pProduct;
    QLabel* m_pVersion;
};

// "Version 2.2 (Build 315)" from the product version "2.2.1.315": the version up to its
// second ".", the build number after its last ".".
QString AboutVersionText(const QString& productVersion);
