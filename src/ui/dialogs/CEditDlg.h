#pragma once

#include "records/ColorRef.h"
#include "records/DatabaseRecord.h"

#include <QDialog>

class CColorPicker;
class QLineEdit;
class CLimitedTextEdit;

// The record editor: every field of one database record, typed new (add mode) or
// changed (properties mode). The caller sets the mode and the fields, runs exec(), and
// on Accepted reads the fields back: both addresses have passed their checks.
class CEditDlg final : public QDialog
{
    Q_OBJECT

public:
    enum Mode { AddMode = 0, PropertiesMode = 1 };

    static constexpr int kMacLimit = 17;
    static constexpr int kNameLimit = int(kMaxRecordNameLength); // host name, user name, location
    static constexpr int kCommentLimit = int(kMaxRecordCommentLength);

    explicit CEditDlg(QWidget* parent = nullptr);

    // Loads the fields into the controls, then runs the dialog.
    int exec() override;
    // OK: the checks of the addresses, IP first.
    void accept() override;

    QLineEdit* IpEdit() const { return m_pEditIp; }
    QLineEdit* MacEdit() const { return m_pEditMac; }
    QLineEdit* HostNameEdit() const { return m_pEditHostName; }
    QLineEdit* WorkgroupEdit() const { return m_pEditWorkgroup; }
    QLineEdit* UserNameEdit() const { return m_pEditUserName; }
    QLineEdit* LocationEdit() const { return m_pEditLocation; }
    CLimitedTextEdit* CommentEdit() const { return m_pEditComment; }
    CColorPicker* ColorPicker() const { return m_pColorPicker; }

    int m_nMode = AddMode;
    QString m_strIp;
    QString m_strMac;
    QString m_strHostName;
    QString m_strWorkgroup;
    QString m_strUserName;
    QString m_strLocation;
    QString m_strComment;
    ColorRef m_color = 0;

private:
    void LoadFields();

    QLineEdit* m_pEditIp;
    QLineEdit* m_pEditMac;
    QLineEdit* m_pEditHostName;
    QLineEdit* m_pEditWorkgroup;
    QLineEdit* m_pEditUserName;
    QLineEdit* m_pEditLocation;
    CLimitedTextEdit* m_pEditComment;
    CColorPicker* m_pColorPicker;
};
