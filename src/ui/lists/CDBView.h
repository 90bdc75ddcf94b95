#pragma once

#include "ui/lists/CCommonListView.h"
#include "ui/lists/CListViewEdit.h"

class CDBListModel;
struct DatabaseRecord;

// The "Database" list of known hosts, with its record editor (Add, Properties) and the
// in-place editor of single cells. The document commits every change to the database
// file; the list only shows what the document holds.
class CDBView final : public CCommonListView
{
    Q_OBJECT

public:
    // The in-place editor leaves the icon of the first two columns uncovered.
    static constexpr int kIconIndent = 21;
    static constexpr int kTextIndent = 3;

    CDBView(CLanveyDoc& doc, ViewHost* host, QWidget* parent = nullptr);
    ~CDBView() override;

    bool OnCommand(int id) override;
    std::optional<bool> IsCommandEnabled(int id) override;
    QString PrintTitle() const override;
    QByteArray ExportRows(ExchangeFormat format, const std::vector<int>& rows) const override;

    // Shows as many rows as the database list holds, after whoever changed it.
    void UpdateRowCount();

    // The in-place editor, null before the first edit.
    CListViewEdit* InPlaceEditor() const { return m_editing.Editor(); }
    // Edits the cell at `pos` (viewport coordinates) as a double click there does.
    void StartInPlaceEdit(const QPoint& pos) { m_editing.StartAt(pos); }

protected:
    void OnSort(int column, bool ascending) override;
    const void* RecordAtRow(int row) const override;
    std::vector<int> ContextMenuItems() const override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Tells the analyzer that the database list sent a name.
    static constexpr quint64 kNameTableSender = 2;

    void OnEditAdd();
    void OnViewProperties();
    void OnEditDelete();
    // Import...: a file of hosts into the database list, clashes settled by the user.
    void OnFileImport();
    void OnEndLabelEdit(int row, int column, const QString& text);
    void ShowTotal();

    CDBListModel* m_pModel;
    CInPlaceEditing m_editing;
};
