// Every picture of the program is drawn here at run time, on a 32 x 32 grid that is scaled to
// the size asked for, in the screen's own pixels, and kept once drawn.
#include "taskIcons.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <QtMath>

namespace {

using Drawing = void (*)(QPainter&);

const QColor outline(64, 64, 64);
const QColor paper(255, 255, 255);
const QColor ink(40, 90, 190);

QPen thinPen(const QColor& color) {
    QPen pen(color, 1.0);
    pen.setCosmetic(true);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

QPen thickPen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A dark stroke with a light edge around it, so it keeps its shape on a dark background too.
void drawEdgedLine(QPainter& p, const QLineF& line, const QColor& color, double width) {
    p.setPen(thickPen(QColor(255, 255, 255, 200), width + 2));
    p.drawLine(line);
    p.setPen(thickPen(color, width));
    p.drawLine(line);
}

// A picture drawn afresh for each size and pixel density asked for, never scaled from another.
class DrawnIconEngine final : public QIconEngine {
public:
    DrawnIconEngine(Drawing draw, QList<QSize> sizes) : m_draw(draw), m_sizes(std::move(sizes)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect,
                            devicePixmap((QSizeF(rect.size()) * ratio).toSize(), mode, ratio));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        return devicePixmap(size, mode, 1.0);
    }

    // QIcon asks with the size in the screen's own pixels.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        return devicePixmap(size, mode, scale);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return m_sizes; }
    QIconEngine* clone() const override { return new DrawnIconEngine(*this); }
    QString key() const override { return QStringLiteral("DrawnIconEngine"); }

private:
    QPixmap devicePixmap(const QSize& pixels, QIcon::Mode mode, qreal scale) const {
        const QString key = QStringLiteral("tidewell/%1/%2x%3/%4")
                                .arg(quintptr(m_draw))
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(int(mode));
        QPixmap picture;
        if (!QPixmapCache::find(key, &picture)) {
            picture = drawn(pixels, mode);
            QPixmapCache::insert(key, picture);
        }
        picture.setDevicePixelRatio(scale);
        return picture;
    }

    QPixmap drawn(const QSize& pixels, QIcon::Mode mode) const {
        QPixmap picture(pixels);
        picture.fill(Qt::transparent);
        if (pixels.isEmpty())
            return picture;
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(pixels.width() / 32.0, pixels.height() / 32.0);
        m_draw(painter);
        painter.end();
        if (mode == QIcon::Normal || !qApp)
            return picture;
        // Greyed or highlighted as the style shows such pictures.
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, picture, &option);
    }

    Drawing m_draw;
    QList<QSize> m_sizes;
};

QIcon render(Drawing draw, int size) {
    return QIcon(new DrawnIconEngine(draw, {QSize(size, size)}));
}

// A sheet of paper with its top right corner folded over.
void drawPage(QPainter& p, double left = 6.5, double right = 25.5) {
    const double fold = right - 6;
    QPainterPath sheet;
    sheet.moveTo(left, 2.5);
    sheet.lineTo(fold, 2.5);
    sheet.lineTo(right, 8.5);
    sheet.lineTo(right, 29.5);
    sheet.lineTo(left, 29.5);
    sheet.closeSubpath();
    p.setPen(thinPen(outline));
    p.setBrush(paper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(fold, 2.5);
    corner.lineTo(fold, 8.5);
    corner.lineTo(right, 8.5);
    p.setBrush(QColor(215, 215, 215));
    p.drawPath(corner);
}

void drawTextLines(QPainter& p, double left, double right, double top, int lines) {
    p.setPen(thickPen(ink, 2));
    for (int line = 0; line < lines; ++line) {
        const double y = top + line * 4;
        p.drawLine(QPointF(left, y), QPointF(line == lines - 1 ? (left + right) / 2 : right, y));
    }
}

void drawCog(QPainter& p, QPointF centre, double outer, double inner, const QColor& colour) {
    QPainterPath wheel;
    const int teeth = 8;
    for (int step = 0; step < teeth * 4; ++step) {
        const double angle = step * M_PI * 2 / (teeth * 4);
        const double radius = (step % 4 < 2) ? outer : inner;
        const QPointF point(centre.x() + radius * qCos(angle), centre.y() + radius * qSin(angle));
        step == 0 ? wheel.moveTo(point) : wheel.lineTo(point);
    }
    wheel.closeSubpath();
    wheel.addEllipse(centre, inner * 0.4, inner * 0.4);
    wheel.setFillRule(Qt::OddEvenFill);
    p.setPen(thinPen(colour.darker(170)));
    p.setBrush(colour);
    p.drawPath(wheel);
}

void drawWindowFrame(QPainter& p, const QRectF& frame) {
    p.setPen(thinPen(outline));
    p.setBrush(QColor(236, 236, 236));
    p.drawRect(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(10, 36, 130));
    p.drawRect(QRectF(frame.left() + 1, frame.top() + 1, frame.width() - 1, 5));
}

// Task images.

void drawTextTask(QPainter& p) {
    drawPage(p);
    drawTextLines(p, 10, 22, 13, 4);
}

void drawProgramTask(QPainter& p) {
    drawWindowFrame(p, QRectF(2.5, 4.5, 27, 22));
    drawCog(p, QPointF(16, 17.5), 7, 5, QColor(110, 160, 220));
}

void drawLibraryTask(QPainter& p) {
    drawCog(p, QPointF(13, 13), 11, 8, QColor(170, 170, 180));
    drawCog(p, QPointF(24, 24), 7, 5, QColor(210, 170, 60));
}

void drawPictureTask(QPainter& p) {
    const QRectF frame(2.5, 5.5, 27, 21);
    p.setPen(thinPen(outline));
    p.setBrush(QColor(150, 200, 245));
    p.drawRect(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 40));
    p.drawEllipse(QPointF(22, 11), 3, 3);
    QPainterPath hills;
    hills.moveTo(3, 26);
    hills.lineTo(3, 21);
    hills.quadTo(9, 13, 15, 20);
    hills.quadTo(21, 15, 29, 21);
    hills.lineTo(29, 26);
    hills.closeSubpath();
    p.setBrush(QColor(60, 150, 60));
    p.drawPath(hills);
}

void drawWebTask(QPainter& p) {
    const QPointF centre(16, 16);
    p.setPen(thinPen(QColor(20, 60, 140)));
    p.setBrush(QColor(70, 140, 220));
    p.drawEllipse(centre, 13, 13);
    p.setBrush(Qt::NoBrush);
    p.setPen(thickPen(QColor(225, 240, 255), 1.5));
    p.drawEllipse(centre, 5.5, 13);
    p.drawLine(QPointF(16, 3), QPointF(16, 29));
    p.drawLine(QPointF(3, 16), QPointF(29, 16));
    p.drawLine(QPointF(5.5, 9.5), QPointF(26.5, 9.5));
    p.drawLine(QPointF(5.5, 22.5), QPointF(26.5, 22.5));
}

void drawBlankTask(QPainter& p) {
    drawPage(p);
}

// Toolbar images.

void drawNewPage(QPainter& p) {
    drawPage(p, 4.5, 23.5);
    p.setPen(thickPen(QColor(230, 170, 0), 3));
    p.drawLine(QPointF(25, 19), QPointF(25, 29));
    p.drawLine(QPointF(20, 24), QPointF(30, 24));
}

void drawWand(QPainter& p) {
    drawEdgedLine(p, QLineF(5, 27, 20, 12), QColor(50, 30, 20), 4);
    p.setPen(thickPen(paper, 4));
    p.drawLine(QPointF(18, 14), QPointF(21, 11));
    p.setPen(thickPen(QColor(230, 170, 0), 2));
    const QPointF sparks[] = {{25, 4}, {28, 13}, {17, 3}};
    for (const QPointF& spark : sparks) {
        p.drawLine(spark - QPointF(2.5, 0), spark + QPointF(2.5, 0));
        p.drawLine(spark - QPointF(0, 2.5), spark + QPointF(0, 2.5));
    }
}

void drawPencil(QPainter& p) {
    QPainterPath body;
    body.moveTo(22, 3);
    body.lineTo(29, 10);
    body.lineTo(11, 28);
    body.lineTo(4, 28);
    body.lineTo(4, 21);
    body.closeSubpath();
    p.setPen(thinPen(outline));
    p.setBrush(QColor(250, 200, 40));
    p.drawPath(body);
    QPainterPath tip;
    tip.moveTo(4, 21);
    tip.lineTo(11, 28);
    tip.lineTo(4, 28);
    tip.closeSubpath();
    p.setBrush(QColor(240, 215, 170));
    p.drawPath(tip);
    p.setBrush(QColor(220, 90, 90));
    QPainterPath rubber;
    rubber.moveTo(22, 3);
    rubber.lineTo(29, 10);
    rubber.lineTo(26, 13);
    rubber.lineTo(19, 6);
    rubber.closeSubpath();
    p.drawPath(rubber);
}

void drawRedCross(QPainter& p) {
    p.setPen(thickPen(QColor(200, 20, 20), 6));
    p.drawLine(QPointF(7, 7), QPointF(25, 25));
    p.drawLine(QPointF(25, 7), QPointF(7, 25));
}

void drawPlay(QPainter& p) {
    QPainterPath arrow;
    arrow.moveTo(8, 4);
    arrow.lineTo(27, 16);
    arrow.lineTo(8, 28);
    arrow.closeSubpath();
    p.setPen(thinPen(QColor(20, 100, 20)));
    p.setBrush(QColor(50, 180, 50));
    p.drawPath(arrow);
}

void drawRoundBadge(QPainter& p, const QColor& colour, const QString& letter) {
    p.setPen(thinPen(colour.darker(150)));
    p.setBrush(colour);
    p.drawEllipse(QPointF(16, 16), 14, 14);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(22);
    p.setFont(font);
    p.setPen(paper);
    p.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, letter);
}

void drawQuestion(QPainter& p) {
    drawRoundBadge(p, QColor(40, 100, 200), "?");
}

void drawSliders(QPainter& p) {
    const double knobs[] = {10, 20, 14};
    for (int slider = 0; slider < 3; ++slider) {
        const double x = 7 + slider * 9;
        drawEdgedLine(p, QLineF(x, 4, x, 28), outline, 2);
        p.setPen(thinPen(outline));
        p.setBrush(QColor(110, 160, 220));
        p.drawRect(QRectF(x - 3.5, knobs[slider] - 2.5, 7, 5));
    }
}

void drawExitDoor(QPainter& p) {
    p.setPen(thinPen(outline));
    p.setBrush(QColor(150, 95, 45));
    p.drawRect(QRectF(4.5, 3.5, 14, 25));
    p.setBrush(QColor(240, 200, 60));
    p.drawEllipse(QPointF(15.5, 16.5), 1.5, 1.5);
    p.setPen(thickPen(QColor(200, 20, 20), 3));
    p.drawLine(QPointF(18, 16), QPointF(29, 16));
    p.drawLine(QPointF(24, 11), QPointF(29, 16));
    p.drawLine(QPointF(24, 21), QPointF(29, 16));
}

void drawFolder(QPainter& p) {
    QPainterPath folder;
    folder.moveTo(2.5, 8.5);
    folder.lineTo(11.5, 8.5);
    folder.lineTo(14.5, 11.5);
    folder.lineTo(29.5, 11.5);
    folder.lineTo(29.5, 26.5);
    folder.lineTo(2.5, 26.5);
    folder.closeSubpath();
    p.setPen(thinPen(QColor(140, 100, 0)));
    p.setBrush(QColor(245, 205, 80));
    p.drawPath(folder);
}

void drawDisk(QPainter& p) {
    p.setPen(thinPen(outline));
    p.setBrush(QColor(50, 70, 130));
    p.drawRect(QRectF(4.5, 4.5, 23, 23));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(9.5, 4.5, 13, 8));
    p.setBrush(paper);
    p.drawRect(QRectF(8.5, 17.5, 15, 10));
}

void drawCopy(QPainter& p) {
    p.save();
    p.translate(-3, -1);
    drawPage(p, 6.5, 21.5);
    p.restore();
    p.translate(5, 3);
    drawPage(p, 6.5, 21.5);
    drawTextLines(p, 9.5, 18, 13, 3);
}

void drawMagnifier(QPainter& p) {
    p.setPen(thickPen(QColor(60, 40, 20), 5));
    p.drawLine(QPointF(19, 19), QPointF(28, 28));
    p.setPen(thickPen(outline, 2.5));
    p.setBrush(QColor(200, 230, 250));
    p.drawEllipse(QPointF(13, 13), 9, 9);
}

void drawClock(QPainter& p) {
    p.setPen(thickPen(outline, 2));
    p.setBrush(paper);
    p.drawEllipse(QPointF(16, 16), 13, 13);
    p.setPen(thickPen(QColor(20, 20, 20), 2.5));
    p.drawLine(QPointF(16, 16), QPointF(16, 7));
    p.drawLine(QPointF(16, 16), QPointF(22, 19));
}

void drawCalendar(QPainter& p) {
    p.setPen(thinPen(outline));
    p.setBrush(paper);
    p.drawRect(QRectF(3.5, 5.5, 25, 23));
    p.setBrush(QColor(200, 40, 40));
    p.drawRect(QRectF(3.5, 5.5, 25, 6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 120, 120));
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column)
            p.drawRect(QRectF(6 + column * 6, 14 + row * 5, 3, 3));
    }
}

void drawRefresh(QPainter& p) {
    p.setPen(thickPen(QColor(30, 130, 60), 3.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5, 5, 22, 22), 90 * 16, 270 * 16);
    QPainterPath head;
    head.moveTo(16, 0.5);
    head.lineTo(23, 5);
    head.lineTo(16, 9.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 130, 60));
    p.drawPath(head);
}

void drawInformation(QPainter& p) {
    drawRoundBadge(p, QColor(30, 140, 160), "i");
}

void drawList(QPainter& p) {
    for (int row = 0; row < 4; ++row) {
        const double y = 7 + row * 6;
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRect(QRectF(4, y - 2, 4, 4));
        p.setPen(thickPen(outline, 2));
        p.drawLine(QPointF(11, y), QPointF(28, y));
    }
}

void drawArrow(QPainter& p, bool up) {
    QPainterPath arrow;
    const QPointF points[] = {{16, 3}, {28, 16}, {20, 16}, {20, 29}, {12, 29}, {12, 16}, {4, 16}};
    for (const QPointF& point : points) {
        const QPointF placed(point.x(), up ? point.y() : 32 - point.y());
        arrow.elementCount() == 0 ? arrow.moveTo(placed) : arrow.lineTo(placed);
    }
    arrow.closeSubpath();
    p.setPen(thinPen(QColor(20, 60, 140)));
    p.setBrush(QColor(70, 140, 220));
    p.drawPath(arrow);
}

void drawUpArrow(QPainter& p) {
    drawArrow(p, true);
}

void drawDownArrow(QPainter& p) {
    drawArrow(p, false);
}

void drawStop(QPainter& p) {
    p.setPen(thinPen(QColor(120, 0, 0)));
    p.setBrush(QColor(210, 40, 40));
    p.drawRect(QRectF(6.5, 6.5, 19, 19));
}

void drawTick(QPainter& p) {
    p.setPen(thickPen(QColor(30, 150, 40), 5));
    p.setBrush(Qt::NoBrush);
    QPainterPath tick;
    tick.moveTo(5, 17);
    tick.lineTo(13, 25);
    tick.lineTo(27, 7);
    p.drawPath(tick);
}

// The notification-area picture: a well of water under two waves.
void drawTray(QPainter& p) {
    p.setPen(thinPen(QColor(10, 50, 120)));
    p.setBrush(QColor(40, 110, 200));
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    p.setPen(thickPen(paper, 3));
    p.setBrush(Qt::NoBrush);
    for (const double y : {12.0, 21.0}) {
        QPainterPath wave;
        wave.moveTo(5, y);
        wave.cubicTo(10, y - 5, 12, y + 5, 16, y);
        wave.cubicTo(20, y - 5, 22, y + 5, 27, y);
        p.drawPath(wave);
    }
}

struct TaskPicture {
    const char* key;
    Drawing draw;
};

const TaskPicture taskPictures[] = {
    {"txt", drawTextTask},    {"exe", drawProgramTask}, {"dll", drawLibraryTask},
    {"bmp", drawPictureTask}, {"web", drawWebTask},     {"none", drawBlankTask},
};

const Drawing buttonPictures[buttonImageCount] = {
    drawNewPage,   drawWand,     drawPencil,  drawRedCross,    drawPlay, drawQuestion,
    drawSliders,   drawExitDoor, drawFolder,  drawDisk,        drawCopy, drawMagnifier,
    drawClock,     drawCalendar, drawRefresh, drawInformation, drawList, drawUpArrow,
    drawDownArrow, drawStop,     drawTick,
};

// Toolbar tags, lower-cased, and the image each button shows.
const QHash<QString, int>& buttonIndexOfTag() {
    static const QHash<QString, int> indexes{
        {"newtask", 0},     {"newtaskwizard", 1},   {"edittask", 2},    {"deletetask", 3},
        {"performtask", 4}, {"interactivehelp", 5}, {"preferences", 6}, {"exit", 7},
    };
    return indexes;
}

Drawing taskDrawing(const QString& iconKey) {
    for (const TaskPicture& picture : taskPictures) {
        if (iconKey == QLatin1String(picture.key))
            return picture.draw;
    }
    return drawBlankTask;
}

QIcon cached(QHash<QString, QIcon>& cache, const QString& name, Drawing draw, int size) {
    auto found = cache.find(name);
    if (found == cache.end())
        found = cache.insert(name, render(draw, size));
    return *found;
}

QIcon taskIcon(const QString& iconKey, int size) {
    static QHash<QString, QIcon> cache;
    const Drawing draw = taskDrawing(iconKey);
    return cached(cache, QString::number(size) + '/' + iconKey, draw, size);
}

} // namespace

QString taskIconKey(const QString& sourcePath) {
    static const QHash<QString, QString> keys{
        {".doc", "txt"}, {".txt", "txt"}, {".rtf", "txt"}, {".bat", "exe"}, {".exe", "exe"},
        {".com", "exe"}, {".ocx", "dll"}, {".dll", "dll"}, {".jpg", "bmp"}, {".bmp", "bmp"},
        {".tif", "bmp"}, {".gif", "bmp"}, {"html", "web"}, {".htm", "web"}, {".asp", "web"},
    };
    return keys.value(sourcePath.right(4).toLower(), QStringLiteral("none"));
}

QIcon largeTaskIcon(const QString& iconKey) {
    return taskIcon(iconKey, 32);
}

QIcon smallTaskIcon(const QString& iconKey) {
    return taskIcon(iconKey, 16);
}

QIcon buttonImage(int index) {
    if (index < 0 || index >= buttonImageCount)
        return {};
    static QHash<QString, QIcon> cache;
    return cached(cache, QString::number(index), buttonPictures[index], 16);
}

QIcon buttonImageForTag(const QString& tag) {
    const auto found = buttonIndexOfTag().find(tag.toLower());
    return found == buttonIndexOfTag().end() ? QIcon() : buttonImage(*found);
}

// Drawn to fill whatever slot the panel has for it; 16 x 16 comes first.
QIcon trayIconImage() {
    static const QIcon icon(
        new DrawnIconEngine(drawTray, {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}}));
    return icon;
}

QIcon programIcon() {
    static const QIcon icon(
        new DrawnIconEngine(drawTray, {{16, 16}, {32, 32}, {48, 48}, {64, 64}}));
    return icon;
}
