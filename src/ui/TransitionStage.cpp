#include "ui/TransitionStage.h"

#include "ui/CompositorCheck.h"
#include "ui/WindowShapeMask.h"
#include "ui/X11Connection.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>
#include <utility>

#ifdef KIPPETS_HAVE_XCB
#include <cstdlib>
#include <memory>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#endif

namespace {
#ifdef KIPPETS_HAVE_XCB
template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
    return {reply, &std::free};
}

// Whether the window's pixels carry an alpha channel: only there is pixel 0 transparent.
bool hasAlpha(xcb_connection_t* connection, xcb_window_t window) {
    const auto geometry =
        owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    return geometry && geometry->depth == 32;
}

// The window manager's frame whose background a panel made transparent, by panel.
const char* const clearedFrameProperty = "_kippets_cleared_frame";
// The window manager's frame a panel keeps out of a compositor's picture, by panel.
const char* const hiddenFrameProperty = "_kippets_hidden_frame";
// The window manager's frame a panel cut to nothing, by panel.
const char* const cutFrameProperty = "_kippets_cut_frame";

// The window the window manager put the window in, or none where it stands on the root itself.
xcb_window_t frameOf(xcb_connection_t* connection, xcb_window_t window) {
    const auto tree =
        owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    return tree && tree->parent != tree->root ? tree->parent : XCB_WINDOW_NONE;
}

// Gives a frame kept out of sight for `window` back to the screen.
void showFrameAgain(xcb_connection_t* connection, QWidget* window, xcb_window_t id) {
    // A frame the window manager has since taken down answers with an error that says nothing
    // new: it is dropped unread.
    const QVariant hidden = window->property(hiddenFrameProperty);
    if (hidden.isValid()) {
        window->setProperty(hiddenFrameProperty, {});
        xcb_discard_reply(connection,
                          xcb_delete_property_checked(connection, hidden.value<uint32_t>(),
                                                      x11Atom("_NET_WM_WINDOW_OPACITY"))
                              .sequence);
    }
    const QVariant cut = window->property(cutFrameProperty);
    if (!cut.isValid())
        return;
    window->setProperty(cutFrameProperty, {});
    // The frame takes the window's shape where the window stands in it, as the window manager
    // gives it.
    const auto place =
        owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr));
    if (!place || frameOf(connection, id) != cut.value<uint32_t>())
        return;
    xcb_discard_reply(connection,
                      xcb_shape_combine_checked(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                                                XCB_SHAPE_SK_BOUNDING, cut.value<uint32_t>(),
                                                place->x, place->y, id)
                          .sequence);
}
#endif

// While one lives, the server serves this app alone; it is released when the outermost one
// goes, on every road out of the steps it covers.
class ServerHold {
public:
    ServerHold() {
#ifdef KIPPETS_HAVE_XCB
        connection_ = x11Connection();
        if (connection_ && depth_++ == 0)
            xcb_grab_server(connection_);
#endif
    }
    ~ServerHold() {
#ifdef KIPPETS_HAVE_XCB
        if (connection_ && --depth_ == 0) {
            xcb_ungrab_server(connection_);
            xcb_flush(connection_);
        }
#endif
    }
    ServerHold(const ServerHold&) = delete;
    ServerHold& operator=(const ServerHold&) = delete;

private:
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection_ = nullptr;
    static inline int depth_ = 0;
#endif
};
} // namespace

bool TransitionStage::isAvailable() {
#ifdef KIPPETS_HAVE_XCB
    return x11Connection() != nullptr;
#else
    return false;
#endif
}

std::optional<QRect> TransitionStage::shownGeometry(const QWidget* window) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window->windowHandle())
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto size =
        owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr));
    const auto place = owned(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, id, root, 0, 0), nullptr));
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

void TransitionStage::setExposedAreasTransparent(QWidget* window, bool transparent) {
#ifdef KIPPETS_HAVE_XCB
    // Only a compositor shows a transparent pixel as such; without one the server's black would
    // be worse than what it leaves on the screen.
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window->windowHandle() ||
        (transparent && !CompositorCheck::shared().isCompositing()))
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const uint32_t pixel = 0;
    const uint32_t none = XCB_BACK_PIXMAP_NONE;
    if (!transparent) {
        xcb_change_window_attributes(connection, id, XCB_CW_BACK_PIXMAP, &none);
        // The frame paints nothing of its own again: where the window covers it, nothing of it
        // shows anyway.
        const auto frame = window->property(clearedFrameProperty);
        if (frame.isValid()) {
            xcb_change_window_attributes(connection, frame.value<uint32_t>(), XCB_CW_BACK_PIXMAP,
                                         &none);
            window->setProperty(clearedFrameProperty, {});
        }
        return;
    }
    // Pixel 0 is transparent only in pixels with an alpha channel; elsewhere it is black.
    if (hasAlpha(connection, id))
        xcb_change_window_attributes(connection, id, XCB_CW_BACK_PIXEL, &pixel);
    // The window manager's frame grows a moment before the window inside it: its background
    // shows there meanwhile. The frame holds nothing else of its own, so its background may as
    // well be transparent while the window waits out of sight.
    const xcb_window_t frame = frameOf(connection, id);
    if (frame != XCB_WINDOW_NONE && hasAlpha(connection, frame)) {
        xcb_change_window_attributes(connection, frame, XCB_CW_BACK_PIXEL, &pixel);
        window->setProperty(clearedFrameProperty, QVariant::fromValue(uint32_t(frame)));
    }
#else
    Q_UNUSED(window);
    Q_UNUSED(transparent);
#endif
}

void TransitionStage::setFrameOutOfSight(QWidget* window, bool outOfSight) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window->windowHandle())
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (!outOfSight) {
        showFrameAgain(connection, window, id);
        return;
    }
    if (window->property(hiddenFrameProperty).isValid() ||
        window->property(cutFrameProperty).isValid())
        return;
    const xcb_window_t frame = frameOf(connection, id);
    if (frame == XCB_WINDOW_NONE)
        return;
    if (!CompositorCheck::shared().isCompositing()) {
        // The window manager gives its frame the window's shape only once it gets to it; till
        // then the frame's background shows where the window was. Cut in the same instant, the
        // frame shows nothing either.
        xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                             XCB_CLIP_ORDERING_UNSORTED, frame, 0, 0, 0, nullptr);
        window->setProperty(cutFrameProperty, QVariant::fromValue(uint32_t(frame)));
        return;
    }
    const xcb_atom_t opacity = x11Atom("_NET_WM_WINDOW_OPACITY");
    if (opacity == XCB_ATOM_NONE)
        return;
    // The window manager draws its own background into its frame beside the window when the
    // frame grows before the window does; a compositor shows the frame by this property, the
    // same one it reads for any top-level window's opacity.
    const uint32_t transparent = 0;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, frame, opacity, XCB_ATOM_CARDINAL, 32, 1,
                        &transparent);
    window->setProperty(hiddenFrameProperty, QVariant::fromValue(uint32_t(frame)));
#else
    Q_UNUSED(window);
    Q_UNUSED(outOfSight);
#endif
}

TransitionStage::TransitionStage(QWidget* owner, qreal cornerRadius)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                         Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      cornerRadius_(cornerRadius) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
}

int TransitionStage::open(const QRect& area, const QPixmap& picture, const QRect& at) {
    picture_ = picture;
    setGeometry(area);
    at_ = at.translated(-area.topLeft());
    // Until its first picture is through, the stage shows one pixel, amid the panel's own: the
    // server tells a window it is on the screen only where some of it shows. Every opening waits
    // for a picture of its own.
    ++opening_;
    shapeTo(QRegion(QRect(at_.center(), QSize(1, 1))));
    if (!isVisible())
        show();
    update();
    raise();
    return opening_;
}

void TransitionStage::showFrame(const QPixmap& picture, const QRect& at,
                                const std::function<void()>& alongside) {
    picture_ = picture;
    at_ = at.translated(-geometry().topLeft());
    atOnce([&] {
        // Shape first: what the app sends to the server is cut to the shape it has then.
        cut();
        repaint();
        if (alongside)
            alongside();
    });
}

void TransitionStage::close(const std::function<void()>& alongside) {
    atOnce([&] {
        if (alongside)
            alongside();
        hide();
    });
    picture_ = {};
    // A word of an opening that never reached the screen means nothing any more.
    shownOpening_ = opening_;
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

void TransitionStage::cut() {
    // Without a compositor a transparent pixel comes out black: the stage shows the panel's
    // shape alone. With one, the picture's own transparency does.
    if (CompositorCheck::shared().isCompositing()) {
        shapeTo(std::nullopt);
        return;
    }
    QPainterPath outline;
    outline.addRoundedRect(QRectF(QPointF(), at_.size()), cornerRadius_, cornerRadius_);
    shapeTo(WindowShapeMask::rounded(at_, cornerRadius_), outline);
}

void TransitionStage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), Qt::transparent);
    // On the server's pixel the shape was cut at.
    painter.drawPixmap(QPointF(pictureOrigin()) / devicePixelRatioF(), picture_);
    if (shownOpening_ != opening_) {
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
    pressTaken_ = at_.contains(event->position().toPoint());
    if (pressTaken_)
        emit pressed(*event);
}

void TransitionStage::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (std::exchange(pressTaken_, false))
        emit released(*event);
}

void TransitionStage::atOnce(const std::function<void()>& steps) {
    const ServerHold hold;
    steps();
}
