#include "ui/dialogs/CFindDlg.h"

#include "lang/LangString.h"
#include "ui/dialogs/FindTarget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

bool IsEnterKey(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

CFindDlg::CFindDlg(std::function<FindTarget*()> activeTarget, QWidget* parent)
    : QDialog(parent), m_activeTarget(std::move(activeTarget)), m_pEditFind(new QLineEdit(this)),
      m_pCheckMatchCase(new QCheckBox(FormatLangStringA(0xF104, "Match Case"), this)),
      m_pButtonFindNext(new QPushButton(FormatLangStringA(0xF105, "Find Next"), this)),
      m_pButtonClose(new QPushButton(FormatLangStringA(0xF106, "Close"), this))
{
    setObjectName(QStringLiteral("FindDlg"));
    setWindowTitle(FormatLangStringA(0xF102, "Find"));
    setModal(false);
    setSizeGripEnabled(false);

    auto* label = new QLabel(FormatLangStringA(0xF103, "Find What:"), this);
    label->setBuddy(m_pEditFind);
    m_pEditFind->setObjectName(QStringLiteral("EditFind"));
    m_pEditFind->setMinimumWidth(220);
    m_pCheckMatchCase->setObjectName(QStringLiteral("CheckMatchCase"));
    m_pButtonFindNext->setObjectName(QStringLiteral("ButtonFindNext"));
    m_pButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    // No default button: Enter is Find Next wherever the focus is, and never closes.
    for (QPushButton* button : {m_pButtonFindNext, m_pButtonClose}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_pEditFind, 0, 1);
    layout->addWidget(m_pCheckMatchCase, 1, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_pButtonFindNext);
    buttons->addWidget(m_pButtonClose);
    buttons->addStretch(1);
    layout->addLayout(buttons, 0, 2, 3, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(2, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_pButtonFindNext, &QPushButton::clicked, this, [this] { OnFindNext(); });
    connect(m_pButtonClose, &QPushButton::clicked, this, &QDialog::reject);

    // Every child sees Enter before its own handling would pass it on to the dialog.
    for (QWidget* child :
         {static_cast<QWidget*>(m_pEditFind), static_cast<QWidget*>(m_pCheckMatchCase),
          static_cast<QWidget*>(m_pButtonFindNext), static_cast<QWidget*>(m_pButtonClose)})
        child->installEventFilter(this);
}

bool CFindDlg::OnFindNext()
{
    const QString text = m_pEditFind->text();
    if (text.isEmpty())
        return false;
    FindTarget* target = m_activeTarget ? m_activeTarget() : nullptr;
    if (!target)
        return false;
    // Only a new text starts over; the case option alone does not.
    const bool continueSearch = target->GetLastFindText() == text;
    const bool matchCase = m_pCheckMatchCase->isChecked();
    if (!target->FindText(text, matchCase, continueSearch))
        return false;
    accept();
    return true;
}

void CFindDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Typing replaces the previous text.
    m_pEditFind->setFocus(Qt::OtherFocusReason);
    m_pEditFind->selectAll();
}

bool CFindDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (IsEnterKey(event)) {
        OnFindNext();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CFindDlg::keyPressEvent(QKeyEvent* event)
{
    if (IsEnterKey(event)) {
        OnFindNext();
        return;
    }
    // Escape hides the dialog, as Close does.
    QDialog::keyPressEvent(event);
}
