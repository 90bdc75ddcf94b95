#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

// The colour `delta` percent of the way from `dark` towards `light`: how a state colour
// takes on a tint (the highlight colour of a selected row) and stays readable.
QColor LightColor(const QColor& light, const QColor& dark, int delta);

// Draws one cell of a record list: its own background, icon and text in the colour the
// model gives, and its grid lines. A selected row keeps its colours and takes a tint of
// the highlight colour (the same tint for text, background and grid), so the state
// colours of the scan list stay visible in a selection. No focus rectangle is drawn.
class CListItemDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int kSelectionTint = 30;

    explicit CListItemDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // The colours a cell is drawn in.
    struct CellColors {
        QColor background;
        QColor text;
        QColor grid;
    };
    static CellColors ColorsFor(const QStyleOptionViewItem& option, const QWidget* widget,
                                bool selected);

private:
    // A cell's text, elided to `width` and laid out once: a list repaints every visible
    // cell whenever rows go in, and laying the texts out anew was most of a repaint.
    const QStaticText& LaidOutText(const QStyleOptionViewItem& option, int width) const;

    static constexpr qsizetype kMaxLaidOutTexts = 4096;
    mutable QFont m_laidOutFont;
    mutable QHash<std::pair<QString, int>, QStaticText> m_laidOut;
};
