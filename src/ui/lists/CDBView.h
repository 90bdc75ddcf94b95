#pragma once

#include "CCommonListView.h"

// The "Database" list of known hosts.
class CDBView final : public CCommonListView
{
    Q_OBJECT

public:
    CDBView(CLanveyDoc& doc, ViewHost* host, QWidget* parent = nullptr);

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;
    int ListRowCount() const override;
};
