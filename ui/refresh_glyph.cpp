#include "ui/refresh_glyph.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

class TRefreshGlyphEngine : public QIconEngine
{
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 16.0, rect.height() / 16.0);
        const QColor colour =
            mode == QIcon::Disabled ? QColor(0x9a, 0x9f, 0xa6) : QColor(0x2f, 0x7d, 0xc8);
        painter->setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap));
        painter->setBrush(Qt::NoBrush);
        painter->drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 280 * 16);
        QPainterPath head;
        head.moveTo(9.5, 0.5);
        head.lineTo(14.5, 3.5);
        head.lineTo(9.5, 7.0);
        head.closeSubpath();
        painter->setPen(Qt::NoPen);
        painter->setBrush(colour);
        painter->drawPath(head);
        painter->restore();
    }

    // `size` is in device pixels already when the icon is drawn on a
    // high-density screen.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new TRefreshGlyphEngine; }
};

} // namespace

QIcon RefreshGlyph()
{
    return QIcon(new TRefreshGlyphEngine);
}
