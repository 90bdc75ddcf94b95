#pragma once

#include <QDialog>
#include <functional>

class FindTarget;
class QCheckBox;
class QLineEdit;
class QPushButton;

// The modeless "Find" dialog. It keeps no search state of its own: the list it searches
// remembers its last text, and the dialog only decides whether a search starts over
// (a new text) or continues after the focused row (the same text).
class CFindDlg final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int IDD = 143;
    static constexpr int IDC_STATIC_FIND = 1010;
    static constexpr int IDC_EDIT_FIND = 1008;
    static constexpr int IDC_CHECK_MATCH_CASE = 1009;
    static constexpr int IDC_BUTTON_FIND_NEXT = 1007;
    static constexpr int IDCANCEL = 2;

    // `activeTarget` gives the list of the current tab, or null when there is none.
    explicit CFindDlg(std::function<FindTarget*()> activeTarget, QWidget* parent = nullptr);

    // One search with the dialog's text and case option; true on a hit (the dialog is
    // then hidden).
    bool OnFindNext();

    QLineEdit* FindEdit() const { return m_pEditFind; }
    QCheckBox* MatchCaseBox() const { return m_pCheckMatchCase; }
    QPushButton* FindNextButton() const { return m_pButtonFindNext; }
    QPushButton* CloseButton() const { return m_pButtonClose; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<FindTarget*()> m_activeTarget;
    QLineEdit* m_pEditFind;
    QCheckBox* m_pCheckMatchCase;
    QPushButton* m_pButtonFindNext;
    QPushButton* m_pButtonClose;
};
