#include "ui/TransitionStage.h"

#include "ui/CompositorCheck.h"
#include "ui/WindowShapeMask.h"
#include "ui/X11.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>
#include <utility>

bool TransitionStage::isAvailable() {
    return X11::connection() != nullptr;
}

std::optional<QRect> TransitionStage::shownGeometry(const QWidget* window) {
#ifdef KIPPETS_HAVE_XCB
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return std::nullopt;
    const auto size = X11::ask(xcb_get_geometry, xcb_get_geometry_reply, id);
    const auto place = X11::ask(xcb_translate_coordinates, xcb_translate_coordinates_reply, id,
                                X11::root(), int16_t(0), int16_t(0));
    if (!size || !place)
        return std::nullopt;
    // Qt's own conversion from the server's pixels: each value on its own, to the nearest
    // point. Rounded any other way, a geometry at a fractional scale never equals Qt's.
    const qreal factor = 1 / window->devicePixelRatioF();
    return QRect((QPointF(place->dst_x, place->dst_y) * factor).toPoint(),
                 (QSizeF(size->width, size->height) * factor).toSize());
#else
    Q_UNUSED(window);
    return std::nullopt;
#endif
}

std::optional<QSize> TransitionStage::frameMargin(const QWidget* window) {
#ifdef KIPPETS_HAVE_XCB
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return std::nullopt;
    const X11::WindowId frame = X11::frameOf(id);
    if (frame == X11::noWindow)
        return QSize(0, 0);
    const auto inner = X11::ask(xcb_get_geometry, xcb_get_geometry_reply, id);
    const auto outer = X11::ask(xcb_get_geometry, xcb_get_geometry_reply, frame);
    if (!inner || !outer)
        return std::nullopt;
    return QSize(outer->width - inner->width, outer->height - inner->height);
#else
    Q_UNUSED(window);
    return std::nullopt;
#endif
}

bool TransitionStage::frameShowsShapeOf(const QWidget* window) {
#ifdef KIPPETS_HAVE_XCB
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return true;
    const X11::WindowId frame = X11::frameOf(id);
    if (frame == X11::noWindow)
        return true;
    const std::optional<QRegion> framed =
        X11::FrameChanges::shapeOf(frame, X11::FrameChanges::ShapeKind::bounding);
    const auto size = X11::ask(xcb_get_geometry, xcb_get_geometry_reply, id);
    const auto place = X11::ask(xcb_translate_coordinates, xcb_translate_coordinates_reply, id,
                                frame, int16_t(0), int16_t(0));
    if (!framed || !size || !place)
        return true;
    // What shows of the window: its shape within its bounds, in the frame's coordinates.
    const QRect bounds(0, 0, size->width, size->height);
    const std::optional<QRegion> own =
        X11::FrameChanges::shapeOf(id, X11::FrameChanges::ShapeKind::bounding);
    const QRegion shown =
        (own ? *own & bounds : QRegion(bounds)).translated(place->dst_x, place->dst_y);
    return (shown - *framed).isEmpty();
#else
    Q_UNUSED(window);
    return true;
#endif
}

void TransitionStage::setExposedAreasTransparent(QWidget* window, bool transparent) {
    // Only a compositor shows a transparent pixel as such; without one the server's black would
    // be worse than what it leaves on the screen.
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow || (transparent && !CompositorCheck::shared().isCompositing()))
        return;
    // Pixel 0 is transparent only in pixels with an alpha channel; elsewhere it is black. Given
    // back, the background is none, as Qt makes its windows. The window manager's frame round
    // the window keeps its own: the server never tells a window's background, so one changed
    // could not be put back as it was, and a frame that grows ahead of the window is kept out of
    // sight as a whole meanwhile (see setFrameOutOfSight).
    if (!transparent)
        X11::setBackground(id, std::nullopt);
    else if (X11::depthOf(id) == 32)
        X11::setBackground(id, 0);
    else
        return;
    X11::flush();
}

void TransitionStage::setFrameOutOfSight(QWidget* window, X11::FrameChanges& changes,
                                         bool outOfSight, bool frameGrows) {
    const X11::WindowId id = X11::idOf(window);
    if (id == X11::noWindow)
        return;
    if (!outOfSight) {
        changes.undo();
        return;
    }
    if (!changes.isEmpty())
        return;
    const X11::WindowId around = X11::frameOf(id);
    if (around == X11::noWindow)
        return;
    if (changes.frame() != around)
        changes = X11::FrameChanges(around);
    if (!CompositorCheck::shared().isCompositing()) {
        // The window manager gives its frame the window's shape only once it gets to it; till
        // then the frame's background shows where the window was. Cut in the same instant, the
        // frame shows nothing either.
        changes.setShape(X11::FrameChanges::ShapeKind::bounding, QRegion());
        return;
    }
    // A frame with an alpha channel (made so for a window with one, whose pixels it must not
    // cover) shows nothing of its own where the window only shrinks inside it: left as it is,
    // since a compositor that fades windows fades a frame that was out of sight back in, and the
    // panel with it.
    if (!frameGrows && X11::depthOf(around) == 32)
        return;
    // The window manager draws its own background into its frame beside the window when the
    // frame grows before the window does; a compositor shows the frame by this property, the
    // same one it reads for any top-level window's opacity.
    changes.setOpacity(0);
}

TransitionStage::TransitionStage(qreal cornerRadius)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      cornerRadius_(cornerRadius) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
}

namespace {
// Where the stage stands by: beyond the screen's top-left corner, so that a window manager, a
// compositor or a test listing what shows finds nothing of it where anything is.
constexpr QPoint standingBy(-20000, -20000);
} // namespace

void TransitionStage::standBy() {
    if (isVisible())
        return;
    // Cut to nothing before it maps: nothing of it ever shows while it stands by.
    winId();
    setGeometry(QRect(standingBy, QSize(1, 1)));
    outOfTheWay();
    show();
}

void TransitionStage::outOfTheWay() {
    showing_ = false;
    pendingArea_.reset();
    // The picture stays as it was: a compositor that is still behind shows the stage where it
    // stood, with what its pixels hold by the time it paints; cleared, that would be nothing,
    // over a panel it has not yet seen come back. The next opening paints its own picture here,
    // beyond the screen, before it comes over the panel.
    // Qt's idea of the shape is none, so the next opening's shape is one it sends.
    if (!mask().isEmpty())
        clearMask();
    // Under a compositor the stage is never cut: some (marco's) take up a window's shape only as
    // it maps, and would go on showing the stage as it was cut then.
    WindowShapeMask::setDeviceShape(this, CompositorCheck::shared().isCompositing()
                                              ? std::nullopt
                                              : std::optional<QRegion>(QRegion()));
    // Its size kept: a window that grows gets, in what it adds, a copy of what lies beneath,
    // which a compositor may show before the window's next picture and shape.
    move(standingBy);
}

int TransitionStage::open(const QRect& area, const QPixmap& picture, const QRect& at) {
    standBy();
    picture_ = picture;
    showing_ = true;
    at_ = at.translated(-area.topLeft());
    // Every opening waits for a picture of its own.
    ++opening_;
    // The picture is painted where nothing shows, at the size the opening needs, and the stage
    // comes over the panel only then: whatever a compositor shows of it there is this picture.
    pendingArea_ = area;
    pendingSize_ = size().expandedTo(withRoomForPixels(area).size());
    if (pendingSize_ != size())
        setGeometry(QRect(standingBy, pendingSize_));
    update();
    return opening_;
}

void TransitionStage::comeOver(QPoint origin) {
    // Under a compositor the whole picture, where the panel beneath shows the same, painted in
    // the instant the stage comes over it: the compositor repaints the stage's new place with
    // the other stages as they stand then (see atOnce).
    if (CompositorCheck::shared().isCompositing()) {
        atOnce([&] {
            // Before it shows over the screen: from its first moment there, a click beside the
            // panel passes it by.
            takeInputWherePanelShows();
            move(origin);
            shapeTo(std::nullopt);
            raise();
        });
        return;
    }
    takeInputWherePanelShows();
    move(origin);
    // Without a compositor, until the picture is through, one pixel of it amid the panel's own:
    // the server tells a window it is on the screen only where some of it shows.
    shapeTo(QRegion(QRect(at_.center(), QSize(1, 1))));
    update();
    raise();
}

void TransitionStage::showFrame(const QPixmap& picture, const QRect& at,
                                const std::function<void()>& alongside) {
    picture_ = picture;
    atOnce([&] {
        // A change that went on towards a new frame may leave the area the stage opened over:
        // the stage grows with the frame, in the same instant.
        if (!geometry().contains(withRoomForPixels(at)))
            setGeometry(geometry().united(withRoomForPixels(at)));
        at_ = at.translated(-geometry().topLeft());
        // Shape first: what the app sends to the server is cut to the shape it has then.
        cut();
        takeInputWherePanelShows();
        repaint();
        if (alongside)
            alongside();
    });
}

void TransitionStage::close(const std::function<void()>& alongside, bool offTheScreen) {
    atOnce([&] {
        if (alongside)
            alongside();
        // Kept mapped, shown nothing: unmapped, a compositor would fade the last frame out over
        // the panel, and fade the next opening in. Only a press on the stage that ended the
        // change takes it off the screen: the pointer, and the release, then leave it at once.
        if (offTheScreen)
            hide();
        else
            outOfTheWay();
    });
    // A word of an opening that never reached the screen means nothing any more.
    shownOpening_ = opening_;
}

QRect TransitionStage::withRoomForPixels(const QRect& rect) const {
    // At a fractional scale the picture starts on the pixel its place rounds to and is as many
    // pixels high as its size rounds to: together up to a pixel and a half past where the place's
    // far edge falls, while the stage's own size, rounded on its own, may end before that edge.
    // Cut off there, a panel's last row -- its bottom or right border -- would not show.
    if (!WindowShapeMask::isFractional(this))
        return rect;
    return rect.adjusted(0, 0, 2, 2);
}

QPoint TransitionStage::pictureOrigin() const {
    // In the server's pixels: at a fractional scale a place in points may fall between two.
    const qreal scale = devicePixelRatioF();
    return (QPointF(at_.topLeft()) * scale).toPoint();
}

void TransitionStage::shapeTo(const std::optional<QRegion>& shape, const QPainterPath& outline) {
    // At a fractional scale Qt's scaling of a shape in points leaves pixels of it that the
    // picture does not paint (black without a compositor), or cuts off some it does: the shape
    // is cut in the server's pixels, exactly those the picture's plate covers.
    if (WindowShapeMask::isFractional(this)) {
        std::optional<QRegion> pixels;
        if (shape && outline.isEmpty())
            pixels = QRegion(
                QRect((QPointF(at_.center()) * devicePixelRatioF()).toPoint(), QSize(1, 1)));
        else if (shape)
            pixels = WindowShapeMask::devicePixels(outline, devicePixelRatioF())
                         .translated(pictureOrigin());
        // Qt paints only inside the shape it knows of: it knows of none.
        if (windowHandle() && !mask().isEmpty())
            clearMask();
        if (WindowShapeMask::setDeviceShape(this, pixels))
            return;
    }
    if (shape)
        setMask(*shape);
    else
        clearMask();
}

void TransitionStage::takeInputWherePanelShows() {
    // Under a compositor the stage is not cut, and its transparent pixels would still take the
    // pointer: a click on a window the user sees beside the panel on its way (another panel, the
    // dashboard) would end the change and be lost, and the keyboard would stay with the panel.
    // Without one the stage's shape leaves those pixels out already, apart from the one pixel its
    // first frame waits with.
    if (!windowHandle())
        return;
    QPainterPath outline;
    outline.addRoundedRect(QRectF(QPointF(), at_.size()), cornerRadius_, cornerRadius_);
    X11::setInputShape(
        X11::idOf(this),
        WindowShapeMask::devicePixels(outline, devicePixelRatioF()).translated(pictureOrigin()));
}

void TransitionStage::cut() {
    // Without a compositor a transparent pixel comes out black: the stage shows the panel's
    // shape alone. With one, the picture's own transparency does.
    if (CompositorCheck::shared().isCompositing()) {
        shapeTo(std::nullopt);
        return;
    }
    QPainterPath outline;
    // The picture's own pixels: its size in points, rounded to the server's as Qt draws it.
    outline.addRoundedRect(WindowShapeMask::pixelAligned(at_.size(), devicePixelRatioF()),
                           cornerRadius_, cornerRadius_);
    shapeTo(WindowShapeMask::rounded(at_, cornerRadius_), outline);
}

void TransitionStage::paintEvent(QPaintEvent* event) {
    paintedWhileHeld_ = paintedWhileHeld_ || X11::ServerHold::depth() > 0;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), Qt::transparent);
    // On the server's pixel the shape was cut at.
    painter.drawPixmap(QPointF(pictureOrigin()) / devicePixelRatioF(), picture_);
    if (pendingArea_ && size() == pendingSize_) {
        // Painted whole, beyond the screen: now it comes over the panel.
        QMetaObject::invokeMethod(
            this,
            [this, opening = opening_] {
                if (opening == opening_ && pendingArea_)
                    comeOver(std::exchange(pendingArea_, std::nullopt)->topLeft());
            },
            Qt::QueuedConnection);
        return;
    }
    if (!pendingArea_ && showing_ && shownOpening_ != opening_) {
        shownOpening_ = opening_;
        QMetaObject::invokeMethod(
            this, [this, opening = opening_] { emit ready(opening); }, Qt::QueuedConnection);
    }
}

void TransitionStage::mousePressEvent(QMouseEvent* event) {
    // The press is taken either way: passed on to the window beneath, a click on what looks like
    // the panel would act on another window. Beside the picture (where a compositor shows the
    // stage's transparent pixels) it just ends here for the moment the transition lasts.
    event->accept();
    if (at_.contains(event->position().toPoint()))
        emit pressed(*event);
}

void TransitionStage::mouseReleaseEvent(QMouseEvent* event) {
    // Whether a press of the change's went before is the change's to know.
    event->accept();
    emit released(*event);
}

void TransitionStage::atOnce(const std::function<void()>& steps) {
    const bool outermost = X11::ServerHold::depth() == 0;
    const X11::ServerHold hold;
    if (outermost) {
        for (TransitionStage* stage : stages())
            stage->paintedWhileHeld_ = false;
    }
    steps();
    // A compositor (xcompmgr) repaints the part of the screen a window says changed with what
    // every window holds by the time it gets to it. Several panels changing at once each show
    // their frames on a stage of their own, each in an instant of its own, and their stages
    // overlap: repainting one stage's place after another stage's next frame had come, it showed
    // that frame only where the two overlap -- a panel torn in two, or with a side open, until
    // the compositor got to the other stage. Every stage that shows a change says it changed
    // whole in this instant too, so whatever the compositor repaints after it takes in all of
    // each stage as it stands.
    if (!outermost || !CompositorCheck::shared().isCompositing())
        return;
    for (TransitionStage* stage : stages()) {
        if (stage->isShowing() && !stage->paintedWhileHeld_)
            stage->repaint();
    }
}

std::vector<TransitionStage*> TransitionStage::stages() {
    // The stages of all panels: what one shows reaches the screen together with what the others
    // show (atOnce). Each is a window of its own.
    std::vector<TransitionStage*> all;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (auto* stage = qobject_cast<TransitionStage*>(window))
            all.push_back(stage);
    }
    return all;
}
