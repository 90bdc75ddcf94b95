#pragma once

#include <QDialog>

class CSettingGlobalPage;
class CSettingWatchPage;
class QDialogButtonBox;
class QTabWidget;

// The settings sheet: the "General" and "Watch" pages, OK and Cancel, no Apply. OK stores
// the thread count and the watch's settings, and carries the "Alias" value through
// unchanged.
class CSettingSheet final : public QDialog
{
    Q_OBJECT

public:
    // `alias` is the "Alias" value read when the sheet was opened.
    CSettingSheet(const QString& caption, int alias, QWidget* parent = nullptr);

    CSettingGlobalPage* Page() const { return m_pPage; }
    CSettingWatchPage* WatchPage() const { return m_pWatchPage; }
    QTabWidget* Tabs() const { return m_pTabs; }
    QDialogButtonBox* Buttons() const { return m_pButtons; }

    void done(int result) override;

private:
    int m_nAlias;
    QTabWidget* m_pTabs;
    CSettingGlobalPage* m_pPage;
    CSettingWatchPage* m_pWatchPage;
    QDialogButtonBox* m_pButtons;
};
