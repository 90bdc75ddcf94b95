#include "ui/dialogs/CAboutDlg.h"

#include "app/LanveyApp.h"
#include "lang/LangString.h"
#include "ui/commands/CommandIcons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

QString AboutVersionText(const QString& productVersion)
{
    const QString version = productVersion.section(QLatin1Char('.'), 0, 1);
    const QString build = productVersion.section(QLatin1Char('.'), -1);
    return FormatLangString(197, QStringLiteral("Version %s_VERSION% (Build %s_BUILDNUMBER%)"),
                            {version, build});
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent), m_pProduct(new QLabel(QString::fromUtf8(kProductName), this)),
      m_pVersion(new QLabel(AboutVersionText(QString::fromLatin1(kProductVersion)), this))
{
    setWindowTitle(FormatLangString(0xF286, QStringLiteral("About %s_PRODUCT%"),
                                    {QString::fromUtf8(kProductName)}));
    auto* icon = new QLabel(this);
    icon->setPixmap(ShippedPixmap("lanvey.png"));
    icon->setAlignment(Qt::AlignTop);

    QFont bold = m_pProduct->font();
    bold.setBold(true);
    m_pProduct->setFont(bold);

    auto* text = new QVBoxLayout;
    text->addWidget(m_pProduct);
    text->addWidget(m_pVersion);
    text->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(FormatLangString(182, QStringLiteral("OK")));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);

    // Wide enough that the title bar shows the whole caption beside its buttons.
    setMinimumWidth(std::max(360, fontMetrics().horizontalAdvance(windowTitle()) + 160));
}
