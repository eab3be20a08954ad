#include "actionicons.h"

#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyleOption>
#include <qdrawutil.h>

#include <algorithm>
#include <functional>
#include <utility>

namespace Ordavex {

namespace {

const QColor Outline(0x33, 0x33, 0x33);

// Fusion's space above a group box's frame, besides its title's height.
const int GroupBoxTopMargin = 3;

void drawPage(QPainter &p)
{
    p.setPen(QPen(Outline, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 10, 13));
}

void draw(QPainter &p, ActionIconKind kind)
{
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case ActionIconKind::Timetable:
        drawPage(p);
        p.setPen(QPen(QColor(0x1d, 0x4f, 0x91), 1.2));
        for (qreal y : {4.5, 7.5, 10.5})
            p.drawLine(QPointF(5.5, y), QPointF(11.5, y));
        break;
    case ActionIconKind::OpenFile: {
        p.setPen(QPen(QColor(0x8a, 0x6a, 0x10), 1));
        p.setBrush(QColor(0xe8, 0xc0, 0x48));
        p.drawRect(QRectF(1.5, 3.5, 12, 10));
        QPainterPath flap;
        flap.moveTo(3.5, 7.5);
        flap.lineTo(15.5, 7.5);
        flap.lineTo(13.5, 13.5);
        flap.lineTo(1.5, 13.5);
        flap.closeSubpath();
        p.setBrush(QColor(0xf6, 0xd8, 0x70));
        p.drawPath(flap);
        break;
    }
    case ActionIconKind::Save:
        p.setPen(QPen(QColor(0x14, 0x2e, 0x5a), 1));
        p.setBrush(QColor(0x2f, 0x64, 0xb4));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(0xc8, 0xd0, 0xdc));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
        break;
    case ActionIconKind::Clipboard:
        p.setPen(QPen(QColor(0x6b, 0x4a, 0x23), 1));
        p.setBrush(QColor(0xb0, 0x84, 0x50));
        p.drawRect(QRectF(2.5, 2.5, 11, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 4.5, 7, 9));
        p.setBrush(QColor(0x88, 0x88, 0x88));
        p.drawRect(QRectF(5.5, 0.5, 5, 3));
        break;
    case ActionIconKind::Rename: {
        p.setPen(QPen(Outline, 1));
        p.setBrush(QColor(0xf0, 0xc0, 0x30));
        QPainterPath pencil;
        pencil.moveTo(11, 2);
        pencil.lineTo(14, 5);
        pencil.lineTo(6, 13);
        pencil.lineTo(2, 14);
        pencil.lineTo(3, 10);
        pencil.closeSubpath();
        p.drawPath(pencil);
        break;
    }
    case ActionIconKind::SerialLink: {
        p.setPen(QPen(Outline, 1));
        p.setBrush(QColor(0x9a, 0xa4, 0xb0));
        QPainterPath shell;
        shell.moveTo(1.5, 4.5);
        shell.lineTo(14.5, 4.5);
        shell.lineTo(12.5, 11.5);
        shell.lineTo(3.5, 11.5);
        shell.closeSubpath();
        p.drawPath(shell);
        p.setPen(Qt::NoPen);
        p.setBrush(Outline);
        for (qreal x : {4.0, 6.5, 9.0, 11.5})
            p.drawEllipse(QPointF(x, 7), 0.9, 0.9);
        for (qreal x : {5.2, 7.7, 10.2})
            p.drawEllipse(QPointF(x, 9.3), 0.9, 0.9);
        break;
    }
    case ActionIconKind::LinkSettings:
        p.setPen(QPen(Outline, 1.2));
        for (qreal y : {3.5, 8.0, 12.5})
            p.drawLine(QPointF(2, y), QPointF(14, y));
        p.setBrush(QColor(0x2f, 0x64, 0xb4));
        p.drawRect(QRectF(4, 2, 3, 3));
        p.drawRect(QRectF(9, 6.5, 3, 3));
        p.drawRect(QRectF(6, 11, 3, 3));
        break;
    case ActionIconKind::Erase: {
        p.setPen(QPen(Outline, 1));
        p.translate(8, 8);
        p.rotate(-35);
        p.setBrush(QColor(0xf2, 0x9c, 0xb4));
        p.drawRect(QRectF(-6.5, -3, 8, 6));
        p.setBrush(QColor(0x4f, 0x7c, 0xd0));
        p.drawRect(QRectF(1.5, -3, 5, 6));
        break;
    }
    case ActionIconKind::Delete:
        p.setPen(QPen(Outline, 1));
        p.setBrush(QColor(0xb8, 0xbc, 0xc2));
        p.drawRect(QRectF(3.5, 4.5, 9, 10));
        p.drawRect(QRectF(2.5, 2.5, 11, 2));
        p.drawLine(QPointF(6.5, 6.5), QPointF(6.5, 12.5));
        p.drawLine(QPointF(9.5, 6.5), QPointF(9.5, 12.5));
        break;
    case ActionIconKind::Close:
        p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case ActionIconKind::HeatSheet: {
        // The toolkit's list tile (its detailed view), which the heat sheet's entry has
        // always shown, drawn alike: a rounded tile shading to blue with four lines.
        QLinearGradient shade(QPointF(10, 2), QPointF(3, 15));
        shade.setColorAt(0, Qt::white);
        shade.setColorAt(0.55, QColor(0xf2, 0xf7, 0xff));
        shade.setColorAt(1, QColor(0x8c, 0xc0, 0xf4));
        p.setPen(QPen(QColor(0x1a, 0x1a, 0x1a), 1));
        p.setBrush(shade);
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 2.5, 2.5);
        for (qreal y : {4.5, 6.5, 8.5, 10.5}) {
            p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(QPointF(4, y + 1), QPointF(12, y + 1));
            p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(QPointF(4, y), QPointF(12, y));
        }
        break;
    }
    case ActionIconKind::Board:
        // A screen on its stand, with the waves of a signal going out.
        p.setPen(QPen(Outline, 1));
        p.setBrush(QColor(0x2f, 0x64, 0xb4));
        p.drawRect(QRectF(1.5, 5.5, 9, 7));
        p.drawLine(QPointF(6, 12.5), QPointF(6, 15));
        p.drawLine(QPointF(3.5, 15), QPointF(8.5, 15));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x20, 0x90, 0x40), 1.2, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(8, 1, 6, 6), -30 * 16, 120 * 16);
        p.drawArc(QRectF(6, -1, 10, 10), -30 * 16, 120 * 16);
        break;
    }
}

void drawAppIcon(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(16.0 / 64.0, 16.0 / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x4f, 0x91));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 8, 8);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(10, 12, 44, 40));
    p.setPen(QPen(QColor(0x1d, 0x4f, 0x91), 2));
    for (qreal y : {22.0, 32.0, 42.0})
        p.drawLine(QPointF(10, y), QPointF(54, y));
    for (qreal x : {22.0, 34.0})
        p.drawLine(QPointF(x, 12), QPointF(x, 52));
    p.setPen(QPen(QColor(0xdd, 0x33, 0x33), 3));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(40, 26), QPointF(46, 32), QPointF(40, 38)}));
}

// The chevron of the tool bar's and menu bar's extension buttons.
void drawExtension(QPainter &p, bool horizontal)
{
    p.setRenderHint(QPainter::Antialiasing);
    if (!horizontal) {
        p.translate(16, 0);
        p.rotate(90);
    }
    p.setPen(QPen(Outline, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (qreal x : {4.0, 8.5})
        p.drawPolyline(QPolygonF({QPointF(x, 4), QPointF(x + 4, 8), QPointF(x, 12)}));
}

// An icon painted at the size it is asked for, when it is asked for: nothing is drawn
// at start for sizes that are never shown, and no image plugin is loaded.
class DrawnIconEngine final : public QIconEngine
{
public:
    explicit DrawnIconEngine(std::function<void(QPainter &)> draw)
        : m_draw(std::move(draw))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const int side = std::max(1, std::min(size.width(), size.height()));
        const quint64 key = (quint64(side) << 8) | quint64(mode);
        const auto cached = m_cache.constFind(key);
        if (cached != m_cache.constEnd())
            return *cached;
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.scale(side / 16.0, side / 16.0);
            if (mode == QIcon::Disabled)
                painter.setOpacity(0.4);
            m_draw(painter);
        }
        m_cache.insert(key, pixmap);
        return pixmap;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QIconEngine *clone() const override { return new DrawnIconEngine(m_draw); }
    QString key() const override { return QStringLiteral("OrdavexDrawn"); }

private:
    std::function<void(QPainter &)> m_draw;
    QHash<quint64, QPixmap> m_cache;
};

QIcon drawnIcon(std::function<void(QPainter &)> draw)
{
    return QIcon(new DrawnIconEngine(std::move(draw)));
}

// Fusion's group-box frame, pixel for pixel: a 98 x 38 tile whose rows and columns
// repeat inside a 7-pixel top-left and a 6-pixel bottom-right margin, so that the tile
// is told by its 14 distinct rows of 14 distinct columns (the 8th of each stands for
// all the repeated ones).
QImage fusionGroupBoxFrame()
{
    static const QRgb colours[] = {
        0x00ffffff, 0x0d272727, 0x345d5d5d, 0x346c6c6c, 0x32757575, 0x37666666, 0x0c151515, 0x39626262,
        0x1f5a5a5a, 0x0a000000, 0x08000000, 0x07000000, 0x1e5e5e5e, 0x355b5b5b, 0x09000000, 0x03000000,
    };
    static const char *const rows[] = {
        "..............", ".ABCDDDDDDDCEF", ".GHIJKKKKKJILM", ".CNOOOOOOOOONC", ".DJOOOOOOOOOJD",
        ".DKOOOOOOOOOKD", ".DKOOOOOOOOOKD", ".DKOOOOOOOOOKD", ".DKOOOOOOOOOKD", ".DKOOOOOOOOOKD",
        ".DJOOOOOOOOOJD", ".CNOOOOOOOOONC", ".MLIJKKKKKJIHG", ".FECDDDDDDDCBA",
    };
    const int width = 98;
    const int height = 38;
    // The distinct row or column that stands for a pixel's.
    auto distinct = [](int at, int size) { return at < 7 ? at : at < size - 6 ? 7 : at - (size - 6) + 8; };
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const char *row = rows[distinct(y, height)];
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const char code = row[distinct(x, width)];
            line[x] = colours[code == '.' ? 0 : code - 'A' + 1];
        }
    }
    return image;
}

} // namespace

QIcon ActionIcon(ActionIconKind kind)
{
    return drawnIcon([kind](QPainter &p) { draw(p, kind); });
}

QIcon AppIcon()
{
    return drawnIcon(drawAppIcon);
}

DrawnStyle::~DrawnStyle() = default;

QIcon DrawnStyle::standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const
{
    if (icon == SP_ToolBarHorizontalExtensionButton || icon == SP_ToolBarVerticalExtensionButton) {
        const bool horizontal = icon == SP_ToolBarHorizontalExtensionButton;
        return drawnIcon([horizontal](QPainter &p) { drawExtension(p, horizontal); });
    }
    return QProxyStyle::standardIcon(icon, option, widget);
}

void DrawnStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    // Fusion's own drawing, with the frame's tile made here instead of read from its image.
    if (element == PE_FrameGroupBox && baseStyle()->inherits("QFusionStyle")) {
        if (m_groupBoxFrame.isNull())
            m_groupBoxFrame = QPixmap::fromImage(fusionGroupBoxFrame());
        int topMargin = GroupBoxTopMargin;
        const auto *box = qobject_cast<const QGroupBox *>(widget);
        if (!box || box->isCheckable() || !box->title().isEmpty())
            topMargin += qMax(pixelMetric(PM_ExclusiveIndicatorHeight), option->fontMetrics.height());
        qDrawBorderPixmap(painter, option->rect.adjusted(0, topMargin, 0, 0), QMargins(6, 6, 6, 6),
                          m_groupBoxFrame);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

} // namespace Ordavex
