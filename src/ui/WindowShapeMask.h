#pragma once

#include <QObject>
#include <QPointer>
#include <QRegion>
#include <functional>

class QPainterPath;
class QRect;
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

    // `opaqueShape`: what the window draws without a compositor. `compositedShape`: the mask
    // while a compositor runs (for a window that must not take clicks where it draws nothing);
    // none when not given.
    WindowShapeMask(QWidget* window, Shape opaqueShape, Shape compositedShape = {});

    // The pixels an aliased fill of the shape covers.
    static QRegion rounded(const QRect& rect, qreal radius);
    static QRegion ofPath(const QPainterPath& path);
    // A shape that shows nothing of the window: a pixel beside it (an empty region would mean no
    // shape at all).
    static QRegion nowhere();

    // Cuts the window again: after its shape changed without a change of size.
    void apply();
    bool isCut() const { return cut_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void compositingChanged();

    QPointer<QWidget> window_;
    Shape opaqueShape_;
    Shape compositedShape_;
    bool cut_ = false;
};
