#include "ui/nametable/CADDNMTMULDlg.h"

#include "lang/LangString.h"
#include "lang/MessagePrompt.h"
#include "records/LanveyDoc.h"
#include "records/RecordLock.h"
#include "support/AddressText.h"
#include "ui/nametable/CAddNMTListCtrl.h"
#include "ui/nametable/NameTableDialogParts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <mutex>

CADDNMTMULDlg::CADDNMTMULDlg(CLanveyDoc& doc, QWidget* parent)
    : QDialog(parent), m_doc(doc), m_pList(new CAddNMTListCtrl(doc, this)),
      m_pSelectAll(new QCheckBox(FormatLangStringA(0xF14B, "Select All"), this))
{
    setObjectName(QStringLiteral("ADDNMTMULDlg"));
    m_pSelectAll->setObjectName(QStringLiteral("SelectAll"));
    setWindowTitle(FormatLangStringA(0xF147, "Add To NameTable"));

    QGroupBox* noticeBox = MakeNoticeBox(
        this, {new QLabel(FormatLangStringA(0xF149, "*All records selected will overwrite the "
                                                    "existing records in the Name Table.")),
               new QLabel(FormatLangStringA(0xF14A, "*Double-click to edit the alias."))});

    // At least as wide as the three columns with room for the scroll bar; wider when the
    // notice is.
    m_pList->setMinimumSize(3 * CAddNMTListCtrl::kColumnWidth + 40,
                            std::max(300, fontMetrics().height() * 189 / 8));

    LayOutNameTableDialog(this, noticeBox, m_pList, MakeNameTableButtons(this, m_pSelectAll));

    // A click on the box, never the box following the rows, checks or unchecks them all.
    connect(m_pSelectAll, &QCheckBox::clicked, this, &CADDNMTMULDlg::OnSelectAll);
    connect(m_pList, &CAddNMTListCtrl::rowCheckChanged, this,
            [this] { m_pSelectAll->setChecked(m_pList->AllChecked()); });
}

int CADDNMTMULDlg::exec()
{
    LoadList();
    return QDialog::exec();
}

void CADDNMTMULDlg::LoadList()
{
    if (m_bWithIpv4 && m_bWithMac)
        setWindowTitle(FormatLangStringA(180, "Add IP Address and MAC Address To NameTable"));
    else if (m_bWithIpv4)
        setWindowTitle(FormatLangStringA(177, "Add IP Address To NameTable"));
    else
        setWindowTitle(FormatLangStringA(178, "Add MAC Address To NameTable"));

    QStringList titles;
    if (m_bWithIpv4)
        titles << FormatLangStringA(165, "IP Address");
    if (m_bWithMac)
        titles << FormatLangStringA(167, "MAC Address");
    titles << FormatLangStringA(175, "alias");
    m_pList->setRowCount(0);
    m_pList->SetColumns(titles);
    {
        const std::lock_guard<std::recursive_mutex> lock(g_recordLock);
        const int count = m_doc.GetNameTableEntryCount();
        for (int i = 0; i < count; ++i) {
            const NameTableEntry* entry = m_doc.GetNameTableEntry(i);
            if (!entry)
                continue;
            // One cell per column; with neither kind (no command asks for that) the alias
            // stands alone rather than under an address.
            QStringList cells;
            if (m_bWithIpv4)
                cells << FormatIpAddress(entry->ip);
            if (m_bWithMac)
                cells << FormatMacAddress(entry->mac);
            cells << entry->alias;
            m_pList->AddRow(cells);
        }
    }
    m_pSelectAll->setChecked(true);
    m_pList->setFocus();
}

void CADDNMTMULDlg::OnSelectAll(bool checked)
{
    m_pList->SetAllChecked(checked);
    m_pList->setFocus();
}

void CADDNMTMULDlg::accept()
{
    // An edit still open counts: its text goes into the entry first.
    m_pList->HideInPlaceEditor();
    m_pList->clearSelection();
    const int rows = m_pList->rowCount();
    for (int row = 0; row < rows; ++row) {
        NameTableEntry* entry = m_doc.GetNameTableEntry(row);
        if (!entry)
            continue;
        if (!m_pList->IsRowChecked(row)) {
            entry->checked = 0;
            continue;
        }
        if (entry->alias.isEmpty()) {
            const QModelIndex index = m_pList->model()->index(row, 0);
            m_pList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
            m_pList->scrollTo(index, QAbstractItemView::EnsureVisible);
            m_pList->setFocus();
            CurrentMessagePrompt().Ask(FormatLangStringA(157, "Alias can't Empty!"),
                                       PromptButtons::Ok, PromptIcon::Error);
            // Nothing is marked for sending until every checked row has its alias.
            for (int before = 0; before <= row; ++before)
                if (NameTableEntry* marked = m_doc.GetNameTableEntry(before))
                    marked->checked = 0;
            return;
        }
        entry->checked = 1;
    }
    QDialog::accept();
}
