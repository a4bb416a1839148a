#pragma once

#include <QColor>

class QPainter;
class QPainterPath;
class QPalette;
class QRectF;
class QWidget;

// The system's translucent materials. A window drawn on a material lets what lies behind it show
// only as far as the compositor can soften it: where the compositor blurs behind the window the
// material stays light; where it only blends, the material is nearly opaque so that text behind
// cannot be read; without a compositor the window is opaque.
namespace Theme {
enum class Material {
    ultraThin,
    // The backdrop of a floating panel: the kippet windows, the editor panels, the tour.
    underWindowBackground,
};

// What the window system does with the translucent parts of a window.
enum class Backdrop {
    // No compositor: translucent pixels come out dark, so windows are drawn opaque.
    opaque,
    // A compositor blends the window over what lies behind, sharp.
    blended,
    // The compositor blurs what lies behind the parts that ask for it.
    blurred,
};

// Asked of the installed compositor check, on every call.
Backdrop backdrop();

// The opacity of a window drawn on the material.
double windowAlpha(Material material, Backdrop backdrop);
// A window's material: the palette's window colour lifted towards white, so that a panel stands
// apart from a window of the plain window colour behind it, at the material's opacity.
QColor windowFill(Material material, const QPalette& palette, Backdrop backdrop);
QColor windowFill(Material material, const QPalette& palette);

// Fills `shape` with the window material; a panel's backdrop also gets a hairline edge in the
// separator colour, inside the shape.
void fillWindowMaterial(QPainter& painter, const QPainterPath& shape, Material material,
                        const QPalette& palette, Backdrop backdrop);
// Fills `shape` (in the widget's coordinates) with the window material and, where the
// compositor blurs, asks for the blur behind that shape of the widget's window (one shape per
// window: the last one asked for).
void paintWindowMaterial(QPainter& painter, QWidget* widget, const QPainterPath& shape,
                         Material material);
// Asks for the blur behind `shape` only (nothing when empty), for a window that fills its
// material itself.
void blurBehind(QWidget* widget, const QPainterPath& shape);

// The ultra-thin material over a view's own backdrop (cards, rows, round buttons): a light
// veil that lifts it from the window.
QColor ultraThinFill(const QPalette& palette);
void paintUltraThinMaterial(QPainter& painter, const QRectF& rect, qreal radius,
                            const QPalette& palette);
// The ultra-thin material laid over a view's own text and pictures (a card being analysed):
// nothing inside a window is blurred, so it is as opaque as a blending compositor needs.
QColor ultraThinCover(const QPalette& palette);
} // namespace Theme
