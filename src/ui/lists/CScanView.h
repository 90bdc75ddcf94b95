#pragma once

#include "ui/lists/CCommonListView.h"

class CScanSession;

// The "Scan Network" list: it shows the scan session's model. Scans are started, paused
// and stopped by the frame through the session; the list follows the session's row count
// and asks it only whether a scan runs.
class CScanView final : public CCommonListView
{
    Q_OBJECT

public:
    CScanView(CLanveyDoc& doc, CScanSession& session, ViewHost* host, QWidget* parent = nullptr);
    ~CScanView() override;

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;
    QString PrintTitle() const override;

    CScanSession& Session() const { return m_session; }
    QByteArray ExportRows(ExchangeFormat format, const std::vector<int>& rows) const override;

protected:
    void OnSort(int column, bool ascending) override;
    const void* RecordAtRow(int row) const override;
    std::vector<int> ContextMenuItems() const override;
    int ContextMenuDefaultItem() const override;
    QString ContextMenuText(int id) const override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Tells the analyzer that the scan list sent a name.
    static constexpr quint64 kNameTableSender = 1;

    void OnEditDelete();
    bool FocusedRowDiffers() const;
    void OnShowDifferentDetails();
    void OnEditAddToDatabase();
    void OnRowCountChanged(int rows);
    void SetStatusText(const QString& text);

    CScanSession& m_session;
    bool m_bWasEmpty = true;
};
