#include "ui/lists/CListItemDelegate.h"

#include <QApplication>
#include <QPainter>

QColor LightColor(const QColor& light, const QColor& dark, int delta)
{
    const auto channel = [delta](int l, int d) { return d + (l - d) * delta / 100; };
    return QColor(channel(light.red(), dark.red()), channel(light.green(), dark.green()),
                  channel(light.blue(), dark.blue()));
}

CListItemDelegate::CListItemDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

CListItemDelegate::CellColors CListItemDelegate::ColorsFor(const QStyleOptionViewItem& option,
                                                           const QWidget* widget, bool selected)
{
    const QStyle* style = widget ? widget->style() : QApplication::style();
    CellColors colors;
    colors.background = option.palette.color(QPalette::Active, QPalette::Base);
    colors.text = option.palette.color(QPalette::Text);
    colors.grid = QColor::fromRgba(
        static_cast<QRgb>(style->styleHint(QStyle::SH_Table_GridLineColor, &option, widget)));
    if (selected) {
        const QColor highlight = option.palette.color(QPalette::Active, QPalette::Highlight);
        colors.background = LightColor(highlight, colors.background, kSelectionTint);
        colors.text = LightColor(highlight, colors.text, kSelectionTint);
        colors.grid = LightColor(highlight, colors.grid, kSelectionTint);
    }
    return colors;
}

void CListItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    const CellColors colors = ColorsFor(opt, opt.widget, selected);

    painter->fillRect(opt.rect, colors.background);

    // The style draws icon and text only: selection, hover and focus are ours.
    opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
    opt.backgroundBrush = Qt::NoBrush;
    opt.palette.setColor(QPalette::Text, colors.text);
    opt.palette.setColor(QPalette::HighlightedText, colors.text);
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    // Grid lines on the right and bottom edges, so that neighbours share them.
    painter->save();
    painter->setPen(colors.grid);
    const QRect& r = opt.rect;
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
}
