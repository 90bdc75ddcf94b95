#include "ui/dialogs/CShowDetailDlg.h"

#include "lang/LangString.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CShowDetailDlg::CShowDetailDlg(QWidget* parent)
    : QDialog(parent), m_pEdit(new QPlainTextEdit(this)),
      m_pClose(new QPushButton(FormatLangStringA(0xF131, "Close"), this))
{
    setObjectName(QStringLiteral("ShowDetailDlg"));
    setWindowTitle(FormatLangStringA(0xF130, "Detail"));
    setWindowIcon(QIcon(QStringLiteral(":/lanvey/icons/lanvey.png")));
    setSizeGripEnabled(true);
    setMinimumSize(kMinWidth, kMinHeight);

    m_pEdit->setObjectName(QStringLiteral("EditDetail"));
    m_pEdit->setReadOnly(true);
    m_pEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A read-only text stands on white, not on the window colour.
    QPalette palette = m_pEdit->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    m_pEdit->setPalette(palette);

    m_pClose->setObjectName(QStringLiteral("ButtonClose"));
    m_pClose->setDefault(true);
    connect(m_pClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pEdit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pClose);
    layout->addLayout(buttons);
    resize(440, 320);
}

void CShowDetailDlg::SetDetailText(const QString& text)
{
    m_strDetail = text;
    // The text box breaks lines at "\n"; a "\r" would show as a mark of its own.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_pEdit->setPlainText(shown);
}
