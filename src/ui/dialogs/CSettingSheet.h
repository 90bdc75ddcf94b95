#pragma once

#include <QDialog>

class CSettingGlobalPage;
class QDialogButtonBox;
class QTabWidget;

// The settings sheet: one "General" page, OK and Cancel, no Apply. OK stores the
// page's thread count and carries the "Alias" value through unchanged.
class CSettingSheet final : public QDialog
{
    Q_OBJECT

public:
    // `alias` is the "Alias" value read when the sheet was opened.
    CSettingSheet(const QString& caption, int alias, QWidget* parent = nullptr);

    CSettingGlobalPage* Page() const { return m_pPage; }
    QDialogButtonBox* Buttons() const { return m_pButtons; }

    void done(int result) override;

private:
    int m_nAlias;
    QTabWidget* m_pTabs;
    CSettingGlobalPage* m_pPage;
    QDialogButtonBox* m_pButtons;
};
