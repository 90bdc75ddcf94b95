#pragma once

#include <QDialog>

class CAddNMTListCtrl;
class CLanveyDoc;
class QCheckBox;

// Several hosts for the analyzer's name table: the document's name-table entries as a
// checkable list whose alias column is edited in place, and "Select All". On Accepted
// every entry of a checked row has `checked` 1 and a non-empty alias; the others 0.
class CADDNMTMULDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CADDNMTMULDlg(CLanveyDoc& doc, QWidget* parent = nullptr);

    // Fills the list from the document's entries (under the record lock), then runs it.
    int exec() override;
    // OK: a checked row with an empty alias is selected and refused (message 157).
    void accept() override;

    CAddNMTListCtrl* List() const { return m_pList; }
    QCheckBox* SelectAllBox() const { return m_pSelectAll; }
    CLanveyDoc& Document() const { return m_doc; }

    // In.
    bool m_bWithIpv4 = false;
    bool m_bWithMac = false;

private:
    void LoadList();
    void OnSelectAll(bool checked);

    CLanveyDoc& m_doc;
    CAddNMTListCtrl* m_pList;
    QCheckBox* m_pSelectAll;
};
