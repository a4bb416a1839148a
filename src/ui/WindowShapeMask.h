#pragma once

#include <QObject>
#include <QPointer>
#include <QRegion>
#include <functional>
#include <optional>

class QPainterPath;
class QRect;
class QRectF;
class QSize;
class QWidget;

// Cuts a translucent window to its shape where no compositor runs: there its transparent pixels
// would come out black (wedges at rounded corners, a frame where a shadow should fade). Where a
// compositor runs the window keeps its composited mask (none unless given), and the cut follows
// the compositor starting and stopping. The shape is asked for again whenever the window
// changes size, and when its owner says the shape changed.
class WindowShapeMask : public QObject {
    Q_OBJECT
public:
    // The region in the window's coordinates.
    using Shape = std::function<QRegion()>;
    // The outline in the window's coordinates; an empty path shows nothing of the window.
    using Outline = std::function<QPainterPath()>;

    // `opaqueShape`: what the window draws without a compositor. `compositedShape`: the mask
    // while a compositor runs (for a window that must not take clicks where it draws nothing);
    // none when not given.
    WindowShapeMask(QWidget* window, Shape opaqueShape, Shape compositedShape = {});
    // Cut to an outline: at a fractional scale it is cut in the server's own pixels, exactly those
    // an aliased fill of the outline paints, so no pixel of the shape is left unpainted (black)
    // and none painted is cut off.
    WindowShapeMask(QWidget* window, Outline opaqueOutline, Shape compositedShape);

    // The pixels an aliased fill of the shape covers.
    static QRegion rounded(const QRect& rect, qreal radius);
    static QRegion ofPath(const QPainterPath& path);
    // A shape that shows nothing of the window: a pixel beside it (an empty region would mean no
    // shape at all).
    static QRegion nowhere();
    // Whether the window's scale puts points between the server's pixels.
    static bool isFractional(const QWidget* window);
    // The rectangle from (0, 0) that a window or picture of `size` points covers at `scale`: Qt
    // gives it `size * scale` pixels, rounded, so at a fractional scale its far edges lie on
    // pixel edges only when moved there. An outline drawn to `size` itself ends partway through
    // the last column and row, where a sliver of border lies over a sliver of plate: a pale line
    // beyond the border on the right and bottom.
    static QRectF pixelAligned(QSize size, qreal scale);
    // The server's pixels an aliased fill of `path` (in points) covers at `scale`.
    static QRegion devicePixels(const QPainterPath& path, qreal scale);
    // Cuts the window to `pixels` in the server's pixels, or gives it no shape at all; false
    // where the server has no such shapes (not X11), and nothing changed.
    static bool setDeviceShape(QWidget* window, const std::optional<QRegion>& pixels);

    // Cuts the window again: after its shape changed without a change of size.
    void apply();
    bool isCut() const { return cut_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowShapeMask(QWidget* window, Shape opaqueShape, Outline opaqueOutline,
                    Shape compositedShape);
    void compositingChanged();

    QPointer<QWidget> window_;
    Shape opaqueShape_;
    Outline opaqueOutline_;
    Shape compositedShape_;
    bool cut_ = false;
    // Cut in the server's pixels, past Qt, which knows nothing of it.
    bool deviceShaped_ = false;
};
