#include "ui/frame/CLanveyView.h"

#include "lang/LangString.h"
#include "ui/commands/CommandIcons.h"
#include "ui/commands/CommandTable.h"
#include "ui/lists/CDBView.h"
#include "ui/lists/CScanView.h"
#include "ui/lists/CWatchView.h"

#include <QTabWidget>
#include <QVBoxLayout>

CLanveyView::CLanveyView(CLanveyDoc& doc, CScanSession& session, WatchSession& watch,
                         ViewHost* host, QWidget* parent)
    : QWidget(parent), m_pTabs(new QTabWidget(this)),
      m_pScanView(new CScanView(doc, session, host)), m_pDBView(new CDBView(doc, host)),
      m_pWatchView(new CWatchView(doc, watch, host))
{
    m_pTabs->setDocumentMode(true);
    m_pTabs->setIconSize(QSize(16, 16));
    m_pTabs->addTab(m_pScanView, ShippedIcon("tab_scan.png"),
                    FormatLangString(163, QStringLiteral("Scan Network")));
    m_pTabs->addTab(m_pDBView, ShippedIcon("tab_database.png"),
                    FormatLangString(164, QStringLiteral("Database")));
    m_pTabs->addTab(m_pWatchView, ShippedIcon("tab_watch.png"), MenuText("Watch"));
    m_pActiveView = m_pScanView;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pTabs);

    connect(m_pTabs, &QTabWidget::currentChanged, this, &CLanveyView::OnSelChange);
}

int CLanveyView::GetCurSel() const
{
    return m_pTabs->currentIndex();
}

void CLanveyView::SetCurSel(int tab)
{
    m_pTabs->setCurrentIndex(tab);
}

void CLanveyView::OnUpdate(int hint)
{
    if (hint == kHintShowScanTab)
        SetCurSel(kScanTab);
}

void CLanveyView::OnSelChange(int tab)
{
    m_pActiveView = tab == kScanTab    ? static_cast<CCommonListView*>(m_pScanView)
                    : tab == kWatchTab ? static_cast<CCommonListView*>(m_pWatchView->HostList())
                                       : static_cast<CCommonListView*>(m_pDBView);
    emit tabSwitched(tab);
}
