#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// "Detail": why a scan result differs from the database, as a read-only text on white.
// It can be resized down to 400 x 300 pixels; the text grows with it and Close stays in
// the lower right corner.
class CShowDetailDlg final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMinWidth = 400;
    static constexpr int kMinHeight = 300;

    explicit CShowDetailDlg(QWidget* parent = nullptr);

    // The text as built, lines ended by "\r\n".
    void SetDetailText(const QString& text);
    const QString& DetailText() const { return m_strDetail; }

    QPlainTextEdit* TextEdit() const { return m_pEdit; }
    QPushButton* CloseButton() const { return m_pClose; }

private:
    QString m_strDetail;
    QPlainTextEdit* m_pEdit;
    QPushButton* m_pClose;
};
