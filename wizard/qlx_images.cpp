#include "qlx_images.hpp"

#include "qlx_shel.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor dark(22, 58, 110);
const QColor light(92, 150, 214);
const QColor source_color(51, 103, 145);
const QColor target_color(199, 70, 52);

// a database drum with its top ellipse
void drum(QPainter& p, const QRectF& r, const QColor& color)
{
    const qreal cap = r.height() / 5;
    QPainterPath body;
    body.moveTo(r.left(), r.top() + cap / 2);
    body.lineTo(r.left(), r.bottom() - cap / 2);
    body.arcTo(QRectF(r.left(), r.bottom() - cap, r.width(), cap), 180, 180);
    body.lineTo(r.right(), r.top() + cap / 2);
    body.arcTo(QRectF(r.left(), r.top(), r.width(), cap), 0, -180);
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    p.drawPath(body);
    p.setBrush(color.lighter(140));
    p.drawEllipse(QRectF(r.left(), r.top(), r.width(), cap));
}

// two drums and an arrow from the first to the second, in a box of that size
void emblem(QPainter& p, const QRectF& box)
{
    const qreal w = box.width();
    const qreal h = box.height();
    drum(p, QRectF(box.left() + w * 0.02, box.top() + h * 0.15, w * 0.34, h * 0.7), source_color);
    drum(p, QRectF(box.left() + w * 0.64, box.top() + h * 0.15, w * 0.34, h * 0.7), target_color);
    QPainterPath arrow;
    const qreal y = box.top() + h * 0.5;
    arrow.moveTo(box.left() + w * 0.38, y - h * 0.07);
    arrow.lineTo(box.left() + w * 0.5, y - h * 0.07);
    arrow.lineTo(box.left() + w * 0.5, y - h * 0.16);
    arrow.lineTo(box.left() + w * 0.62, y);
    arrow.lineTo(box.left() + w * 0.5, y + h * 0.16);
    arrow.lineTo(box.left() + w * 0.5, y + h * 0.07);
    arrow.lineTo(box.left() + w * 0.38, y + h * 0.07);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 60));
    p.drawPath(arrow);
}

QPixmap canvas(int w, int h, const QColor& fill)
{
    QPixmap pixmap(w, h);
    pixmap.fill(fill);
    return pixmap;
}

QPixmap program_icon()
{
    QPixmap pixmap = canvas(64, 64, Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    emblem(p, QRectF(0, 0, 64, 64));
    return pixmap;
}

QPixmap watermark()
{
    QPixmap pixmap = canvas(164, 314, Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 314);
    g.setColorAt(0, dark);
    g.setColorAt(1, light);
    p.fillRect(pixmap.rect(), g);
    p.setBrush(QColor(255, 255, 255, 230));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(12, 110, 140, 90), 10, 10);
    emblem(p, QRectF(20, 115, 124, 80));
    return pixmap;
}

QPixmap header_mark()
{
    QPixmap pixmap = canvas(49, 49, Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    emblem(p, QRectF(0, 4, 49, 41));
    return pixmap;
}

// eight frames: a ring with one bright segment moving clockwise
QPixmap wait_frame(int frame)
{
    QPixmap pixmap = canvas(32, 32, Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 8; ++i) {
        const double angle = (i * 45.0 - 90.0) * 3.14159265358979 / 180.0;
        const QPointF centre(16 + 11 * std::cos(angle), 16 + 11 * std::sin(angle));
        p.setPen(Qt::NoPen);
        p.setBrush(i == frame ? dark : QColor(190, 200, 215));
        p.drawEllipse(centre, 3.5, 3.5);
    }
    return pixmap;
}

} // namespace

QPixmap qlx_image(int id)
{
    switch (id) {
    case qlx::icon_program:
        return program_icon();
    case qlx::bitmap_watermark:
        return watermark();
    case qlx::bitmap_header:
        return header_mark();
    default:
        if (id >= qlx::icon_wait_first && id <= qlx::icon_wait_last)
            return wait_frame(id - qlx::icon_wait_first);
        return QPixmap();
    }
}
