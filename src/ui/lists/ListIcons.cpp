#include "ui/lists/ListIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

namespace
{

constexpr int kIconSize = 16;

QPixmap Canvas()
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon DrawComputer()
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Screen with a stand under it.
    p.setPen(QPen(QColor(40, 60, 90), 1));
    p.setBrush(QColor(70, 130, 200));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 9), 1.5, 1.5);
    p.setBrush(QColor(180, 220, 250));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(3, 3, 10, 6));
    p.setBrush(QColor(90, 100, 110));
    p.drawRect(QRectF(6.5, 11, 3, 2));
    p.drawRoundedRect(QRectF(3.5, 13, 9, 2), 1, 1);
    return QIcon(pixmap);
}

QIcon DrawNetworkCard()
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A green board with a chip and gold contacts along its edge.
    p.setPen(QPen(QColor(20, 90, 40), 1));
    p.setBrush(QColor(50, 150, 70));
    p.drawRect(QRectF(1.5, 3.5, 13, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(QRectF(4, 5.5, 5, 4));
    p.setBrush(QColor(220, 180, 40));
    for (int x = 3; x <= 12; x += 2)
        p.drawRect(QRectF(x, 12, 1, 2.5));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(11, 5.5, 2.5, 4));
    return QIcon(pixmap);
}

QIcon DrawWarning()
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(8, 1);
    triangle.lineTo(15, 14.5);
    triangle.lineTo(1, 14.5);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(160, 30, 20), 1));
    p.setBrush(QColor(230, 60, 40));
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7.2, 5, 1.6, 5.5));
    p.drawEllipse(QRectF(7.1, 11.3, 1.8, 1.8));
    return QIcon(pixmap);
}

QIcon DrawFlaggedCard()
{
    QPixmap pixmap = DrawNetworkCard().pixmap(kIconSize, kIconSize);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 70, 0), 1));
    p.setBrush(QColor(250, 150, 20));
    p.drawEllipse(QRectF(8.5, 0.5, 7, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(11.3, 1.8, 1.4, 3));
    p.drawRect(QRectF(11.3, 5.2, 1.4, 1.2));
    return QIcon(pixmap);
}

QIcon DrawNotSeen()
{
    const QPixmap computer = DrawComputer().pixmap(kIconSize, kIconSize);
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(0.35);
    p.drawPixmap(0, 0, computer);
    p.setOpacity(1);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(QColor(235, 235, 235));
    p.drawEllipse(QRectF(7.5, 6.5, 8, 8));
    QFont font = p.font();
    font.setPixelSize(7);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(60, 60, 60));
    p.drawText(QRectF(7.5, 6.5, 8, 8), Qt::AlignCenter, QStringLiteral("?"));
    return QIcon(pixmap);
}

} // namespace

QIcon GetListIcon(ListIcon icon)
{
    static const std::array<QIcon, 5> icons = {DrawComputer(), DrawNetworkCard(), DrawWarning(),
                                               DrawFlaggedCard(), DrawNotSeen()};
    return icons[static_cast<size_t>(icon)];
}
