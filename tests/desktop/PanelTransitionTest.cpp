#include "DesktopSession.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QtMath>
#include <algorithm>
#include <optional>
#include <utility>

namespace {
using WindowId = DesktopSession::WindowId;

// The desktop's one colour, set on the root window: anything else on the screen is the app's.
const QColor rootColour(46, 139, 87);
// What the server shows of it: a compositor that finds no picture on the root paints its own.
QColor desktopColour = rootColour;
// The panel's rounded corners; what lies nearer to a corner than this may be the desktop.
constexpr int cornerRoomPoints = 26;
// The band along the panel's edges that holds its border and nothing else.
constexpr int edgeBandPoints = 4;
constexpr double cornerRadiusPoints = 25;
// More black pixels than this along the edges is a band or a wedge, not a symbol's corner.
constexpr int strayBlackPixelsPoints = 16;
// Frames are read this often while a panel changes mode.
constexpr int grabEveryMs = 8;

// Sizes in the server's pixels, at the app's scale.
int cornerRoom = cornerRoomPoints;
int edgeBand = edgeBandPoints;
int strayBlackPixels = strayBlackPixelsPoints;
double scale = 1;

int scaled(double points) {
    return qRound(points * scale);
}

QSize scaled(QSize points) {
    return QSize(scaled(points.width()), scaled(points.height()));
}

// What the frames are judged by at the app's scale.
void useScale(double appScale) {
    scale = appScale;
    cornerRoom = qCeil(cornerRoomPoints * scale);
    edgeBand = qCeil(edgeBandPoints * scale);
    strayBlackPixels = scaled(strayBlackPixelsPoints);
}

bool isDesktop(QRgb pixel) {
    return std::abs(qRed(pixel) - desktopColour.red()) <= 3 &&
           std::abs(qGreen(pixel) - desktopColour.green()) <= 3 &&
           std::abs(qBlue(pixel) - desktopColour.blue()) <= 3;
}

// What a transparent pixel shows where no compositor runs.
bool isBlack(QRgb pixel) {
    return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) <= 12;
}

// A light plate's colour: neither the desktop nor the border, nor what antialiasing makes of
// them, is this light.
bool isPale(QRgb pixel) {
    return std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) >= 170;
}

bool isBorder(QRgb pixel, QRgb border) {
    return std::abs(qRed(pixel) - qRed(border)) <= 24 &&
           std::abs(qGreen(pixel) - qGreen(border)) <= 24 &&
           std::abs(qBlue(pixel) - qBlue(border)) <= 24;
}

QRect drawnArea(const QImage& frame) {
    int left = frame.width();
    int right = -1;
    int top = frame.height();
    int bottom = -1;
    for (int y = 0; y < frame.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            if (isDesktop(row[x]))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// The share of the pixels from `from`, `count` steps of `step`, that show the border.
double borderShare(const QImage& frame, QPoint from, QPoint step, int count, QRgb border) {
    int shown = 0;
    for (int i = 0; i < count; ++i) {
        const QPoint at = from + step * i;
        shown +=
            isBorder(reinterpret_cast<const QRgb*>(frame.constScanLine(at.y()))[at.x()], border)
                ? 1
                : 0;
    }
    return count > 0 ? double(shown) / count : 0;
}

// What the panel draws on its plate (text, symbols, buttons) differs from the plate this much.
bool isContent(QRgb pixel, QRgb plate) {
    return std::max({std::abs(qRed(pixel) - qRed(plate)), std::abs(qGreen(pixel) - qGreen(plate)),
                     std::abs(qBlue(pixel) - qBlue(plate))}) > 40;
}

// The plate's own colour: what most of the panel's inside shows.
QRgb plateColour(const QImage& frame, const QRect& inside) {
    QHash<QRgb, int> counts;
    for (int y = inside.top(); y <= inside.bottom(); y += 5) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        for (int x = inside.left(); x <= inside.right(); x += 5)
            ++counts[row[x]];
    }
    QRgb most = 0;
    int mostCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > mostCount) {
            most = it.key();
            mostCount = it.value();
        }
    }
    return most;
}

// Whether `area` has `enough` pixels that show content: inside the panel's rounded shape, `band`
// pixels in from its edge, and unlike the plate.
bool hasContent(const QImage& frame, const QRect& area, const QRect& panel, int band, QRgb plate,
                int enough) {
    const double radius = cornerRadiusPoints * scale - band;
    const QRectF inner = QRectF(panel).adjusted(band, band, -band, -band);
    const QRectF centres = inner.adjusted(radius, radius, -radius, -radius);
    int content = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const QPointF at(x + 0.5, y + 0.5);
            const QPointF centre(std::clamp(at.x(), centres.left(), centres.right()),
                                 std::clamp(at.y(), centres.top(), centres.bottom()));
            const QPointF off = at - centre;
            if (off.x() * off.x() + off.y() * off.y() > radius * radius)
                continue;
            content += isContent(row[x], plate) ? 1 : 0;
            if (content >= enough)
                return true;
        }
    }
    return false;
}

// The panel in the frame shows what it holds, not its plate alone: its status in every size,
// and, on the way between two forms that have one, wherever it is a tile or larger, its header --
// the + button on the left, the close button on the right -- along the top. Empty when it does;
// what is missing otherwise.
QString missingContent(const QImage& frame, const QRect& panel, QSize tile, bool headed) {
    const int band = edgeBand + 2;
    const QRect inside = panel.adjusted(band, band, -band, -band);
    if (inside.width() < 8 || inside.height() < 8)
        return {};
    const QRgb plate = plateColour(frame, inside);
    const QString size = QStringLiteral(" (%1 x %2)").arg(panel.width()).arg(panel.height());
    // A mini tile's status alone is a few hundred pixels; the plate alone has none.
    if (!hasContent(frame, inside, panel, band, plate, scaled(60)))
        return QStringLiteral("the plate alone") + size;
    if (!headed || panel.width() < tile.width() || panel.height() < tile.height())
        return {};
    const QRect header(inside.left(), inside.top(), inside.width(), scaled(40));
    const int quarter = header.width() / 4;
    if (!hasContent(frame, QRect(header.topLeft(), QSize(quarter, header.height())), panel, band,
                    plate, scaled(20)))
        return QStringLiteral("no + button in the header") + size;
    if (!hasContent(frame,
                    QRect(QPoint(header.right() - quarter + 1, header.top()),
                          QSize(quarter, header.height())),
                    panel, band, plate, scaled(20)))
        return QStringLiteral("no close button in the header") + size;
    return {};
}

// `what` and the sides with pixels counted (top, bottom, left, right), each with its count; empty
// when no side has any.
QString sidesCounted(const int (&counts)[4], const QString& what) {
    const char* sides[] = {"top", "bottom", "left", "right"};
    QStringList found;
    for (int side = 0; side < 4; ++side) {
        if (counts[side] > 0)
            found << QStringLiteral("%1 (%2 pixels)")
                         .arg(QLatin1String(sides[side]))
                         .arg(counts[side]);
    }
    return found.isEmpty() ? QString() : what + found.join(QStringLiteral(", "));
}

// A light plate's pale pixels next to the desktop, on the ring along the panel's outline where
// its border runs: which side they face and how many. Empty when there are none.
QString paleBesideTheDesktop(const QImage& frame, const QRect& panel) {
    const QRect inside = panel.adjusted(cornerRoom, cornerRoom, -cornerRoom, -cornerRoom);
    const auto pixel = [&](int x, int y) {
        return reinterpret_cast<const QRgb*>(frame.constScanLine(y))[x];
    };
    // Beyond the frame's edge counts as desktop: the area read has desktop all round the panel.
    const auto desktopAt = [&](int x, int y) {
        return x < 0 || y < 0 || x >= frame.width() || y >= frame.height() ||
               isDesktop(pixel(x, y));
    };
    int counts[4] = {};
    for (int y = panel.top(); y <= panel.bottom(); ++y) {
        const bool across = y < inside.top() || y > inside.bottom();
        for (int x = panel.left(); x <= panel.right(); ++x) {
            if (!across && x == inside.left())
                x = inside.right() + 1;
            if (x > panel.right() || !isPale(pixel(x, y)))
                continue;
            counts[0] += desktopAt(x, y - 1) ? 1 : 0;
            counts[1] += desktopAt(x, y + 1) ? 1 : 0;
            counts[2] += desktopAt(x - 1, y) ? 1 : 0;
            counts[3] += desktopAt(x + 1, y) ? 1 : 0;
        }
    }
    return sidesCounted(counts, QStringLiteral("a pale strip outside the border on the "));
}

// How far apart two colours are: their largest difference in one channel.
int distance(QRgb one, QRgb other) {
    return std::max({std::abs(qRed(one) - qRed(other)), std::abs(qGreen(one) - qGreen(other)),
                     std::abs(qBlue(one) - qBlue(other))});
}

// The outermost pixels along the straight part of each side of a light panel that are nearer the
// plate's colour than the border itself is: the plate showing through beside the border. Where
// the outline ends between two of the server's pixels, that last pixel holds a sliver of the
// plate under a sliver of the border, a pale line beyond the border; where it ends on a pixel's
// edge, the outermost pixel is border, or border and desktop. Empty when none does.
QString plateBesideTheBorder(const QImage& frame, const QRect& panel, QRgb border, QRgb plate) {
    if (!isPale(plate))
        return {};
    // The border as read at rest (its inner or its outer pixel) differs a little from one frame
    // to the next: only a pixel clearly paler than it is the plate's.
    const int limit = distance(border, plate) - 16;
    const auto pixel = [&](int x, int y) {
        return reinterpret_cast<const QRgb*>(frame.constScanLine(y))[x];
    };
    const auto tinted = [&](QRgb shown) { return distance(shown, plate) < limit; };
    int counts[4] = {};
    for (int x = panel.left() + cornerRoom; x <= panel.right() - cornerRoom; ++x) {
        counts[0] += tinted(pixel(x, panel.top())) ? 1 : 0;
        counts[1] += tinted(pixel(x, panel.bottom())) ? 1 : 0;
    }
    for (int y = panel.top() + cornerRoom; y <= panel.bottom() - cornerRoom; ++y) {
        counts[2] += tinted(pixel(panel.left(), y)) ? 1 : 0;
        counts[3] += tinted(pixel(panel.right(), y)) ? 1 : 0;
    }
    return sidesCounted(counts, QStringLiteral("the plate showing beyond the border on the "));
}

// One frame as the server showed it holds exactly one whole active panel: the desktop all
// round it and in its rounded corners, its border along every side and nowhere across it, no
// hole at its sides and nothing black. Empty when it does; what is wrong otherwise. The border
// runs `borderInset` pixels in from the drawn area's edge: an active panel's is wide, with the
// antialiased edge outside it; one not active has a thin border on its outermost line.
QString judge(const QImage& frame, QRgb border, QSize tile, bool headed, int borderInset = 1) {
    const QRect panel = drawnArea(frame);
    if (panel.isEmpty())
        return QStringLiteral("no panel");
    const QString size = QStringLiteral(" (%1 x %2 at %3, %4)")
                             .arg(panel.width())
                             .arg(panel.height())
                             .arg(panel.x())
                             .arg(panel.y());
    if (panel.width() < 2 * cornerRoom + 10 || panel.height() < 2 * cornerRoom + 10)
        return QStringLiteral("a sliver") + size;
    // Black along the edges: where the shape stands beyond what is drawn, a band along a whole
    // edge or a wedge at a corner. (A few dark pixels of the panel's own symbols may touch the
    // border while the panel is at its smallest.)
    int black = 0;
    const QRect inside = panel.adjusted(edgeBand, edgeBand, -edgeBand, -edgeBand);
    for (int y = panel.top(); y <= panel.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        const bool across = y < inside.top() || y > inside.bottom();
        for (int x = panel.left(); x <= panel.right(); ++x) {
            if (!across && x == inside.left())
                x = inside.right() + 1;
            if (x <= panel.right())
                black += isBlack(row[x]) ? 1 : 0;
        }
    }
    if (black > strayBlackPixels)
        return QStringLiteral("%1 black pixels along the edges").arg(black) + size;
    for (const QPoint corner :
         {panel.topLeft(), panel.topRight(), panel.bottomLeft(), panel.bottomRight()}) {
        if (!isDesktop(frame.pixel(corner)))
            return QStringLiteral("a square corner at %1, %2").arg(corner.x()).arg(corner.y()) +
                   size;
    }
    // A second panel, or a piece of one, beside the first leaves the desktop at their sides.
    for (int y = panel.top() + cornerRoom; y <= panel.bottom() - cornerRoom; ++y) {
        if (isDesktop(frame.pixel(panel.left(), y)) || isDesktop(frame.pixel(panel.right(), y)))
            return QStringLiteral("a side open at row %1").arg(y) + size;
    }
    for (int x = panel.left() + cornerRoom; x <= panel.right() - cornerRoom; ++x) {
        if (isDesktop(frame.pixel(x, panel.top())) || isDesktop(frame.pixel(x, panel.bottom())))
            return QStringLiteral("an edge open at column %1").arg(x) + size;
    }
    // The border runs along every side: a panel cut short has its inside at the cut.
    const int across = panel.width() / 2;
    const int down = panel.height() / 2;
    const QPoint quarter(panel.width() / 4, panel.height() / 4);
    const struct {
        QPoint from;
        QPoint step;
        int count;
        const char* side;
    } sides[] = {
        {QPoint(panel.left() + quarter.x(), panel.top() + borderInset), QPoint(1, 0), across,
         "top"},
        {QPoint(panel.left() + quarter.x(), panel.bottom() - borderInset), QPoint(1, 0), across,
         "bottom"},
        {QPoint(panel.left() + borderInset, panel.top() + quarter.y()), QPoint(0, 1), down, "left"},
        {QPoint(panel.right() - borderInset, panel.top() + quarter.y()), QPoint(0, 1), down,
         "right"}};
    for (const auto& side : sides) {
        if (borderShare(frame, side.from, side.step, side.count, border) < 0.8)
            return QStringLiteral("no border on the %1").arg(QLatin1String(side.side)) + size;
    }
    // A panel not active has its thin border on the outermost line: nothing lies beyond it.
    if (borderInset > 0) {
        // Outside the border there is only the desktop: a light plate's pale pixels beside the
        // desktop are a strip of the plate beyond the border, along a side or round a corner. The
        // server's pixels at a fractional scale may end a window a pixel past what was painted, and
        // only on its right or bottom side: the whole outline is looked at, not only the middle of
        // each side.
        if (const QString strip = paleBesideTheDesktop(frame, panel); !strip.isEmpty())
            return strip + size;
        const QRgb plate = plateColour(
            frame, panel.adjusted(edgeBand + 2, edgeBand + 2, -edgeBand - 2, -edgeBand - 2));
        if (const QString strip = plateBesideTheBorder(frame, panel, border, plate);
            !strip.isEmpty())
            return strip + size;
    }
    // A second border across the panel is the bottom of a second panel.
    for (int y = panel.top() + 8; y <= panel.bottom() - 8; ++y) {
        if (borderShare(frame, QPoint(panel.left() + cornerRoom, y), QPoint(1, 0),
                        panel.width() - 2 * cornerRoom, border) >= 0.8)
            return QStringLiteral("a second border at row %1").arg(y) + size;
    }
    for (int x = panel.left() + 8; x <= panel.right() - 8; ++x) {
        if (borderShare(frame, QPoint(x, panel.top() + cornerRoom), QPoint(0, 1),
                        panel.height() - 2 * cornerRoom, border) >= 0.8)
            return QStringLiteral("a second border at column %1").arg(x) + size;
    }
    return missingContent(frame, panel, tile, headed);
}

// Black pixels on the panel's outline: next to the desktop, or on the edge of what is drawn.
// Where the shape stands beyond what is painted, the server shows black there.
int blackOnTheOutline(const QImage& frame) {
    const QRect panel = drawnArea(frame);
    int black = 0;
    for (int y = panel.top(); y <= panel.bottom(); ++y) {
        for (int x = panel.left(); x <= panel.right(); ++x) {
            if (!isBlack(frame.pixel(x, y)))
                continue;
            const bool edge =
                x == panel.left() || x == panel.right() || y == panel.top() || y == panel.bottom();
            const bool besideDesktop =
                edge || isDesktop(frame.pixel(x - 1, y)) || isDesktop(frame.pixel(x + 1, y)) ||
                isDesktop(frame.pixel(x, y - 1)) || isDesktop(frame.pixel(x, y + 1));
            black += besideDesktop ? 1 : 0;
        }
    }
    return black;
}

// Dark pixels on the border's arcs at the panel's corners: a light panel draws nothing dark
// there, unless what it holds (the header's buttons) spills onto its border.
int darkOnTheArcs(const QImage& frame) {
    const QRect panel = drawnArea(frame);
    if (panel.isEmpty())
        return 0;
    const double radius = cornerRadiusPoints * scale;
    // The border is 3 points wide; a point more for the antialiased edge inside it.
    const double inner = radius - 4 * scale;
    const QRectF bounds = QRectF(panel).adjusted(0, 0, 1, 1);
    const QPointF centres[] = {bounds.topLeft() + QPointF(radius, radius),
                               bounds.topRight() + QPointF(-radius, radius),
                               bounds.bottomLeft() + QPointF(radius, -radius),
                               bounds.bottomRight() + QPointF(-radius, -radius)};
    int dark = 0;
    for (const QPointF centre : centres) {
        const int left = qFloor(centre.x() - radius);
        const int top = qFloor(centre.y() - radius);
        for (int y = std::max(top, panel.top());
             y <= std::min(top + qCeil(2 * radius), panel.bottom()); ++y) {
            for (int x = std::max(left, panel.left());
                 x <= std::min(left + qCeil(2 * radius), panel.right()); ++x) {
                const QPointF at(x + 0.5, y + 0.5);
                // Only the arc itself: outward from the centre, beyond the straight sides' reach.
                const QPointF off = at - centre;
                const bool outward = (off.x() < 0) == (centre.x() < bounds.center().x()) &&
                                     (off.y() < 0) == (centre.y() < bounds.center().y());
                const double distance = std::hypot(off.x(), off.y());
                if (!outward || distance < inner || distance > radius)
                    continue;
                const QRgb pixel = frame.pixel(x, y);
                dark += std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) <= 60 ? 1 : 0;
            }
        }
    }
    return dark;
}

void paintDesktop(DesktopSession& desktop) {
    // A root picture too: a compositor that finds none (xfwm4's, marco's) paints its desktop
    // black, the colour the server shows beside a shape.
    QVERIFY(desktop.paintRoot(rootColour));
}

// The windows beside the window manager's that are not the app's (a window manager's own, such
// as IceWM's): there before any panel changed its form.
QList<WindowId> othersUnmanaged;

// Minimises the dashboard, and takes note of the windows beside the window manager's that show
// before any panel changes its form.
void hideDashboard(DesktopSession& desktop) {
    const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
    QVERIFY(dashboard);
    desktop.minimise(dashboard);
    QVERIFY(DesktopSession::waitUntil([&] { return !desktop.isViewable(dashboard); }));
    // Only those on the screen: a panel's stage stands by beyond its top-left corner between
    // changes.
    const QRect screen(0, 0, 32767, 32767);
    othersUnmanaged = desktop.unmanagedWindows();
    othersUnmanaged.removeIf(
        [&](WindowId window) { return !desktop.geometry(window).intersects(screen); });
}

// Frames are kept for a look when KIPPETS_FRAMES_DIR names a folder.
void keep(const QImage& frame, const QString& name) {
    const QString folder = qEnvironmentVariable("KIPPETS_FRAMES_DIR");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        frame.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// The app's windows beside the window manager's over `area`: a panel's stage, or a menu.
QList<WindowId> unmanagedIn(const DesktopSession& desktop, const QRect& area) {
    QList<WindowId> shown = desktop.unmanagedWindows();
    // Some window managers (IceWM) make their frames round the windows they manage so.
    QList<WindowId> frames;
    for (const WindowId client : desktop.stacking())
        frames.append(desktop.frameOf(client));
    shown.removeIf([&](WindowId window) {
        return othersUnmanaged.contains(window) || frames.contains(window) ||
               !desktop.geometry(window).intersects(area);
    });
    return shown;
}

bool stageShowsIn(const DesktopSession& desktop, const QRect& area) {
    return !unmanagedIn(desktop, area).isEmpty();
}

// The menus opened since `before` was shown: the windows beside the window manager's that are new.
QList<WindowId> menusSince(const DesktopSession& desktop, const QList<WindowId>& before) {
    QList<WindowId> menus =
        unmanagedIn(desktop, QRect(QPoint(0, 0), DesktopSession::Options().screen));
    menus.removeIf([&](WindowId window) { return before.contains(window); });
    return menus;
}

// Whether `menu` opened at `at`: a menu touches the point it opened at, on whichever side of it
// it fits.
bool openedAt(const QRect& menu, QPoint at) {
    return menu.adjusted(-2, -2, 2, 2).contains(at);
}

// A panel on a desktop of one colour, active, with what every frame of it is judged by.
struct Scene {
    WindowId panel = 0;
    QRect collapsed;
    // Where the panel stands expanded: it grows up and to the right from the tile's bottom-left
    // corner.
    QRect expanded;
    QSize mini;
    // What is read of the screen: the panel's way with some desktop round it.
    QRect area;
    // The active border, as the server shows it over this desktop.
    QRgb border = 0;
    // Where several panels show: the border of the others, not active, which each may show as
    // the keyboard passes from one to the next.
    QRgb inactiveBorder = 0;
};

// The panels in a frame of several, each alone in a frame of its own with the desktop all round
// it: the pieces of what is not the desktop that touch nowhere, largest first. Two panels that
// overlap, or a panel torn in two halves that still touch, are one piece.
QList<QImage> piecesOf(const QImage& frame) {
    const int width = frame.width();
    const int height = frame.height();
    QList<int> pieceOf(qsizetype(width) * height, -1);
    QList<QList<QPoint>> pieces;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (pieceOf[y * width + x] >= 0 || isDesktop(frame.pixel(x, y)))
                continue;
            const int piece = int(pieces.size());
            QList<QPoint> pixels;
            QList<QPoint> next{QPoint(x, y)};
            pieceOf[y * width + x] = piece;
            while (!next.isEmpty()) {
                const QPoint at = next.takeLast();
                pixels.append(at);
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint beside = at + QPoint(dx, dy);
                        if (beside.x() < 0 || beside.y() < 0 || beside.x() >= width ||
                            beside.y() >= height || pieceOf[beside.y() * width + beside.x()] >= 0 ||
                            isDesktop(frame.pixel(beside)))
                            continue;
                        pieceOf[beside.y() * width + beside.x()] = piece;
                        next.append(beside);
                    }
                }
            }
            pieces.append(pixels);
        }
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const QList<QPoint>& a, const QList<QPoint>& b) { return a.size() > b.size(); });
    QList<QImage> alone;
    for (const QList<QPoint>& pixels : std::as_const(pieces)) {
        QImage image(frame.size(), QImage::Format_RGB32);
        image.fill(desktopColour);
        for (const QPoint at : pixels)
            image.setPixel(at, frame.pixel(at));
        alone.append(image);
    }
    return alone;
}

// A mini tile shows its status alone, in its middle: an 80 x 80 plate that shows the header's
// + button alone is the tile's layout cut to the mini tile's size. Empty when it does.
QString missingStatus(const QImage& frame, const QRect& panel) {
    // The plate just inside the border, beside the status.
    const int band = edgeBand + 2;
    const QRgb plate = frame.pixel(panel.left() + band, panel.center().y());
    const int reach = qRound(std::min(panel.width(), panel.height()) * 0.15);
    const QRect middle(panel.center() - QPoint(reach, reach), QSize(2 * reach, 2 * reach));
    int content = 0;
    for (int y = middle.top(); y <= middle.bottom(); ++y) {
        for (int x = middle.left(); x <= middle.right(); ++x)
            content += isContent(frame.pixel(x, y), plate) ? 1 : 0;
    }
    if (content * 3 >= middle.width() * middle.height())
        return {};
    return QStringLiteral("no status in the middle (%1 x %2 at %3, %4)")
        .arg(panel.width())
        .arg(panel.height())
        .arg(panel.x())
        .arg(panel.y());
}

// What is wrong with one panel alone in `frame`: a whole plate with its content and border, its
// border the active one or, where several panels show, that of one not active.
QString wrongPanel(const QImage& frame, const Scene& scene, bool compositor, int panels) {
    QString fault = judge(frame, scene.border, scene.collapsed.size(), false);
    if (!fault.isEmpty() && panels > 1 &&
        judge(frame, scene.inactiveBorder, scene.collapsed.size(), false, 0).isEmpty())
        fault.clear();
    if (const int black = !compositor ? blackOnTheOutline(frame) : 0; fault.isEmpty() && black > 0)
        fault = QStringLiteral("%1 black pixels on the outline").arg(black);
    if (const QRect panel = drawnArea(frame); fault.isEmpty() && panel.size() == scene.mini)
        fault = missingStatus(frame, panel);
    return fault;
}

// What is wrong with each frame of `shown` on its way between forms the app chooses: every one
// `panels` whole plates, apart, each with its content and border (the header is asked of none),
// a mini tile with its status, and without a compositor no black on their outlines. Every
// fourth good frame and every wrong one is kept, and beside a wrong one the frames just before
// and after it: a fault seen once in thousands of frames is told by what led to it.
QStringList wrongFramesOnTheWay(const QList<QImage>& shown, const Scene& scene, bool compositor,
                                const QString& label, int panels = 1) {
    QStringList wrong;
    // Each frame's fault, empty where it shows what it should.
    QStringList frameFaults;
    for (int i = 0; i < shown.size(); ++i) {
        QString fault;
        if (panels == 1) {
            fault = wrongPanel(shown.at(i), scene, compositor, panels);
        } else {
            const QList<QImage> pieces = piecesOf(shown.at(i));
            QStringList faults;
            if (pieces.size() != panels)
                faults.append(QStringLiteral("%1 pieces instead of %2 panels")
                                  .arg(pieces.size())
                                  .arg(panels));
            for (const QImage& piece : pieces) {
                if (const QString pieceFault = wrongPanel(piece, scene, compositor, panels);
                    !pieceFault.isEmpty())
                    faults.append(pieceFault);
            }
            fault = faults.join(QStringLiteral(", "));
        }
        frameFaults.append(fault);
    }
    for (int i = 0; i < shown.size(); ++i) {
        const QString at = QStringLiteral("%1-%2").arg(label).arg(i);
        const bool nearWrong =
            std::any_of(frameFaults.cbegin() + std::max(0, i - 3),
                        frameFaults.cbegin() + std::min(int(frameFaults.size()), i + 4),
                        [](const QString& fault) { return !fault.isEmpty(); });
        if (!frameFaults.at(i).isEmpty()) {
            wrong.append(at + QStringLiteral(": ") + frameFaults.at(i));
            keep(shown.at(i), at + QStringLiteral("-wrong"));
        } else if (i % 4 == 0 || nearWrong) {
            keep(shown.at(i), at);
        }
    }
    return wrong;
}

// The desktop's scale as a desktop sets it: Xft.dpi in the server's resources, read by the app
// as it starts (96 is 100 %).
void setDpi(DesktopSession& desktop, int dpi) {
    QFile resources(desktop.home() + QStringLiteral("/dpi.Xresources"));
    QVERIFY(resources.open(QIODevice::WriteOnly));
    resources.write(QStringLiteral("Xft.dpi: %1\n").arg(dpi).toLatin1());
    resources.close();
    QVERIFY(desktop.runChecked(QStringLiteral("xrdb"),
                               {QStringLiteral("-merge"), resources.fileName()}));
}

// The panel's usual place: a multiple of four points, whole pixels at 125 % and 150 % alike.
constexpr QPointF usualPlace(300, 150);

// The panel "Frames" as a tile, and `others` beside it, not active.
void setUpScene(DesktopSession& desktop, bool compositor, Scene& scene, int dpi = 0,
                QPointF place = usualPlace, const QList<DesktopSession::Seed>& others = {}) {
    QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
    if (dpi > 0)
        setDpi(desktop, dpi);
    desktop.seed(QList<DesktopSession::Seed>{{QStringLiteral("Frames"), place}} + others);
    QVERIFY2(desktop.launch(2 + int(others.size())), qPrintable(desktop.appOutput()));
    hideDashboard(desktop);
    paintDesktop(desktop);
    scene.panel = desktop.windowTitled(QStringLiteral("Frames"));
    QVERIFY(scene.panel);
    const QRect collapsed = desktop.geometry(scene.panel);
    QCOMPARE(collapsed.size(), scaled(QSize(220, 200)));
    scene.collapsed = collapsed;
    const QSize expandedSize = scaled(QSize(600, 500));
    scene.expanded = QRect(collapsed.left(), collapsed.bottom() + 1 - expandedSize.height(),
                           expandedSize.width(), expandedSize.height());
    scene.mini = scaled(QSize(80, 80));
    // On the screen: a tile high up has no room to expand upwards.
    scene.area = collapsed.united(scene.expanded)
                     .adjusted(-30, -30, 30, 30)
                     .intersected(QRect(0, 0, 32767, 32767));
    // The desktop as shown beside the panel, once the root's colour is through.
    // A compositor paints the desktop its own way: its colour is taken once all four corners
    // of the area show it, two grabs in a row, so no window passing by is taken for it -- and
    // only once it has painted all it was sent: a busy one shows the colour from before it took
    // up the root's, steady, for a while.
    if (compositor)
        QVERIFY(desktop.compositorHasCaughtUp());
    QColor previous;
    QVERIFY(DesktopSession::waitUntil([&] {
        const QImage shown = desktop.grabScreen(scene.area);
        if (shown.isNull())
            return false;
        const QRect inside = shown.rect();
        desktopColour = QColor(shown.pixel(inside.topLeft()));
        const bool agreed = QColor(shown.pixel(inside.topRight())) == desktopColour &&
                            QColor(shown.pixel(inside.bottomLeft())) == desktopColour &&
                            QColor(shown.pixel(inside.bottomRight())) == desktopColour &&
                            desktopColour == std::exchange(previous, desktopColour);
        return agreed && (!compositor ? desktopColour == rootColour : desktopColour != Qt::black);
    }));

    desktop.clickGrabPoint(scene.panel);
    QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == scene.panel; }));
    // The app draws the active border once it has heard of the activation: only then is the
    // border on the screen the one every frame is judged by.
    QVERIFY(desktop.appHasCaughtUp(scene.panel));
    const QPoint onBorder(collapsed.center().x(), collapsed.top() + 1);
    QVERIFY(DesktopSession::waitUntil([&] {
        const QImage shown = desktop.grabScreen(QRect(onBorder, QSize(1, 1)));
        scene.border = shown.isNull() ? 0 : shown.pixel(0, 0);
        const QImage inside =
            desktop.grabScreen(QRect(collapsed.center() - QPoint(0, 40), QSize(1, 1)));
        return !shown.isNull() && !inside.isNull() && !isDesktop(scene.border) &&
               !isBorder(inside.pixel(0, 0), scene.border);
    }));
    if (others.isEmpty())
        return;
    const WindowId other = desktop.windowTitled(others.first().name);
    QVERIFY(other);
    const QRect beside = desktop.geometry(other);
    const QImage shown =
        desktop.grabScreen(QRect(QPoint(beside.center().x(), beside.top()), QSize(1, 1)));
    QVERIFY(!shown.isNull() && !isDesktop(shown.pixel(0, 0)));
    scene.inactiveBorder = shown.pixel(0, 0);
}

class Transitions {
public:
    Transitions(DesktopSession& desktop, WindowId panel, QRect area, QString label, QSize tile,
                QSize mini)
        : desktop_(desktop), panel_(panel), area_(area), label_(std::move(label)), tile_(tile),
          mini_(mini) {}

    // Sends the key and reads every frame until the panel stands at `size` and the stage has
    // gone, then the frames the app and the compositor still had on their way.
    void run(const QString& key, QSize size, const QString& name) {
        // A mini tile shows its status alone: on the way to one, so may the stage.
        const bool headed = size != mini_;
        // What the app says from now on, read as it comes: when it gave up waiting, and how long
        // the server had had the panel where it ended by then.
        QFile output(desktop_.home() + QStringLiteral("/app-output.txt"));
        const bool outputRead = output.open(QIODevice::ReadOnly) && output.seek(output.size());
        QByteArray said;
        QRect placed;
        qint64 placedAtMs = -1;
        qint64 gaveUpAtMs = -1;
        QElapsedTimer guard;
        const auto countGiveUp = qScopeGuard([&] {
            // The kind of change: the name without its round.
            const QString kind = QString(name).remove(QRegularExpression(QStringLiteral("\\d+$")));
            ++runs_[kind];
            desktop_.appHasCaughtUp(panel_);
            said += output.readAll();
            if (!outputRead)
                failures_.append(name + QStringLiteral(": the app's output could not be read"));
            if (!said.contains(giveUp.toUtf8()))
                return;
            ++gaveUp_[kind];
            // Said before the stage went, at the latest.
            if (gaveUpAtMs < 0)
                gaveUpAtMs = guard.elapsed();
            const QString why = whyGaveUp(said, gaveUpAtMs, placedAtMs);
            if (!why.isEmpty())
                failures_.append(name + QStringLiteral(": the panel gave up waiting ") + why);
            else if (gaveUp_[kind] > 1)
                failures_.append(name + QStringLiteral(": the panel gave up waiting for a busy "
                                                       "window manager again (%1 of %2 runs)")
                                            .arg(gaveUp_[kind])
                                            .arg(runs_[kind]));
        });
        desktop_.keyWithoutWaiting(key);
        guard.start();
        bool stageGone = false;
        // Read as quickly as the server gives them, judged once the panel has settled.
        QList<QImage> shown;
        const auto grab = [&] {
            const QImage frame = desktop_.grabScreen(area_);
            if (frame.isNull())
                return false;
            if (judged_)
                shown.append(frame);
            return true;
        };
        while (!stageGone && guard.elapsed() < 20000) {
            if (!grab()) {
                failures_.append(name + QStringLiteral(": no frame"));
                return;
            }
            const QRect geometry = desktop_.geometry(panel_);
            if (geometry != placed) {
                placed = geometry;
                placedAtMs = guard.elapsed();
            }
            said += output.readAll();
            if (gaveUpAtMs < 0 && said.contains(giveUp.toUtf8()))
                gaveUpAtMs = guard.elapsed();
            stageGone = geometry.size() == size && !stageShows();
            QThread::msleep(grabEveryMs);
        }
        // The panel's last picture reaches the server after its frame: once the app has handled
        // all it was sent, and a compositor has painted all that reached the server, the screen
        // shows where the change ended.
        if (stageGone && !desktop_.appHasCaughtUp(panel_))
            failures_.append(name + QStringLiteral(": the app never caught up"));
        if (stageGone && compositor_ && !desktop_.compositorHasCaughtUp())
            failures_.append(name + QStringLiteral(": the compositor never caught up"));
        if (!grab()) {
            failures_.append(name + QStringLiteral(": no frame"));
            return;
        }
        for (int frames = 0; frames < shown.size(); ++frames) {
            const QImage& frame = shown.at(frames);
            QString wrong = judge(frame, border_, tile_, headed);
            // A light panel paints nothing black: without a compositor black on its outline is
            // the server's, where the shape stands beyond what is painted.
            if (const int black = lightPanel_ && !compositor_ ? blackOnTheOutline(frame) : 0;
                wrong.isEmpty() && black > 0)
                wrong = QStringLiteral("%1 black pixels on the outline").arg(black);
            if (const int dark = lightPanel_ ? darkOnTheArcs(frame) : 0;
                wrong.isEmpty() && dark > 0)
                wrong = QStringLiteral("%1 dark pixels on the border's arcs").arg(dark);
            const QString at = QStringLiteral("%1-%2-%3").arg(label_, name).arg(frames);
            if (!wrong.isEmpty()) {
                failures_.append(at + QStringLiteral(": ") + wrong);
                keep(frame, at + QStringLiteral("-wrong"));
            } else if (frames % 4 == 0) {
                keep(frame, at);
            }
            ++count_;
        }
        if (desktop_.geometry(panel_).size() != size)
            failures_.append(name + QStringLiteral(": the panel never reached its size"));
        else if (!stageGone)
            failures_.append(name + QStringLiteral(": the stage never went"));
        else if (judged_ && shown.size() < 2)
            failures_.append(name + QStringLiteral(": only %1 frame read").arg(shown.size()));
    }

    void setBorder(QRgb border) { border_ = border; }
    void setCompositor(bool compositor) { compositor_ = compositor; }
    void setLightPanel(bool light) { lightPanel_ = light; }
    // Whether the frames are looked at, or only the panel's frame and its stage.
    void setJudged(bool judged) { judged_ = judged; }
    const QStringList& failures() const { return failures_; }
    int count() const { return count_; }
    // Whether some change gave up waiting in the last runs.
    int gaveUpSoFar() const {
        int total = 0;
        for (const int count : gaveUp_)
            total += count;
        return total;
    }

private:
    bool stageShows() const { return stageShowsIn(desktop_, area_); }

    // Why a give-up is the app's fault, or nothing when the window manager was behind. The app
    // gives up after 120 looks at the server (2 s or more): a window manager that a busy machine
    // holds longer than that gives the panel its new frame only then, or after. A panel that the
    // server had had where it ended for half a second before it gave up had looked there thirty
    // times and more: it missed what was there. One that gave up waiting for the frame's shape
    // is let off once for a kind of change, as one that waited for a late window manager is.
    static QString whyGaveUp(const QByteArray& said, qint64 gaveUpAtMs, qint64 placedAtMs) {
        if (!said.contains("before the window manager gave it its new frame"))
            return {};
        if (gaveUpAtMs - placedAtMs > lateWindowManagerMs)
            return QStringLiteral("%1 ms after the server had it where it ended")
                .arg(gaveUpAtMs - placedAtMs);
        return {};
    }
    static constexpr qint64 lateWindowManagerMs = 500;

    DesktopSession& desktop_;
    WindowId panel_;
    QRect area_;
    QString label_;
    QSize tile_;
    QSize mini_;
    QRgb border_ = 0;
    bool judged_ = true;
    bool compositor_ = false;
    bool lightPanel_ = false;
    QStringList failures_;
    int count_ = 0;
    QHash<QString, int> runs_;
    QHash<QString, int> gaveUp_;
    static inline const QString giveUp = QStringLiteral("The panel shows again before");
};
// Each frame row takes minutes, so ctest runs the rows in shards side by side:
// KIPPETS_TEST_SHARD="<index>/<count>" keeps the rows whose position falls to this shard.
bool inThisShard(int row) {
    const QStringList shard = qEnvironmentVariable("KIPPETS_TEST_SHARD").split(u'/');
    bool indexRead = false;
    bool countRead = false;
    const int index = shard.size() == 2 ? shard[0].toInt(&indexRead) : 0;
    const int count = shard.size() == 2 ? shard[1].toInt(&countRead) : 0;
    if (!indexRead || !countRead || count <= 0)
        return true;
    return row % count == index;
}
} // namespace

// Expanding, collapsing and shrinking to a mini tile, read from the X server frame by frame: each
// frame shows the panel whole, once, and nothing beside it, with and without a compositor.
class PanelTransitionTest : public QObject {
    Q_OBJECT
private slots:
    void everyFrameShowsOneWholePanel_data() {
        QTest::addColumn<bool>("compositor");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<double>("appScale");
        // Whether the desktop sets the scale (Xft.dpi) rather than the app's environment.
        QTest::addColumn<bool>("byDpi");
        QTest::addColumn<QPointF>("place");
        int row = 0;
        const auto add = [&row](const char* tag, bool compositor, bool dark, double scale,
                                bool byDpi = false, QPointF place = usualPlace) {
            if (inThisShard(row++))
                QTest::newRow(tag) << compositor << dark << scale << byDpi << place;
        };
        add("no compositor, light", false, false, 1.0);
        add("no compositor, dark", false, true, 1.0);
        add("compositor, light", true, false, 1.0);
        add("compositor, dark", true, true, 1.0);
        // A desktop set to 125 %.
        add("no compositor, light, 125 %", false, false, 1.25);
        add("compositor, dark, 125 %", true, true, 1.25);
        add("no compositor, light, 150 %", false, false, 1.5);
        add("no compositor, light, 125 % (Xft.dpi)", false, false, 1.25, true);
        add("compositor, light, 150 % (Xft.dpi)", true, false, 1.5, true);
        // A place a user's drag leaves, between the server's pixels at both scales: the panel's
        // origin and its far edges then round apart.
        add("compositor, light, 125 % (Xft.dpi), odd place", true, false, 1.25, true,
            QPointF(301, 147));
        add("no compositor, light, 150 % (Xft.dpi), odd place", false, false, 1.5, true,
            QPointF(301, 147));
    }

    void everyFrameShowsOneWholePanel() {
        QFETCH(bool, compositor);
        QFETCH(bool, dark);
        QFETCH(double, appScale);
        QFETCH(bool, byDpi);
        QFETCH(QPointF, place);
        useScale(appScale);
        DesktopSession::Options options;
        options.compositor = compositor;
        // Room for the expanded panel above the tile at the larger scales.
        if (scale >= 1.5)
            options.screen = QSize(1920, 1200);
        if (dark)
            options.appEnvironment << QStringLiteral("KIPPETS_PALETTE=dark");
        if (scale != 1 && !byDpi)
            options.appEnvironment << QStringLiteral("QT_SCALE_FACTOR=%1").arg(scale);
        DesktopSession desktop(options);
        Scene scene;
        setUpScene(desktop, compositor, scene, byDpi ? qRound(96 * scale) : 0, place);
        if (QTest::currentTestFailed())
            return;
        const auto& [panel, collapsed, expanded, mini, area, border, inactiveBorder] = scene;
        const QSize expandedSize = expanded.size();

        const QString label =
            QStringLiteral("%1-%2-%3")
                .arg(compositor ? "composited" : "opaque", dark ? "dark" : "light")
                .arg(qRound(scale * 100));
        Transitions transitions(desktop, panel, area, label, collapsed.size(), mini);
        transitions.setBorder(border);
        transitions.setCompositor(compositor);
        transitions.setLightPanel(!dark);
        QVERIFY(transitions.failures().isEmpty());
        for (int round = 0; round < 3; ++round) {
            transitions.run(QStringLiteral("e"), expandedSize,
                            QStringLiteral("expand%1").arg(round));
            transitions.run(QStringLiteral("e"), collapsed.size(),
                            QStringLiteral("collapse%1").arg(round));
            transitions.run(QStringLiteral("m"), mini, QStringLiteral("mini%1").arg(round));
            transitions.run(QStringLiteral("e"), expandedSize,
                            QStringLiteral("expandMini%1").arg(round));
            transitions.run(QStringLiteral("e"), mini, QStringLiteral("collapseMini%1").arg(round));
            transitions.run(QStringLiteral("m"), collapsed.size(),
                            QStringLiteral("unmini%1").arg(round));
        }
        // However busy the machine, every change is read more than once: on its way and where
        // it ended.
        QVERIFY2(transitions.count() >= 18 * 2,
                 qPrintable(QStringLiteral("%1 frames read").arg(transitions.count())));
        qInfo().noquote() << QStringLiteral("%1 frames read on %2, %3 wrong")
                                 .arg(transitions.count())
                                 .arg(desktop.windowManager())
                                 .arg(transitions.failures().size());
        QVERIFY2(transitions.failures().isEmpty(),
                 qPrintable(QStringLiteral("%1 of %2 frames wrong: ")
                                .arg(transitions.failures().size())
                                .arg(transitions.count()) +
                            transitions.failures().mid(0, 12).join(QStringLiteral("; "))));
        QCOMPARE(desktop.geometry(panel), collapsed);
        // Each change ended because the window manager had the panel at its new frame and in its
        // shape: a give-up is among the failures above unless the window manager was behind that
        // time, which a busy machine may make it now and then, and not twice for a kind.
    }

    // Keys faster than a change of form: each new change goes on from the frame on the screen,
    // and every frame read meanwhile shows one whole panel -- never nothing, never a black or an
    // empty plate, never pieces of two.
    void keysFasterThanAChangeShowOneWholePanel_data() {
        QTest::addColumn<bool>("compositor");
        QTest::addColumn<double>("appScale");
        // Whether the desktop sets the scale (Xft.dpi) rather than the app's environment.
        QTest::addColumn<bool>("byDpi");
        QTest::newRow("no compositor") << false << 1.0 << false;
        QTest::newRow("compositor") << true << 1.0 << false;
        QTest::newRow("no compositor, 125 %") << false << 1.25 << false;
        QTest::newRow("compositor, 125 % (Xft.dpi)") << true << 1.25 << true;
        QTest::newRow("no compositor, 150 % (Xft.dpi)") << false << 1.5 << true;
    }

    void keysFasterThanAChangeShowOneWholePanel() {
        QFETCH(bool, compositor);
        QFETCH(double, appScale);
        QFETCH(bool, byDpi);
        useScale(appScale);
        DesktopSession::Options options;
        options.compositor = compositor;
        // Room for the expanded panel above the tile at the larger scales.
        if (scale >= 1.5)
            options.screen = QSize(1920, 1200);
        if (scale != 1 && !byDpi)
            options.appEnvironment << QStringLiteral("QT_SCALE_FACTOR=%1").arg(scale);
        DesktopSession desktop(options);
        Scene scene;
        setUpScene(desktop, compositor, scene, byDpi ? qRound(96 * scale) : 0);
        if (QTest::currentTestFailed())
            return;
        const QRect area = scene.area;
        // Twenty keys, 40 ms apart: e expands or collapses, m turns the tile into a mini tile and
        // back (and does nothing while expanded). Sixteen of them come back to the tile; the last
        // four expand, collapse and end in a mini tile.
        QStringList keys;
        for (int i = 0; i < 20; ++i)
            keys << QString(i % 2 == 0 ? QStringLiteral("e") : QStringLiteral("m"));
        QVERIFY(desktop.keyWithoutWaiting(QStringLiteral("--delay 40 ") + keys.join(u' ')));
        QList<QImage> shown;
        QElapsedTimer guard;
        guard.start();
        bool settled = false;
        while (!settled && guard.elapsed() < 30000) {
            const QImage frame = desktop.grabScreen(area);
            QVERIFY(!frame.isNull());
            shown.append(frame);
            // Past the keys' time, the panel at rest as a mini tile with no stage over it.
            settled = guard.elapsed() > 20 * 40 + 200 &&
                      desktop.geometry(scene.panel).size() == scene.mini &&
                      !stageShowsIn(desktop, area);
            QThread::msleep(grabEveryMs);
        }
        QVERIFY2(settled, "the panel never came to rest as a mini tile");
        QVERIFY(desktop.appHasCaughtUp(scene.panel));
        if (compositor)
            QVERIFY(desktop.compositorHasCaughtUp());
        shown.append(desktop.grabScreen(area));
        // The form each frame is on the way to is the app's to know.
        const QStringList wrong = wrongFramesOnTheWay(shown, scene, compositor,
                                                      compositor ? QStringLiteral("keys-composited")
                                                                 : QStringLiteral("keys-opaque"));
        qInfo().noquote() << QStringLiteral("%1 frames read on %2 with fast keys, %3 wrong")
                                 .arg(shown.size())
                                 .arg(desktop.windowManager())
                                 .arg(wrong.size());
        // One frame a key at least, so that every change was seen under way: a machine busy with
        // builds gives fewer grabs than a quiet one (36 at a load of 50), never none a change.
        QVERIFY2(shown.size() >= 20,
                 qPrintable(QStringLiteral("%1 frames read").arg(shown.size())));
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(
                     QStringLiteral("%1 of %2 frames wrong: ").arg(wrong.size()).arg(shown.size()) +
                     wrong.mid(0, 12).join(QStringLiteral("; "))));
        QCOMPARE(desktop.geometry(scene.panel).size(), scene.mini);
        QVERIFY2(!desktop.appOutput().contains(QStringLiteral("The panel shows again before")),
                 qPrintable(desktop.appOutput()));
    }

    // Clicks on a panel while it changes form, 40 to 120 ms after the key: every frame read shows
    // one whole panel -- the click never shows the panel before the window manager has it at its
    // new frame -- and the change reaches its end. A double click meanwhile toggles the panel once
    // more, from the form the change took it to.
    void clicksOnAPanelUnderWayShowOneWholePanel_data() {
        QTest::addColumn<bool>("compositor");
        QTest::addColumn<bool>("twice");
        QTest::newRow("no compositor, click") << false << false;
        QTest::newRow("compositor, click") << true << false;
        QTest::newRow("no compositor, double click") << false << true;
        QTest::newRow("compositor, double click") << true << true;
    }

    void clicksOnAPanelUnderWayShowOneWholePanel() {
        QFETCH(bool, compositor);
        QFETCH(bool, twice);
        useScale(1);
        DesktopSession::Options options;
        options.compositor = compositor;
        DesktopSession desktop(options);
        Scene scene;
        setUpScene(desktop, compositor, scene);
        if (QTest::currentTestFailed())
            return;
        const QRect area = scene.area;
        // In the tile's top strip, which every frame on the way covers: in the expanded panel it
        // is the plain content, clear of its header and its controls.
        const QPoint inside = DesktopSession::grabPoint(scene.collapsed);
        QVERIFY(scene.expanded.contains(inside));
        QVERIFY(desktop.moveTo(inside));
        const QList<int> delaysMs{40, 80, 120, 60, 100, 50, 90, 70};
        const QString label = QStringLiteral("%1-%2").arg(
            twice ? QStringLiteral("doubleclicks") : QStringLiteral("clicks"),
            compositor ? QStringLiteral("composited") : QStringLiteral("opaque"));
        QStringList wrong;
        int read = 0;
        QString unfinished;
        bool expanded = false;
        for (int round = 0; round < delaysMs.size(); ++round) {
            // The click of the round before, or the one that made the panel active, would make a
            // double click with this round's first: the platform's interval is 400 ms.
            QThread::msleep(500);
            // A click leaves the panel in the form the key takes it to; a double click toggles
            // it back.
            const bool expands = !expanded;
            expanded = twice ? expanded : expands;
            const QRect end = expanded ? scene.expanded : scene.collapsed;
            const QString clicks =
                twice ? QStringLiteral("click --repeat 2 --delay 60 1") : QStringLiteral("click 1");
            QVERIFY(desktop.keyWithoutWaiting(
                QStringLiteral("e sleep %1 %2").arg(delaysMs.at(round) / 1000.0).arg(clicks)));
            QElapsedTimer guard;
            guard.start();
            bool settled = false;
            // A double click ends where the round began: at rest there before the key and the
            // clicks have all come, or between the two changes, the panel is not done. It is only
            // once the app has handled every one of them.
            bool inputHandled = false;
            // Judged round by round: a round that never settles would hold thousands of frames.
            QList<QImage> shown;
            while (!settled && guard.elapsed() < 10000) {
                const QImage frame = desktop.grabScreen(area);
                QVERIFY(!frame.isNull());
                if (shown.size() < 400)
                    shown.append(frame);
                if (!inputHandled && desktop.keysSent()) {
                    QVERIFY(desktop.appHasCaughtUp(scene.panel));
                    inputHandled = true;
                }
                // Past the clicks' time, the panel at rest with no stage over it.
                settled = inputHandled && guard.elapsed() > 400 &&
                          desktop.geometry(scene.panel) == end && !stageShowsIn(desktop, area);
                QThread::msleep(grabEveryMs);
            }
            QVERIFY(desktop.appHasCaughtUp(scene.panel));
            if (compositor)
                QVERIFY(desktop.compositorHasCaughtUp());
            shown.append(desktop.grabScreen(area));
            wrong += wrongFramesOnTheWay(shown, scene, compositor,
                                         QStringLiteral("%1-%2").arg(label).arg(round));
            read += int(shown.size());
            if (!settled) {
                unfinished = QStringLiteral("round %1 stands at %2, not at %3")
                                 .arg(round)
                                 .arg(DesktopSession::described(desktop.geometry(scene.panel)),
                                      DesktopSession::described(end));
                break;
            }
            // Whatever the round left, the next starts from where the panel stands.
            expanded = desktop.geometry(scene.panel).size() == scene.expanded.size();
        }
        qInfo().noquote() << QStringLiteral("%1 frames read on %2 with %3 under way, %4 wrong")
                                 .arg(read)
                                 .arg(desktop.windowManager(), label)
                                 .arg(wrong.size());
        QVERIFY2(unfinished.isEmpty(), qPrintable(unfinished));
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(QStringLiteral("%1 of %2 frames wrong: ").arg(wrong.size()).arg(read) +
                            wrong.mid(0, 12).join(QStringLiteral("; "))));
    }

    // "Move to Left" turns three tiles into mini tiles in a row at the screen's left edge: each
    // one change, every frame of them three whole panels -- never a tile's picture cut to the
    // mini tile's size, never a piece of one.
    void anArrangementShowsOneWholePanelEveryFrame_data() {
        QTest::addColumn<bool>("compositor");
        // Set by the desktop (Xft.dpi).
        QTest::addColumn<double>("appScale");
        QTest::newRow("no compositor") << false << 1.0;
        QTest::newRow("compositor") << true << 1.0;
        QTest::newRow("no compositor, 125 % (Xft.dpi)") << false << 1.25;
    }

    void anArrangementShowsOneWholePanelEveryFrame() {
        QFETCH(bool, compositor);
        QFETCH(double, appScale);
        useScale(appScale);
        DesktopSession::Options options;
        options.compositor = compositor;
        DesktopSession desktop(options);
        Scene scene;
        // Places count from the screen's bottom: one tile above the other, 300 apart (in the
        // server's pixels at every scale, and multiples of four points), so that on their ways
        // into the row (80 x 80, 8 apart, half way down the left edge) they stay apart too, and
        // each shows as a piece of its own.
        const auto at = [&](double x, double y) { return QPointF(x, y) / scale; };
        setUpScene(
            desktop, compositor, scene, scale != 1 ? qRound(96 * scale) : 0, at(300, 650),
            {{QStringLiteral("Second"), at(300, 350)}, {QStringLiteral("Third"), at(300, 50)}});
        if (QTest::currentTestFailed())
            return;
        const QList<WindowId> panels = {scene.panel, desktop.windowTitled(QStringLiteral("Second")),
                                        desktop.windowTitled(QStringLiteral("Third"))};
        QVERIFY(panels[1] && panels[2]);
        const QRect screen(QPoint(0, 0), options.screen);
        // Down to a little below the lowest tile: a window manager's own bar (IceWM's) may stand
        // at the screen's bottom.
        const QRect lowest = desktop.geometry(panels[2]);
        const QRect area(0, 0, lowest.right() + 30, lowest.bottom() + 10);
        const QList<WindowId> before = unmanagedIn(desktop, screen);
        QVERIFY(desktop.clickOn(scene.panel, DesktopSession::grabPoint(scene.collapsed), 3));
        QVERIFY(DesktopSession::waitUntil([&] { return !menusSince(desktop, before).isEmpty(); }));
        // The panel's menu: "Move Kippets" is its ninth item, "Move to Left" the fourth of that
        // submenu, "Move All Kippets Here" its first.
        QVERIFY(desktop.key(QStringLiteral("Down Down Down Down Down Down Down Down Down Right "
                                           "Down Down Down")));
        const QList<WindowId> menus = menusSince(desktop, before);
        // What of the menus lies right of the panels' ways: a compositor that shows the desktop
        // there has painted them gone. Read in a moment, where asking the compositor to catch up
        // takes two of its paints, which a busy one spends past the panels' whole way.
        QList<QRect> beyond;
        for (const WindowId menu : menus) {
            const QRect right = desktop.geometry(menu).intersected(
                QRect(QPoint(area.right() + 1, 0), QPoint(screen.right(), screen.bottom())));
            if (!right.isEmpty())
                beyond.append(right);
        }
        const auto paintedGone = [&] {
            if (!compositor)
                return true;
            if (beyond.isEmpty())
                return desktop.compositorHasCaughtUp();
            return std::all_of(beyond.cbegin(), beyond.cend(), [&](const QRect& part) {
                const QImage shown = desktop.grabScreen(part);
                if (shown.isNull())
                    return false;
                for (int y = 0; y < shown.height(); ++y) {
                    for (int x = 0; x < shown.width(); ++x) {
                        if (!isDesktop(shown.pixel(x, y)))
                            return false;
                    }
                }
                return true;
            });
        };
        QVERIFY(desktop.keyWithoutWaiting(QStringLiteral("Return")));
        QList<QImage> shown;
        QElapsedTimer guard;
        guard.start();
        bool settled = false;
        bool menuGone = false;
        while (!settled && guard.elapsed() < 20000) {
            const QList<WindowId> shownNow = desktop.unmanagedWindows();
            const bool menuShows = std::any_of(menus.cbegin(), menus.cend(), [&](WindowId menu) {
                return shownNow.contains(menu);
            });
            // Only once the menu has gone, and a compositor has painted it gone: it is not the
            // panel's.
            menuGone = menuGone || (!menuShows && paintedGone());
            const QImage frame = desktop.grabScreen(area);
            QVERIFY(!frame.isNull());
            if (menuGone && !menuShows)
                shown.append(frame);
            settled = std::all_of(panels.cbegin(), panels.cend(),
                                  [&](WindowId panel) {
                                      const QRect at = desktop.geometry(panel);
                                      return at.size() == scene.mini && at.left() < 40;
                                  }) &&
                      !stageShowsIn(desktop, area);
            QThread::msleep(grabEveryMs);
        }
        QVERIFY2(settled, "the panels never came to rest as mini tiles at the left edge");
        for (const WindowId panel : panels)
            QVERIFY(desktop.appHasCaughtUp(panel));
        if (compositor)
            QVERIFY(desktop.compositorHasCaughtUp());
        shown.append(desktop.grabScreen(area));
        // In the row in the order they were made, the first at the top: their ways never cross.
        QVERIFY(desktop.geometry(panels[0]).bottom() < desktop.geometry(panels[1]).top());
        QVERIFY(desktop.geometry(panels[1]).bottom() < desktop.geometry(panels[2]).top());
        const QStringList wrong = wrongFramesOnTheWay(shown, scene, compositor,
                                                      compositor ? QStringLiteral("left-composited")
                                                                 : QStringLiteral("left-opaque"),
                                                      int(panels.size()));
        qInfo().noquote() << QStringLiteral("%1 frames read on %2 moving to the left, %3 wrong")
                                 .arg(shown.size())
                                 .arg(desktop.windowManager())
                                 .arg(wrong.size());
        QVERIFY2(shown.size() >= 4, qPrintable(QStringLiteral("%1 frames read").arg(shown.size())));
        QVERIFY2(wrong.isEmpty(),
                 qPrintable(
                     QStringLiteral("%1 of %2 frames wrong: ").arg(wrong.size()).arg(shown.size()) +
                     wrong.mid(0, 12).join(QStringLiteral("; "))));
    }

    // "Move All Kippets Here" moves the other panels to the one whose menu it was chosen in, each
    // drawn frame by frame on its way, however many move at once: a move that jumps shows one or
    // two places at most.
    void gatheringDrawsEachPanelOnItsWay_data() {
        QTest::addColumn<bool>("compositor");
        QTest::newRow("no compositor") << false;
        QTest::newRow("compositor") << true;
    }

    void gatheringDrawsEachPanelOnItsWay() {
        QFETCH(bool, compositor);
        useScale(1);
        DesktopSession::Options options;
        options.compositor = compositor;
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        // Places count from the screen's bottom. The anchor stands high on the left; the cascade
        // puts the second 20 right of and below it, the third 40. The second comes straight from
        // the right, the third straight up from below: on its way each shows an edge nothing else
        // reaches -- the second its right edge along its top rows, the third its bottom along its
        // left columns.
        desktop.seed({{QStringLiteral("Anchor"), QPointF(100, 600)},
                      {QStringLiteral("Right"), QPointF(1000, 580)},
                      {QStringLiteral("Low"), QPointF(140, 50)}});
        QVERIFY2(desktop.launch(4), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        paintDesktop(desktop);
        const WindowId anchor = desktop.windowTitled(QStringLiteral("Anchor"));
        const WindowId right = desktop.windowTitled(QStringLiteral("Right"));
        const WindowId low = desktop.windowTitled(QStringLiteral("Low"));
        QVERIFY(anchor && right && low);
        const QRect anchored = desktop.geometry(anchor);
        const QRect rightStart = desktop.geometry(right);
        const QRect lowStart = desktop.geometry(low);
        const QRect rightEnd =
            rightStart.translated(anchored.topLeft() + QPoint(20, 20) - rightStart.topLeft());
        const QRect lowEnd =
            lowStart.translated(anchored.topLeft() + QPoint(40, 40) - lowStart.topLeft());
        // The ways as laid out above.
        QCOMPARE(rightStart.top(), rightEnd.top());
        QCOMPARE(lowStart.left(), lowEnd.left());
        const QRect screen(QPoint(0, 0), options.screen);
        // The desktop's colour as a compositor paints it once it has taken up the root's: a busy
        // one may show the colour from before for a while, steady.
        if (compositor)
            QVERIFY(desktop.compositorHasCaughtUp());
        QColor previous;
        QVERIFY(DesktopSession::waitUntil([&] {
            const QImage shown = desktop.grabScreen(QRect(0, 0, 1, 1));
            if (shown.isNull())
                return false;
            desktopColour = QColor(shown.pixel(0, 0));
            return desktopColour == std::exchange(previous, desktopColour) &&
                   (!compositor ? desktopColour == rootColour : desktopColour != Qt::black);
        }));
        // What is read of each frame: the second's top rows right across, the third's left
        // columns right down. The menu opens below the one and right of the other, so neither
        // shows it, and every frame counts from the first.
        const QRect area =
            anchored.united(rightStart).united(lowStart).united(lowEnd).adjusted(-10, -10, 10, 10);
        const QRect rightRows(area.left(), rightStart.top() + 2, area.width(), 14);
        const QRect lowColumns(lowStart.left() + 2, area.top(), 14, area.height());
        const QPoint menuAt(anchored.center().x(), rightStart.top() + 20);
        QVERIFY(menuAt.x() > lowColumns.right() && menuAt.y() > rightRows.bottom());
        const QList<WindowId> before = unmanagedIn(desktop, screen);
        QVERIFY(desktop.clickOn(anchor, menuAt, 3));
        QVERIFY(DesktopSession::waitUntil([&] { return !menusSince(desktop, before).isEmpty(); }));
        QVERIFY(desktop.key(QStringLiteral("Down Down Down Down Down Down Down Down Down Right")));
        for (const WindowId menu : menusSince(desktop, before)) {
            const QRect opened = desktop.geometry(menu);
            QVERIFY(!opened.intersects(rightRows) && !opened.intersects(lowColumns));
        }
        QVERIFY(desktop.keyWithoutWaiting(QStringLiteral("Return")));
        // Read as quickly as the server gives them: the second's right edge along its rows, the
        // third's bottom along its columns.
        QList<int> rightPlaces;
        QList<int> lowPlaces;
        const auto note = [](QList<int>& places, int place) {
            if (place >= 0 && (places.isEmpty() || places.constLast() != place))
                places.append(place);
        };
        int grabs = 0;
        QElapsedTimer guard;
        guard.start();
        bool settled = false;
        while (!settled && guard.elapsed() < 20000) {
            const QImage rows = desktop.grabScreen(rightRows);
            const QImage columns = desktop.grabScreen(lowColumns);
            QVERIFY(!rows.isNull() && !columns.isNull());
            ++grabs;
            int rightEdge = -1;
            for (int y = 0; y < rows.height(); ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(rows.constScanLine(y));
                for (int x = rows.width() - 1; x > rightEdge; --x) {
                    if (!isDesktop(row[x])) {
                        rightEdge = x;
                        break;
                    }
                }
            }
            int bottom = -1;
            for (int y = columns.height() - 1; y >= 0 && bottom < 0; --y) {
                const auto* row = reinterpret_cast<const QRgb*>(columns.constScanLine(y));
                for (int x = 0; x < columns.width(); ++x) {
                    if (!isDesktop(row[x])) {
                        bottom = y;
                        break;
                    }
                }
            }
            note(rightPlaces, rightEdge);
            note(lowPlaces, bottom);
            settled = desktop.geometry(right) == rightEnd && desktop.geometry(low) == lowEnd &&
                      !stageShowsIn(desktop, area);
            QThread::msleep(2);
        }
        QVERIFY2(settled,
                 qPrintable(QStringLiteral("the panels never came to rest where the cascade puts "
                                           "them: %1, %2, %3 wide at %4, %5 and %6, %7")
                                .arg(desktop.geometry(right).x())
                                .arg(desktop.geometry(right).y())
                                .arg(desktop.geometry(right).width())
                                .arg(desktop.geometry(low).x())
                                .arg(desktop.geometry(low).y())
                                .arg(rightEnd.x())
                                .arg(lowEnd.y())));
        const QPoint origin(rightRows.left(), lowColumns.top());
        // Places between the first and the last, more than two pixels from either: the first
        // frames show the panels where they stood until the app took the menu's choice.
        const auto between = [](const QList<int>& places, int first, int last) {
            return int(std::count_if(places.cbegin(), places.cend(), [&](int place) {
                return std::abs(place - first) > 2 && std::abs(place - last) > 2;
            }));
        };
        const auto list = [](const QList<int>& places) {
            QStringList shown;
            for (const int place : places)
                shown << QString::number(place);
            return shown.join(u' ');
        };
        const int rightBetween =
            between(rightPlaces, rightStart.right() - origin.x(), rightEnd.right() - origin.x());
        const int lowBetween =
            between(lowPlaces, lowStart.bottom() - origin.y(), lowEnd.bottom() - origin.y());
        const QString report =
            QStringLiteral("%1 and %2 places between on %3 on the way in %4 grabs: right edges "
                           "%5; bottoms %6")
                .arg(rightBetween)
                .arg(lowBetween)
                .arg(desktop.windowManager())
                .arg(grabs)
                .arg(list(rightPlaces), list(lowPlaces));
        qInfo().noquote() << report;
        QVERIFY2(rightBetween >= 5 && lowBetween >= 5, qPrintable(report));
    }

    // Between giving the panel's frame its new geometry and giving the panel its new size, the
    // window manager's own background fills its frame beside the panel for a moment. A compositor
    // that paints then still shows the stage alone: the desktop beside its rounded corners.
    void theWindowManagersFrameNeverShowsBesideTheStage_data() {
        // Set by the desktop (Xft.dpi).
        QTest::addColumn<double>("appScale");
        QTest::newRow("100 %") << 1.0;
        QTest::newRow("125 % (Xft.dpi)") << 1.25;
    }

    void theWindowManagersFrameNeverShowsBesideTheStage() {
        QFETCH(double, appScale);
        useScale(appScale);
        DesktopSession::Options options;
        options.compositor = true;
        DesktopSession desktop(options);
        Scene scene;
        setUpScene(desktop, true, scene, scale != 1 ? qRound(96 * scale) : 0);
        if (QTest::currentTestFailed())
            return;
        // The window manager, paused, keeps the panel's new frame in its queue; the session
        // plays it giving the frame its new geometry first while the stage runs.
        const QRect area = scene.area;
        const auto stageShows = [&] { return stageShowsIn(desktop, area); };
        std::optional<QImage> between;
        for (int tries = 0; !between && tries < 3; ++tries) {
            QVERIFY(desktop.pauseWindowManager());
            desktop.keyWithoutWaiting(QStringLiteral("e"));
            // The panel asks for its new frame as the stage shows the last.
            QVERIFY(DesktopSession::waitUntil([&] {
                return drawnArea(desktop.grabScreen(area)) ==
                       scene.expanded.translated(-area.topLeft());
            }));
            QVERIFY(desktop.growFrameAhead(scene.panel, scene.expanded));
            QVERIFY(desktop.compositorHasCaughtUp());
            const QImage shown = desktop.grabScreen(area);
            // Only what the screen showed while the stage stood: a panel that waited too long
            // for its frame shows itself without one.
            if (stageShows())
                between = shown;
            desktop.resumeWindowManager();
            QVERIFY(DesktopSession::waitUntil(
                [&] { return desktop.geometry(scene.panel) == scene.expanded && !stageShows(); }));
            QVERIFY(desktop.compositorHasCaughtUp());
            QCOMPARE(judge(desktop.grabScreen(area), scene.border, scene.collapsed.size(), true),
                     QString());
            if (!between) {
                desktop.key(QStringLiteral("e"));
                QVERIFY(DesktopSession::waitUntil([&] {
                    return desktop.geometry(scene.panel) == scene.collapsed && !stageShows();
                }));
            }
        }
        QVERIFY(between);
        keep(*between, QStringLiteral("frame-ahead"));
        QCOMPARE(judge(*between, scene.border, scene.collapsed.size(), true), QString());
    }

    // Without a compositor the window manager gives its frame the panel's shape only once it gets
    // to it: as the panel leaves the screen for its stage, the frame must not show its own
    // background in the panel's old shape beside the stage's smaller frames.
    void theWindowManagersFrameNeverShowsWhileItLags_data() {
        // Set by the desktop (Xft.dpi).
        QTest::addColumn<double>("appScale");
        QTest::newRow("100 %") << 1.0;
        QTest::newRow("125 % (Xft.dpi)") << 1.25;
    }

    void theWindowManagersFrameNeverShowsWhileItLags() {
        QFETCH(double, appScale);
        useScale(appScale);
        DesktopSession desktop{DesktopSession::Options()};
        Scene scene;
        setUpScene(desktop, false, scene, scale != 1 ? qRound(96 * scale) : 0);
        if (QTest::currentTestFailed())
            return;
        const QRect area = scene.area;
        desktop.key(QStringLiteral("e"));
        QVERIFY(DesktopSession::waitUntil([&] {
            return desktop.geometry(scene.panel) == scene.expanded && !stageShowsIn(desktop, area);
        }));
        // The window manager, paused, gets to the panel's new shape only when it runs again.
        QVERIFY(desktop.pauseWindowManager());
        desktop.keyWithoutWaiting(QStringLiteral("e"));
        // Collapsing, the stage's frames shrink towards the bottom-left corner: the first that
        // left the top of the expanded panel.
        const QPoint top =
            QPoint(scene.expanded.center().x(), scene.expanded.top() + 1) - area.topLeft();
        QImage shown;
        QVERIFY(DesktopSession::waitUntil([&] {
            shown = desktop.grabScreen(area);
            return !shown.isNull() && !isBorder(shown.pixel(top), scene.border) &&
                   stageShowsIn(desktop, area);
        }));
        keep(shown, QStringLiteral("frame-lags"));
        QCOMPARE(judge(shown, scene.border, scene.collapsed.size(), true), QString());
        desktop.resumeWindowManager();
        QVERIFY(DesktopSession::waitUntil([&] {
            return desktop.geometry(scene.panel) == scene.collapsed && !stageShowsIn(desktop, area);
        }));
        QCOMPARE(judge(desktop.grabScreen(area), scene.border, scene.collapsed.size(), true),
                 QString());
    }

    // The window manager moves the panel to its new frame some time after the app asks, and some
    // (marco and metacity, which give a panel no frame of their own) in more than one step. Without
    // a compositor a shape reaches the screen at once: at the end of a shrink, nothing of the panel
    // shows at its old place meanwhile, cut to the new size, beside the stage's last frame.
    void nothingShowsAtTheOldPlaceWhileTheWindowManagerLags_data() {
        QTest::addColumn<QString>("windowManager");
        // Set by the desktop (Xft.dpi).
        QTest::addColumn<double>("appScale");
        for (const char* windowManager :
             {"openbox", "xfwm4", "marco", "metacity", "icewm", "fluxbox"})
            QTest::newRow(windowManager) << QString::fromLatin1(windowManager) << 1.0;
        QTest::newRow("openbox, 125 % (Xft.dpi)") << QStringLiteral("openbox") << 1.25;
    }

    void nothingShowsAtTheOldPlaceWhileTheWindowManagerLags() {
        QFETCH(QString, windowManager);
        QFETCH(double, appScale);
        useScale(appScale);
        DesktopSession::Options options;
        options.windowManager = windowManager;
        options.windowManagerCompositor = false;
        DesktopSession desktop(options);
        Scene scene;
        setUpScene(desktop, false, scene, scale != 1 ? qRound(96 * scale) : 0);
        if (QTest::currentTestFailed())
            return;
        const QRect area = scene.area;
        const auto stageShows = [&] { return stageShowsIn(desktop, area); };
        desktop.key(QStringLiteral("e"));
        QVERIFY(DesktopSession::waitUntil(
            [&] { return desktop.geometry(scene.panel) == scene.expanded && !stageShows(); }));
        // The border along the collapsed panel's top shows once the stage shows the last frame:
        // the app asks for the panel's new frame in the same instant.
        const QPoint top =
            QPoint(scene.collapsed.center().x(), scene.collapsed.top() + 1) - area.topLeft();
        std::optional<QImage> lagging;
        for (int tries = 0; !lagging && tries < 3; ++tries) {
            QVERIFY(desktop.pauseWindowManager());
            desktop.keyWithoutWaiting(QStringLiteral("e"));
            QImage shown;
            QVERIFY(DesktopSession::waitUntil([&] {
                shown = desktop.grabScreen(area);
                return !shown.isNull() && isBorder(shown.pixel(top), scene.border);
            }));
            // Only what the screen showed while the stage stood: a panel that waited too long for
            // its frame shows itself without one.
            if (stageShows())
                lagging = shown;
            desktop.resumeWindowManager();
            QVERIFY(DesktopSession::waitUntil(
                [&] { return desktop.geometry(scene.panel) == scene.collapsed && !stageShows(); }));
            QVERIFY(desktop.appHasCaughtUp(scene.panel));
            QCOMPARE(judge(desktop.grabScreen(area), scene.border, scene.collapsed.size(), true),
                     QString());
            if (!lagging) {
                desktop.key(QStringLiteral("e"));
                QVERIFY(DesktopSession::waitUntil([&] {
                    return desktop.geometry(scene.panel) == scene.expanded && !stageShows();
                }));
            }
        }
        QVERIFY(lagging);
        keep(*lagging, QStringLiteral("lagging-") + windowManager);
        QCOMPARE(judge(*lagging, scene.border, scene.collapsed.size(), true), QString());
    }

    // At every scale a desktop may have, the transition ends as it does at 100 %: the stage goes
    // as soon as the panel stands at its new frame.
    void theStageGoesAtOnceAtEveryScale_data() {
        QTest::addColumn<double>("appScale");
        QTest::newRow("150 %") << 1.5;
        QTest::newRow("200 %") << 2.0;
    }

    void theStageGoesAtOnceAtEveryScale() {
        QFETCH(double, appScale);
        useScale(appScale);
        DesktopSession::Options options;
        options.appEnvironment << QStringLiteral("QT_SCALE_FACTOR=%1").arg(scale);
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        // A place that falls between two of the server's pixels.
        desktop.seed({{QStringLiteral("Scaled"), QPointF(41, 43)}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId panel = desktop.windowTitled(QStringLiteral("Scaled"));
        QVERIFY(panel);
        const QRect collapsed = desktop.geometry(panel);
        QCOMPARE(collapsed.size(), scaled(QSize(220, 200)));
        // The expanded panel as large as it is, or as the screen, whichever is smaller.
        const QSize expanded = scaled(QSize(600, 500)).boundedTo(options.screen);
        desktop.clickGrabPoint(panel);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }));

        Transitions transitions(desktop, panel, QRect(QPoint(0, 0), options.screen),
                                QStringLiteral("scaled"), collapsed.size(), scaled(QSize(80, 80)));
        transitions.setJudged(false);
        // A round in which a change gave up waiting for the window manager (a busy machine may
        // hold it past the app's patience) is run again, up to three times.
        for (int round = 0; round < 3; ++round) {
            const int gaveUp = transitions.gaveUpSoFar();
            transitions.run(QStringLiteral("e"), expanded, QStringLiteral("expand%1").arg(round));
            transitions.run(QStringLiteral("e"), collapsed.size(),
                            QStringLiteral("collapse%1").arg(round));
            transitions.run(QStringLiteral("m"), scaled(QSize(80, 80)),
                            QStringLiteral("mini%1").arg(round));
            transitions.run(QStringLiteral("m"), collapsed.size(),
                            QStringLiteral("unmini%1").arg(round));
            if (transitions.gaveUpSoFar() == gaveUp)
                break;
        }
        // Each change showed the panel again because the server had it at its new frame: a
        // give-up is among the failures unless the window manager was behind that time, and not
        // twice for a kind.
        QVERIFY2(transitions.failures().isEmpty(),
                 qPrintable(transitions.failures().join(QStringLiteral("; "))));
        QCOMPARE(desktop.geometry(panel), collapsed);
    }

    // Hiding the app while a panel is under way ends the transition: what shows again later is
    // the panel at its new frame, and nothing of the stage.
    void hidingTheAppUnderWayLeavesNoStage() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Hidden"), QPointF(300, 150)}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId panel = desktop.windowTitled(QStringLiteral("Hidden"));
        QVERIFY(panel);
        desktop.clickGrabPoint(panel);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }));
        QVERIFY(desktop.appHasCaughtUp(panel));
        const QRect screen(QPoint(0, 0), DesktopSession::Options().screen);
        const auto stageShows = [&] { return stageShowsIn(desktop, screen); };
        QVERIFY(!stageShows());

        desktop.keyWithoutWaiting(QStringLiteral("e"));
        // Closely watched, so the app is hidden while its stage shows.
        QElapsedTimer guard;
        guard.start();
        while (!stageShows() && guard.elapsed() < 20000)
            QThread::msleep(1);
        // The app, held still while its stage shows, reads Ctrl+H with the change under way: the
        // change ends only on frames and answers of the server still to come, however late the
        // app reads the key.
        QVERIFY(desktop.pauseApp());
        QVERIFY2(stageShows(), "the stage never showed, or was gone before the key");
        QVERIFY(desktop.key(QStringLiteral("ctrl+h")));
        QVERIFY(stageShows());
        desktop.resumeApp();
        QVERIFY(DesktopSession::waitUntil([&] { return !desktop.isViewable(panel); }));
        QVERIFY(DesktopSession::waitUntil([&] { return !stageShows(); }));

        // A second start shows the app again.
        QCOMPARE(desktop.launchAgain(), 0);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.isViewable(panel); }));
        QVERIFY(DesktopSession::waitUntil(
            [&] { return desktop.geometry(panel).size() == QSize(600, 500); }));
        QVERIFY(desktop.appHasCaughtUp(panel));
        QStringList shown;
        for (const WindowId window : unmanagedIn(desktop, screen))
            shown.append(DesktopSession::described(desktop.geometry(window)) + QLatin1Char(' ') +
                         desktop.types(window).join(QLatin1Char(',')));
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(QStringLiteral("; "))));
    }

    // A press while the panel is under way ends the change at once: the panel stands at its new
    // frame, the stage is gone, and the press goes to what lies under the pointer there -- a
    // right click opens the panel's menu.
    void aPressUnderWayEndsTheChangeAndReachesThePanel() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Pressed"), QPointF(300, 150)}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId panel = desktop.windowTitled(QStringLiteral("Pressed"));
        QVERIFY(panel);
        const QRect collapsed = desktop.geometry(panel);
        desktop.clickGrabPoint(panel);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }));
        QVERIFY(desktop.appHasCaughtUp(panel));
        const QRect screen(QPoint(0, 0), DesktopSession::Options().screen);
        const QRect expanded(collapsed.left(), collapsed.bottom() + 1 - 500, 600, 500);
        // Inside the tile, and inside the expanded panel too: the bottom-left corner stays.
        const QPoint inside(collapsed.center());

        desktop.keyWithoutWaiting(QStringLiteral("e"));
        // Closely watched, so the press comes while the stage shows the panel on its way.
        QElapsedTimer guard;
        guard.start();
        QList<WindowId> stage;
        while (stage.isEmpty() && guard.elapsed() < 20000) {
            stage = unmanagedIn(desktop, screen);
            QThread::msleep(1);
        }
        QVERIFY2(!stage.isEmpty(), "the stage never showed");
        // The app, held still, reads the press only after it reached the server: the server gives
        // it to the stage, which shows over the point pressed, as the change is under way.
        QVERIFY(desktop.pauseApp());
        QVERIFY2(std::any_of(stage.cbegin(), stage.cend(),
                             [&](WindowId window) {
                                 return desktop.isViewable(window) &&
                                        desktop.geometry(window).contains(inside);
                             }),
                 "the stage was gone from the point pressed before the press");
        QVERIFY(desktop.click(inside, 3));
        desktop.resumeApp();
        QVERIFY2(DesktopSession::waitUntil([&] { return !menusSince(desktop, stage).isEmpty(); }),
                 "no menu opened at the right click");
        const QRect menu = desktop.geometry(menusSince(desktop, stage).constFirst());
        QVERIFY2(openedAt(menu, inside), qPrintable(DesktopSession::described(menu)));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.geometry(panel) == expanded; }));
        QVERIFY2(std::none_of(stage.cbegin(), stage.cend(),
                              [&](WindowId window) {
                                  return desktop.isViewable(window) &&
                                         desktop.geometry(window).intersects(screen);
                              }),
                 "the stage stayed with the menu open");
        desktop.key(QStringLiteral("Escape"));
        QVERIFY(DesktopSession::waitUntil([&] { return menusSince(desktop, stage).isEmpty(); }));
    }

    // A click beside a panel under way, where the panel does not show, is the window's the user
    // sees there: another panel takes it and the keyboard, and the change goes on to its end.
    void aClickBesideAPanelUnderWayReachesTheWindowThere_data() {
        QTest::addColumn<bool>("compositor");
        // A window manager that gives the keyboard to the window clicked before it lets the press
        // go on to it, busy elsewhere: by the time it does, the stage stands where the user
        // clicked, and the server hands the press to the stage.
        QTest::addColumn<bool>("lateWindowManager");
        QTest::newRow("no compositor") << false << false;
        QTest::newRow("compositor") << true << false;
        QTest::newRow("compositor, late window manager") << true << true;
    }

    void aClickBesideAPanelUnderWayReachesTheWindowThere() {
        QFETCH(bool, compositor);
        QFETCH(bool, lateWindowManager);
        DesktopSession::Options options;
        options.compositor = compositor;
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        // The other tile stands where the panel's expanded frame will reach, clear of its tile.
        desktop.seed({{QStringLiteral("Growing"), QPointF(300, 150)},
                      {QStringLiteral("Beside"), QPointF(650, 400)}});
        QVERIFY2(desktop.launch(3), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId panel = desktop.windowTitled(QStringLiteral("Growing"));
        const WindowId beside = desktop.windowTitled(QStringLiteral("Beside"));
        QVERIFY(panel && beside);
        const QRect collapsed = desktop.geometry(panel);
        const QRect expanded(collapsed.left(), collapsed.bottom() + 1 - 500, 600, 500);
        const QPoint there = DesktopSession::grabPoint(desktop.geometry(beside));
        QVERIFY(expanded.contains(there) && !collapsed.contains(there));
        // The panel takes the keyboard with a click. A window manager busy with the panels it is
        // still placing may let the first one go by: a click again only then.
        bool active = false;
        for (int tries = 0; !active && tries < 3; ++tries) {
            QVERIFY(desktop.clickGrabPoint(panel));
            active = DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; });
        }
        QVERIFY2(active, "the panel never took the keyboard");
        QVERIFY(desktop.appHasCaughtUp(panel));
        if (compositor)
            QVERIFY(desktop.compositorHasCaughtUp());
        const QRect screen(QPoint(0, 0), options.screen);
        const QRect spot(there - QPoint(2, 2), QSize(5, 5));
        const QImage before = desktop.grabScreen(spot);
        QVERIFY(!before.isNull());

        desktop.keyWithoutWaiting(QStringLiteral("e"));
        QElapsedTimer guard;
        guard.start();
        while (!stageShowsIn(desktop, screen) && guard.elapsed() < 20000)
            QThread::msleep(1);
        // The app, held still, reads the click only once it reached the server: the change is
        // under way, and what shows at the point clicked is still the other tile.
        QVERIFY(desktop.pauseApp());
        QVERIFY2(stageShowsIn(desktop, screen), "the stage never showed");
        if (compositor)
            QVERIFY(desktop.compositorHasCaughtUp());
        QVERIFY2(desktop.grabScreen(spot) == before,
                 "the panel on its way already showed over the other tile");
        if (lateWindowManager)
            QVERIFY(desktop.pauseWindowManager());
        QVERIFY(desktop.click(there));
        desktop.resumeApp();
        if (lateWindowManager) {
            const WindowId besideFrame = desktop.frameOf(beside);
            const bool stageThere = DesktopSession::waitUntil([&] {
                const WindowId top = desktop.topLevelAt(there);
                return top && top != besideFrame && top != beside;
            });
            desktop.resumeWindowManager();
            QVERIFY2(stageThere, "the stage never came where the user clicked");
        }

        QVERIFY2(DesktopSession::waitUntil([&] {
                     return desktop.geometry(panel) == expanded && !stageShowsIn(desktop, screen);
                 }),
                 qPrintable(DesktopSession::described(desktop.geometry(panel))));
        QVERIFY(desktop.settle());
        QVERIFY2(desktop.activeWindow() == beside,
                 qPrintable(QStringLiteral("the keyboard is with \"%1\"")
                                .arg(desktop.title(desktop.activeWindow()))));
    }

    // A drag begun with a press that ends a change takes the panel along from its first move:
    // pressed, moved and let go before the app has even read the press, the panel ends where the
    // pointer took it.
    void aDragBegunUnderWayTakesThePanelFromItsFirstMove() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Dragged"), QPointF(300, 200), true}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        hideDashboard(desktop);
        const WindowId panel = desktop.windowTitled(QStringLiteral("Dragged"));
        QVERIFY(panel);
        const QRect expanded = desktop.geometry(panel);
        QCOMPARE(expanded.size(), QSize(600, 500));
        desktop.clickGrabPoint(panel);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == panel; }));
        QVERIFY(desktop.appHasCaughtUp(panel));
        const QRect screen(QPoint(0, 0), DesktopSession::Options().screen);
        QVERIFY(!stageShowsIn(desktop, screen));
        // The tile keeps the expanded panel's bottom-left corner: its top strip lies inside every
        // frame of the way, and is where the tile is dragged by.
        const QRect collapsed(expanded.left(), expanded.bottom() + 1 - 200, 220, 200);
        const QPoint grab = DesktopSession::grabPoint(collapsed);
        const QPoint by(150, 90);
        QVERIFY(desktop.moveTo(grab));

        desktop.keyWithoutWaiting(QStringLiteral("c"));
        // Closely watched, so the press comes while the stage shows the panel on its way.
        QElapsedTimer guard;
        guard.start();
        while (!stageShowsIn(desktop, screen) && guard.elapsed() < 20000)
            QThread::msleep(1);
        QVERIFY2(stageShowsIn(desktop, screen), "the stage never showed");
        // The app, held still, reads the press only once the moves and the release have reached
        // the server behind it, as a busy machine has it.
        QVERIFY(desktop.pauseApp());
        QVERIFY(desktop.press(grab));
        for (int step = 1; step <= 3; ++step)
            QVERIFY(desktop.moveTo(grab + by * step / 3));
        QVERIFY(desktop.release());
        desktop.resumeApp();

        const QRect dropped = collapsed.translated(by);
        const bool followed = DesktopSession::waitUntil(
            [&] { return desktop.geometry(panel) == dropped && !stageShowsIn(desktop, screen); });
        QVERIFY2(followed, qPrintable(QStringLiteral("the panel stands at %1, not at %2")
                                          .arg(DesktopSession::described(desktop.geometry(panel)),
                                               DesktopSession::described(dropped))));
        // The drag ended with the release: a move without the button leaves the panel there.
        QVERIFY(desktop.moveTo(grab + by + QPoint(40, 40)));
        QVERIFY(desktop.appHasCaughtUp(panel));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QCOMPARE(desktop.geometry(panel), dropped);
    }

    // Right after the change, before the panel shows itself again -- for as long as the window
    // manager takes to give it its new frame -- a click on it reaches the control under the
    // pointer: the tile's close button closes it.
    void aClickOnAPanelJustChangedReachesItsContent() {
        useScale(1);
        DesktopSession desktop;
        Scene scene;
        setUpScene(desktop, false, scene);
        if (QTest::currentTestFailed())
            return;
        const QRect area = scene.area;
        desktop.key(QStringLiteral("e"));
        QVERIFY(DesktopSession::waitUntil([&] {
            return desktop.geometry(scene.panel) == scene.expanded && !stageShowsIn(desktop, area);
        }));
        // The window manager, paused, gives the panel its new frame only when it runs again.
        QVERIFY(desktop.pauseWindowManager());
        desktop.keyWithoutWaiting(QStringLiteral("e"));
        // The change has ended: the tile shows where it now stands.
        QVERIFY2(DesktopSession::waitUntil([&] {
                     return drawnArea(desktop.grabScreen(area)) ==
                            scene.collapsed.translated(-area.topLeft());
                 }),
                 "the tile never showed at its new frame");
        // The tile's close button: 24 points, 16 in from the right and 12 down from the top.
        const QPoint closeButton = scene.collapsed.topLeft() + QPoint(220 - 16 - 12, 12 + 12);
        desktop.click(closeButton);
        const bool closed =
            DesktopSession::waitUntil([&] { return !desktop.isViewable(scene.panel); });
        desktop.resumeWindowManager();
        QVERIFY2(closed,
                 qPrintable(QStringLiteral("the click on the close button closed nothing: ") +
                            desktop.appOutput().right(600)));
        QVERIFY(DesktopSession::waitUntil([&] { return !stageShowsIn(desktop, area); }));
    }
};

QTEST_GUILESS_MAIN(PanelTransitionTest)
#include "PanelTransitionTest.moc"
