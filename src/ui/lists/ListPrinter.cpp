#include "ui/lists/ListPrinter.h"

#include "ui/lists/CRecordListModel.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QIcon>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTableView>
#include <algorithm>
#include <vector>

namespace
{

struct PrintColumn {
    int logical;
    int x;
    int width;
};

// Column positions in printer dots, in the header's visual order, as wide as on screen.
std::vector<PrintColumn> LayOutColumns(const QHeaderView& header, double dotsPerScreenPixel)
{
    std::vector<PrintColumn> columns;
    int x = 0;
    for (int visual = 0; visual < header.count(); ++visual) {
        const int logical = header.logicalIndex(visual);
        const QVariant printed =
            header.model() ? header.model()->headerData(logical, Qt::Horizontal,
                                                        CRecordListModel::kColumnPrintedRole)
                           : QVariant();
        if (header.isSectionHidden(logical) || (printed.isValid() && !printed.toBool()))
            continue;
        const int width = static_cast<int>(header.sectionSize(logical) * dotsPerScreenPixel);
        columns.push_back({logical, x, width});
        x += width;
    }
    return columns;
}

void DrawCell(QPainter& painter, const QModelIndex& index, const QRect& cell, int padding)
{
    QRect textRect = cell.adjusted(padding, 0, -padding, 0);
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull()) {
        const int side = cell.height() * 3 / 4;
        const QRect iconRect(textRect.left(), cell.top() + (cell.height() - side) / 2, side, side);
        PaintCellIcon(painter, icon, iconRect);
        textRect.setLeft(iconRect.right() + padding);
    }
    const QVariant color = index.data(Qt::ForegroundRole);
    painter.setPen(color.canConvert<QColor>() ? color.value<QColor>() : QColor(Qt::black));
    const QString text = index.data(Qt::DisplayRole).toString();
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
}

} // namespace

void PaintCellIcon(QPainter& painter, const QIcon& icon, const QRect& target)
{
    // QIcon::paint never draws a pixmap larger than the icon has, which on a printer's
    // dots is a speck: take the largest image and scale it into the cell's rectangle.
    const QSize largest = icon.actualSize(QSize(256, 256));
    if (largest.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, icon.pixmap(largest));
    painter.restore();
}

void FitPageOrientation(QPrinter& printer, const QTableView& view)
{
    const QHeaderView* header = view.horizontalHeader();
    if (!header)
        return;
    const double dotsPerScreenPixel =
        double(printer.resolution()) / std::max(1, view.logicalDpiX());
    const std::vector<PrintColumn> columns = LayOutColumns(*header, dotsPerScreenPixel);
    const int tableWidth = columns.empty() ? 0 : columns.back().x + columns.back().width;
    QPageLayout portrait = printer.pageLayout();
    portrait.setOrientation(QPageLayout::Portrait);
    const int portraitWidth = portrait.paintRectPixels(printer.resolution()).width();
    printer.setPageOrientation(tableWidth > portraitWidth ? QPageLayout::Landscape
                                                          : QPageLayout::Portrait);
}

bool PrintListView(QPrinter& printer, const QTableView& view, const QString& title,
                   const QString& appTitle, ListPrintPlan* plan)
{
    const QAbstractItemModel* model = view.model();
    const QHeaderView* header = view.horizontalHeader();
    if (!model || !header)
        return false;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;

    // The table keeps the proportions of the screen: the list's font in its column
    // widths. A table wider than the page is drawn smaller as a whole.
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double dotsPerScreenPixel =
        double(printer.resolution()) / std::max(1, view.logicalDpiX());
    const std::vector<PrintColumn> columns = LayOutColumns(*header, dotsPerScreenPixel);
    const int tableWidth = columns.empty() ? 0 : columns.back().x + columns.back().width;
    const double scale = tableWidth > page.width() ? double(page.width()) / tableWidth : 1.0;
    painter.scale(scale, scale);
    const int width = static_cast<int>(page.width() / scale);
    const int height = static_cast<int>(page.height() / scale);

    QFont titleFont = view.font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    const QFont smallFont = view.font();
    QFont headingFont = smallFont;
    headingFont.setBold(true);

    painter.setFont(titleFont);
    const int titleHeight = painter.fontMetrics().height();
    painter.setFont(smallFont);
    const int lineHeight = painter.fontMetrics().height();
    const int rowHeight = lineHeight * 3 / 2;
    const int padding = std::max(1, lineHeight / 4);

    const int headingTop = titleHeight + lineHeight;
    const int bodyTop = headingTop + rowHeight;
    const int bodyBottom = height - lineHeight * 2;
    const int rowsPerPage = std::max(1, (bodyBottom - bodyTop) / rowHeight);
    const int rows = model->rowCount();
    const int pageCount = std::max(1, (rows + rowsPerPage - 1) / rowsPerPage);
    if (plan)
        *plan = {rowsPerPage, pageCount};
    const QColor gridColor(160, 160, 160);

    for (int pageIndex = 0; pageIndex < pageCount; ++pageIndex) {
        if (pageIndex > 0 && !printer.newPage())
            return false;

        painter.setPen(Qt::black);
        painter.setFont(titleFont);
        painter.drawText(QRect(0, 0, width, titleHeight), Qt::AlignLeft | Qt::AlignVCenter, title);
        painter.setFont(smallFont);
        painter.drawText(QRect(0, 0, width, titleHeight), Qt::AlignRight | Qt::AlignBottom,
                         appTitle);

        // Column titles on a grey band.
        painter.setFont(headingFont);
        painter.fillRect(QRect(0, headingTop, tableWidth, rowHeight), QColor(230, 230, 230));
        for (const PrintColumn& column : columns) {
            const QRect cell(column.x, headingTop, column.width, rowHeight);
            painter.setPen(Qt::black);
            painter.drawText(cell.adjusted(padding, 0, -padding, 0),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             painter.fontMetrics().elidedText(
                                 model->headerData(column.logical, Qt::Horizontal).toString(),
                                 Qt::ElideRight, cell.width() - 2 * padding));
        }

        painter.setFont(smallFont);
        const int firstRow = pageIndex * rowsPerPage;
        const int lastRow = std::min(rows, firstRow + rowsPerPage);
        for (int row = firstRow; row < lastRow; ++row) {
            const int y = bodyTop + (row - firstRow) * rowHeight;
            for (const PrintColumn& column : columns)
                DrawCell(painter, model->index(row, column.logical),
                         QRect(column.x, y, column.width, rowHeight), padding);
        }

        // The grid over the heading and this page's rows.
        const int tableBottom = bodyTop + (lastRow - firstRow) * rowHeight;
        painter.setPen(gridColor);
        for (int y = headingTop; y <= tableBottom; y += rowHeight)
            painter.drawLine(0, y, tableWidth, y);
        painter.drawLine(0, headingTop, 0, tableBottom);
        for (const PrintColumn& column : columns)
            painter.drawLine(column.x + column.width, headingTop, column.x + column.width,
                             tableBottom);

        painter.setPen(Qt::black);
        painter.drawText(QRect(0, height - lineHeight, width, lineHeight), Qt::AlignCenter,
                         QStringLiteral("%1 / %2").arg(pageIndex + 1).arg(pageCount));
    }
    return painter.end();
}
