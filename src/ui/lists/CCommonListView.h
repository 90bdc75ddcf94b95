#pragma once

#include "CommandTarget.h"

#include <QTableView>

class CLanveyDoc;
class ViewHost;

// What both lists share: the table, the document, the frame, and the enabling rules of
// the commands that act on rows (enabled only while rows are selected) or on the whole
// list (enabled only while it has rows).
class CCommonListView : public QTableView, public CommandTarget
{
    Q_OBJECT

public:
    CCommonListView(CLanveyDoc& doc, ViewHost* host, QWidget* parent = nullptr);

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;

    // The row commands follow the selection of whatever model the list is given.
    void setModel(QAbstractItemModel* model) override;

    CLanveyDoc& Document() const { return m_doc; }
    ViewHost* Host() const { return m_pHost; }

    // Rows the list shows and rows the user has selected.
    virtual int ListRowCount() const = 0;
    int SelectedRowCount() const;

protected:
    CLanveyDoc& m_doc;
    ViewHost* m_pHost;
};
