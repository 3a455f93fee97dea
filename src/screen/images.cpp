#include "images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace ScreenImages {
namespace {

constexpr int Side = 34;

QIcon draw(const std::function<void(QPainter &, const QColor &)> &paint)
{
    QIcon icon;
    const struct
    {
        QIcon::Mode mode;
        QColor colour;
    } variants[] = {{QIcon::Normal, QColor(0x33, 0x33, 0x33)},
                    {QIcon::Disabled, QColor(0xB0, 0xB0, 0xB0)}};
    for (const auto &v : variants) {
        QPixmap pm(Side, Side);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p, v.colour);
        p.end();
        icon.addPixmap(pm, v.mode);
    }
    return icon;
}

QPen thick(const QColor &c, qreal w = 4)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A block arrow; the one pointing down is the one pointing up mirrored across the middle.
void arrow(QPainter &p, const QColor &c, bool up)
{
    const QPointF pointingUp[] = {{17, 5},  {30, 20}, {22, 20}, {22, 29},
                                  {12, 29}, {12, 20}, {4, 20}};
    QPolygonF outline;
    for (const QPointF &pt : pointingUp)
        outline << (up ? pt : QPointF(pt.x(), Side - pt.y()));
    QPainterPath path;
    path.addPolygon(outline);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
}

} // namespace

QIcon sair()
{
    return draw([](QPainter &p, const QColor &c) {
        // A door with an arrow leaving it.
        p.setPen(thick(c, 3));
        p.setBrush(Qt::NoBrush);
        p.drawRect(5, 4, 14, 26);
        p.drawLine(15, 17, 30, 17);
        p.drawLine(24, 11, 30, 17);
        p.drawLine(24, 23, 30, 17);
    });
}

QIcon acima()
{
    return draw([](QPainter &p, const QColor &c) { arrow(p, c, true); });
}

QIcon abaixo()
{
    return draw([](QPainter &p, const QColor &c) { arrow(p, c, false); });
}

QIcon cancelar()
{
    return draw([](QPainter &p, const QColor &c) {
        const QColor red = c.lightness() > 150 ? c : QColor(0xC0, 0x20, 0x20);
        p.setPen(thick(red, 5));
        p.drawLine(8, 8, 26, 26);
        p.drawLine(26, 8, 8, 26);
    });
}

QIcon gravar()
{
    return draw([](QPainter &p, const QColor &c) {
        // A floppy disk with a tick.
        p.setPen(thick(c, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(4, 4, 26, 26, 3, 3);
        p.drawRect(10, 4, 14, 9);
        p.setPen(thick(c, 3));
        p.drawLine(10, 21, 15, 26);
        p.drawLine(15, 26, 25, 16);
    });
}

} // namespace ScreenImages
