#pragma once

#include "records/ColorRef.h"

#include <QDialog>

class CColorPicker;
class QLabel;
class QLineEdit;

// One host, both addresses for the analyzer's name table: the IPv4 and the MAC address,
// a two-line notice whether the analyzer holds each already, and the alias and colour
// sent with both. The caller sets the fields, runs exec() and on Accepted reads the
// alias and the colour.
class CAddNMTIPMACDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CAddNMTIPMACDlg(QWidget* parent = nullptr);

    int exec() override;
    // OK: an empty alias is refused (message 157, the focus on the alias).
    void accept() override;

    QLineEdit* IpEdit() const { return m_pEditIp; }
    QLineEdit* MacEdit() const { return m_pEditMac; }
    QLineEdit* AliasEdit() const { return m_pEditAlias; }
    CColorPicker* ColorPicker() const { return m_pColorPicker; }
    QLabel* NoticeLabel() const { return m_pNotice; }

    // In.
    bool m_bIpPresent = false;
    bool m_bMacPresent = false;
    QString m_strIp;
    QString m_strMac;
    // In and out.
    QString m_strAlias;
    ColorRef m_color = 0;

private:
    void LoadFields();

    QLabel* m_pNotice;
    QLineEdit* m_pEditIp;
    QLineEdit* m_pEditMac;
    QLineEdit* m_pEditAlias;
    CColorPicker* m_pColorPicker;
};
