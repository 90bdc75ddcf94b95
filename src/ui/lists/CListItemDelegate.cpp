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

const QStaticText& CListItemDelegate::LaidOutText(const QStyleOptionViewItem& option,
                                                  int width) const
{
    if (option.font != m_laidOutFont || m_laidOut.size() >= kMaxLaidOutTexts) {
        m_laidOut.clear();
        m_laidOutFont = option.font;
    }
    auto key = std::make_pair(option.text, width);
    if (const auto found = m_laidOut.constFind(key); found != m_laidOut.cend())
        return *found;
    const QFontMetrics metrics(option.font);
    QStaticText text(metrics.elidedText(option.text, option.textElideMode, width));
    text.setTextFormat(Qt::PlainText);
    text.setPerformanceHint(QStaticText::AggressiveCaching);
    text.prepare(QTransform(), option.font);
    return *m_laidOut.insert(std::move(key), std::move(text));
}

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

    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    if (opt.features.testFlag(QStyleOptionViewItem::HasCheckIndicator)) {
        // The style draws check box, icon and text: selection, hover and focus are ours.
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
        opt.backgroundBrush = Qt::NoBrush;
        opt.palette.setColor(QPalette::Text, colors.text);
        opt.palette.setColor(QPalette::HighlightedText, colors.text);
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    } else {
        // Icon and text where the style puts them, the text from the layout cache.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, opt.widget) + 1;
        QRect textArea = opt.rect;
        if (opt.features.testFlag(QStyleOptionViewItem::HasDecoration)) {
            const QRect slot(opt.rect.x(), opt.rect.y(), opt.decorationSize.width() + margin,
                             opt.rect.height());
            const QRect iconRect =
                QStyle::alignedRect(opt.direction, opt.decorationAlignment, opt.decorationSize,
                                    QStyle::visualRect(opt.direction, opt.rect, slot));
            opt.icon.paint(painter, iconRect, opt.decorationAlignment,
                           opt.state.testFlag(QStyle::State_Enabled) ? QIcon::Normal
                                                                     : QIcon::Disabled,
                           QIcon::Off);
            textArea.setLeft(slot.right() + 1);
        }
        textArea =
            QStyle::visualRect(opt.direction, opt.rect, textArea.adjusted(margin, 0, -margin, 0));
        if (!opt.text.isEmpty() && textArea.width() > 0) {
            const QStaticText& text = LaidOutText(opt, textArea.width());
            const QRect at = QStyle::alignedRect(opt.direction, opt.displayAlignment,
                                                 text.size().toSize(), textArea);
            painter->save();
            painter->setClipRect(textArea, Qt::IntersectClip);
            painter->setFont(opt.font);
            painter->setPen(colors.text);
            painter->drawStaticText(at.topLeft(), text);
            painter->restore();
        }
    }

    // Grid lines on the right and bottom edges, so that neighbours share them: one pixel
    // wide, filled rather than stroked, which costs a fraction of a line's drawing.
    const QRect& r = opt.rect;
    painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), colors.grid);
    painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), colors.grid);
}
