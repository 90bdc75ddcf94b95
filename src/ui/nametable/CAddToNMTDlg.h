#pragma once

#include "records/ColorRef.h"

#include <QDialog>

class CColorPicker;
class QLabel;
class QLineEdit;

// One host, one address (IPv4 or MAC) for the analyzer's name table: the address, a
// notice whether the analyzer holds it already, and the alias and colour to send. The
// caller sets the fields, runs exec() and on Accepted reads the alias and the colour.
class CAddToNMTDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CAddToNMTDlg(QWidget* parent = nullptr);

    // Loads the fields into the controls, then runs the dialog.
    int exec() override;
    // OK: an empty alias is refused (message 157, the focus on the alias).
    void accept() override;

    QLineEdit* AddressEdit() const { return m_pEditAddress; }
    QLineEdit* AliasEdit() const { return m_pEditAlias; }
    CColorPicker* ColorPicker() const { return m_pColorPicker; }
    QLabel* NoticeLabel() const { return m_pNotice; }
    QLabel* AddressLabel() const { return m_pAddressLabel; }

    // In.
    bool m_bIsIpv4 = false;
    bool m_bIpPresent = false;
    bool m_bMacPresent = false;
    QString m_strAddress;
    // In and out.
    QString m_strAlias;
    ColorRef m_color = 0;

private:
    void LoadFields();

    QLabel* m_pNotice;
    QLabel* m_pAddressLabel;
    QLineEdit* m_pEditAddress;
    QLineEdit* m_pEditAlias;
    CColorPicker* m_pColorPicker;
};
