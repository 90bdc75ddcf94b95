#include "ui/dialogs/CColorPicker.h"

#include "lang/LangString.h"

#include <QColorDialog>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

CColorPicker::CColorPicker(QWidget* parent) : QToolButton(parent)
{
    setObjectName(QStringLiteral("ColorPicker"));
    setText(FormatLangStringA(0xF118, "Color"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setPopupMode(QToolButton::MenuButtonPopup);
    setIconSize(QSize(28, 14));
    auto* menu = new QMenu(this);
    QAction* automatic = menu->addAction(FormatLangStringA(0xF119, "Automatic"));
    automatic->setObjectName(QStringLiteral("AutomaticColor"));
    connect(automatic, &QAction::triggered, this, [this] { SetColor(m_defaultColor); });
    QAction* more = menu->addAction(FormatLangStringA(0xF11A, "More Colors..."));
    connect(more, &QAction::triggered, this, &CColorPicker::ChooseColor);
    setMenu(menu);
    connect(this, &QToolButton::clicked, this, &CColorPicker::ChooseColor);
    UpdateSwatch();
}

QColor CColorPicker::ToQColor(ColorRef color)
{
    return QColor(ColorRefRed(color), ColorRefGreen(color), ColorRefBlue(color));
}

ColorRef CColorPicker::FromQColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return MakeColorRef(quint8(rgb.red()), quint8(rgb.green()), quint8(rgb.blue()));
}

void CColorPicker::SetColor(ColorRef color)
{
    if (color == m_color)
        return;
    m_color = color;
    UpdateSwatch();
    emit colorChanged(color);
}

void CColorPicker::SetDefaultColor(ColorRef color)
{
    m_defaultColor = color;
}

void CColorPicker::ChooseColor()
{
    QColorDialog dialog(ToQColor(m_color), this);
    // The same dialog, in the program's language, on every desktop.
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    m_pDialog = &dialog;
    const bool picked = dialog.exec() == QDialog::Accepted;
    m_pDialog = nullptr;
    if (picked)
        SetColor(FromQColor(dialog.selectedColor()));
}

void CColorPicker::UpdateSwatch()
{
    QPixmap swatch(iconSize());
    swatch.fill(ToQColor(m_color));
    QPainter painter(&swatch);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    setIcon(QIcon(swatch));
}
