#pragma once

#include <QColor>
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
};
