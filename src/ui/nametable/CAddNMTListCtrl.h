#pragma once

#include "ui/lists/CListViewEdit.h"

#include <QStringList>
#include <QTableWidget>
#include <vector>

class CLanveyDoc;

// The hosts of a name-table transfer, one checkable row per entry of the document's
// name-table list (row i is entry i), the alias in the last column. A double click on an
// alias cell edits it in place; the edited text goes into the cell and into the entry.
class CAddNMTListCtrl final : public QTableWidget
{
    Q_OBJECT

public:
    explicit CAddNMTListCtrl(CLanveyDoc& doc, QWidget* parent = nullptr);

    // Every column is left-aligned and kColumnWidth wide.
    static constexpr int kColumnWidth = 130;

    void SetColumns(const QStringList& titles);
    // Appends a checked row; the texts are shown without their control characters.
    void AddRow(const QStringList& cells);

    bool IsRowChecked(int row) const;
    void SetRowChecked(int row, bool checked);
    void SetAllChecked(bool checked);
    bool AllChecked() const { return m_nUnchecked == 0; }

    // Null until the first edit.
    CListViewEdit* InPlaceEditor() const { return m_editing.Editor(); }
    // Edits the cell at `pos` (viewport coordinates) as a double click there does.
    void StartInPlaceEdit(const QPoint& pos) { m_editing.StartAt(pos); }
    // Ends a running edit of an alias with the typed text.
    void HideInPlaceEditor() { m_editing.Hide(); }

signals:
    // A row was checked or unchecked, by a click, a key or SetRowChecked.
    void rowCheckChanged(int row, bool checked);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void OnItemChanged(QTableWidgetItem* item);
    void OnEndLabelEdit(int row, int column, const QString& text);

    CLanveyDoc& m_doc;
    CInPlaceEditing m_editing;
    // The check state each row had at its last change, to tell check changes from others.
    std::vector<bool> m_rowChecked;
    int m_nUnchecked = 0;
};
