#pragma once

#include <QWidget>

class CCommonListView;
class CDBView;
class CLanveyDoc;
class CScanView;
class CScanSession;
class CWatchView;
class QTabWidget;
class ViewHost;
class WatchSession;

// The client area: a tab for each list. The list of the selected tab is the active
// view, the first stop of every command.
class CLanveyView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kScanTab = 0;
    static constexpr int kDatabaseTab = 1;
    static constexpr int kWatchTab = 2;
    // The document's update hint that brings the scan list to the front.
    static constexpr int kHintShowScanTab = 100;

    CLanveyView(CLanveyDoc& doc, CScanSession& session, WatchSession& watch, ViewHost* host,
                QWidget* parent = nullptr);

    int GetCurSel() const;
    void SetCurSel(int tab);
    void OnUpdate(int hint);

    CCommonListView* ActiveView() const { return m_pActiveView; }
    CScanView* ScanView() const { return m_pScanView; }
    CDBView* DatabaseView() const { return m_pDBView; }
    CWatchView* WatchView() const { return m_pWatchView; }
    QTabWidget* TabControl() const { return m_pTabs; }

signals:
    // The selected tab changed; the active view has already followed it.
    void tabSwitched(int tab);

private:
    void OnSelChange(int tab);

    QTabWidget* m_pTabs;
    CScanView* m_pScanView;
    CDBView* m_pDBView;
    CWatchView* m_pWatchView;
    CCommonListView* m_pActiveView = nullptr;
};
