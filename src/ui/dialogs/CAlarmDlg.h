#pragma once

#include "records/DatabaseRecord.h"
#include "records/HostRecord.h"
#include "records/ScanMerge.h"

#include <QDialog>
#include <array>

class CNVOUI;
class QGroupBox;
class QLabel;
class QPushButton;

// "Confirm Record Replace": a scan result beside the database record that has its
// address, and five answers. One dialog serves a whole merge: the caller sets both
// records before each exec() and reads the answer after it (ReplaceAnswer's codes).
class CAlarmDlg final : public QDialog
{
    Q_OBJECT

public:
    enum Answer { Yes = 1, No = 2, YesToAll = 3, NotToAll = 4, Cancel = 5 };

    // `oui` names the vendors (may be null).
    explicit CAlarmDlg(const CNVOUI* oui, QWidget* parent = nullptr);

    // The groups' captions: the scan list's "Scanview Record" and "Database Record" unless
    // set (an import names its upper group "File Record").
    void SetGroupTitles(const QString& upper, const QString& lower);

    // Fills both groups, then runs the dialog.
    int exec() override;
    // Escape and the close box: Cancel.
    void reject() override;

    QPushButton* Button(Answer answer) const { return m_buttons[size_t(answer - 1)]; }
    QGroupBox* ScanGroup() const { return m_pScanGroup; }
    QGroupBox* DatabaseGroup() const { return m_pDatabaseGroup; }
    // The five values of a group: IP, MAC, host name, workgroup, manufacturer.
    QStringList ScanValues() const;
    QStringList DatabaseValues() const;

    HostRecord m_scanRecord;
    DatabaseRecord m_dbRecord;
    int m_nResult = Yes;

private:
    QGroupBox* MakeGroup(std::array<QLabel*, 5>& values);
    void Fill(std::array<QLabel*, 5>& values, quint32 ip, quint64 mac, const QString& hostName,
              const QString& workgroup);

    const CNVOUI* m_pOui;
    QString m_strUpperTitle;
    QString m_strLowerTitle;
    QGroupBox* m_pScanGroup;
    QGroupBox* m_pDatabaseGroup;
    std::array<QLabel*, 5> m_scanValues{};
    std::array<QLabel*, 5> m_databaseValues{};
    std::array<QPushButton*, 5> m_buttons{};
};

// Add To Database's question: `dialog` with both records, its answer.
AskReplace AskReplaceWith(CAlarmDlg& dialog);
// Add To Database's report, shown when the merge added a record and the file took it (a
// refused merge was undone and its failure shown).
void ShowMergeReport(const MergeReport& report);
