#include "ui/X11.h"

#include "platform/ClockTimer.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QWidget>
#include <algorithm>
#include <utility>

#ifdef KIPPETS_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/shape.h>
#endif

namespace X11 {
namespace {
#ifdef KIPPETS_HAVE_XCB
// Atoms by name, for the connection they were asked on.
struct AtomCache {
    QMutex mutex;
    xcb_connection_t* connection = nullptr;
    QHash<QByteArray, AtomId> atoms;
};

AtomCache& atomCache() {
    static AtomCache cache;
    return cache;
}

AtomId internAtom(const char* name, bool onlyIfExists) {
    xcb_connection_t* server = connection();
    if (!server)
        return noAtom;
    const QByteArray key(name);
    AtomCache& cache = atomCache();
    {
        const QMutexLocker lock(&cache.mutex);
        if (cache.connection != server) {
            cache.atoms.clear();
            cache.connection = server;
        }
        if (const auto found = cache.atoms.constFind(key); found != cache.atoms.cend())
            return *found;
    }
    const auto reply = ask(xcb_intern_atom, xcb_intern_atom_reply, uint8_t(onlyIfExists ? 1 : 0),
                           uint16_t(key.size()), key.constData());
    const AtomId found = reply ? reply->atom : noAtom;
    if (found != noAtom) {
        const QMutexLocker lock(&cache.mutex);
        if (cache.connection == server)
            cache.atoms.insert(key, found);
    }
    return found;
}

std::vector<xcb_rectangle_t> rectanglesOf(const QRegion& region) {
    std::vector<xcb_rectangle_t> rectangles;
    for (const QRect& rect : region)
        rectangles.push_back({int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                              uint16_t(rect.height())});
    return rectangles;
}
#endif

int& holdDepth() {
    static int depth = 0;
    return depth;
}
} // namespace

xcb_connection_t* connection() {
#ifdef KIPPETS_HAVE_XCB
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
#else
    return nullptr;
#endif
}

int screenNumber() {
    // The screen part of DISPLAY (":0.1" is screen 1): Qt opens the display's default screen.
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot < 0)
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok ? screen : 0;
}

WindowId root() {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server)
        return noWindow;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(server));
    for (int skip = screenNumber(); skip > 0 && screens.rem > 1; --skip)
        xcb_screen_next(&screens);
    return screens.data ? screens.data->root : noWindow;
#else
    return noWindow;
#endif
}

AtomId atom(const char* name) {
#ifdef KIPPETS_HAVE_XCB
    return internAtom(name, false);
#else
    Q_UNUSED(name);
    return noAtom;
#endif
}

AtomId existingAtom(const char* name) {
#ifdef KIPPETS_HAVE_XCB
    return internAtom(name, true);
#else
    Q_UNUSED(name);
    return noAtom;
#endif
}

WindowId idOf(const QWidget* window) {
    if (!window || !window->windowHandle() || !connection())
        return noWindow;
    return static_cast<WindowId>(window->winId());
}

WindowId frameOf(WindowId window) {
#ifdef KIPPETS_HAVE_XCB
    // Some window managers put the window in a frame of theirs straight away, others in a
    // wrapper inside the frame first: the frame is whichever ancestor stands on the root.
    WindowId child = window;
    for (int depth = 0; depth < 16; ++depth) {
        const auto tree = ask(xcb_query_tree, xcb_query_tree_reply, child);
        if (!tree)
            return noWindow;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            return child == window ? noWindow : child;
        child = tree->parent;
    }
    return noWindow;
#else
    Q_UNUSED(window);
    return noWindow;
#endif
}

WindowId activeWindow() {
#ifdef KIPPETS_HAVE_XCB
    const auto active = property32(root(), atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    return active && !active->empty() ? active->front() : noWindow;
#else
    return noWindow;
#endif
}

bool keyboardOnNoWindow() {
#ifdef KIPPETS_HAVE_XCB
    const auto focus = ask(xcb_get_input_focus, xcb_get_input_focus_reply);
    return focus && (focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
                     focus->focus == root());
#else
    return false;
#endif
}

QByteArray windowManagerName() {
#ifdef KIPPETS_HAVE_XCB
    const AtomId check = atom("_NET_SUPPORTING_WM_CHECK");
    const auto named = property32(root(), check, XCB_ATOM_WINDOW);
    if (!named || named->empty())
        return {};
    // A window left behind by a window manager that has gone names no one, or another window.
    const auto itself = property32(named->front(), check, XCB_ATOM_WINDOW);
    if (!itself || itself->empty() || itself->front() != named->front())
        return {};
    const auto reply = ask(xcb_get_property, xcb_get_property_reply, uint8_t(0), named->front(),
                           atom("_NET_WM_NAME"), atom("UTF8_STRING"), uint32_t(0), uint32_t(64));
    if (!reply || reply->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
#else
    return {};
#endif
}

WindowId propertyChangedOn(const void* event, AtomId property) {
#ifdef KIPPETS_HAVE_XCB
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    if (!generic || (generic->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
        return noWindow;
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(event);
    return notify->atom == property ? notify->window : noWindow;
#else
    Q_UNUSED(event);
    Q_UNUSED(property);
    return noWindow;
#endif
}

bool isPropertyChange(const void* event, WindowId window, AtomId property) {
#ifdef KIPPETS_HAVE_XCB
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    if (!generic || (generic->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(event);
    return notify->window == window && notify->atom == property;
#else
    Q_UNUSED(event);
    Q_UNUSED(window);
    Q_UNUSED(property);
    return false;
#endif
}

int depthOf(WindowId window) {
#ifdef KIPPETS_HAVE_XCB
    const auto geometry = ask(xcb_get_geometry, xcb_get_geometry_reply, window);
    return geometry ? geometry->depth : 0;
#else
    Q_UNUSED(window);
    return 0;
#endif
}

void setBackground(WindowId window, std::optional<std::uint32_t> pixel) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server || window == noWindow)
        return;
    if (pixel) {
        const uint32_t value = *pixel;
        ignoreErrors(
            xcb_change_window_attributes_checked(server, window, XCB_CW_BACK_PIXEL, &value));
    } else {
        const uint32_t none = XCB_BACK_PIXMAP_NONE;
        ignoreErrors(
            xcb_change_window_attributes_checked(server, window, XCB_CW_BACK_PIXMAP, &none));
    }
#else
    Q_UNUSED(window);
    Q_UNUSED(pixel);
#endif
}

WindowId createHiddenWindow() {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server)
        return noWindow;
    const WindowId window = xcb_generate_id(server);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(server, XCB_COPY_FROM_PARENT, window, root(), -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    return window;
#else
    return noWindow;
#endif
}

bool catchUp(std::chrono::milliseconds guard) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server)
        return true;
    // Sent to a window of the app's own, a client message comes back to the app alone.
    class Marker : public QAbstractNativeEventFilter {
    public:
        Marker(WindowId window, AtomId type, QEventLoop& loop)
            : window_(window), type_(type), loop_(loop) {}
        bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
            if (eventType != "xcb_generic_event_t")
                return false;
            const auto* event = static_cast<const xcb_generic_event_t*>(message);
            if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
                return false;
            const auto* client = static_cast<const xcb_client_message_event_t*>(message);
            if (client->window != window_ || client->type != type_)
                return false;
            seen = true;
            loop_.quit();
            return true;
        }
        bool seen = false;

    private:
        WindowId window_;
        AtomId type_;
        QEventLoop& loop_;
    };
    const WindowId window = createHiddenWindow();
    const AtomId type = atom("_KIPPETS_CAUGHT_UP");
    if (window == noWindow || type == noAtom)
        return false;
    QEventLoop loop;
    Marker marker(window, type, loop);
    QCoreApplication::instance()->installNativeEventFilter(&marker);
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    xcb_send_event(server, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(server);
    ClockTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &ClockTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(guard);
    if (!marker.seen)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QCoreApplication::instance()->removeNativeEventFilter(&marker);
    destroyWindow(window);
    return marker.seen;
#else
    Q_UNUSED(guard);
    return true;
#endif
}

void destroyWindow(WindowId window) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server || window == noWindow)
        return;
    ignoreErrors(xcb_destroy_window_checked(server, window));
    xcb_flush(server);
#else
    Q_UNUSED(window);
#endif
}

void flush() {
#ifdef KIPPETS_HAVE_XCB
    if (xcb_connection_t* server = connection())
        xcb_flush(server);
#endif
}

#ifdef KIPPETS_HAVE_XCB
void ignoreErrors(xcb_void_cookie_t cookie) {
    if (xcb_connection_t* server = connection())
        xcb_discard_reply(server, cookie.sequence);
}
#endif

AtomId cardinalType() {
#ifdef KIPPETS_HAVE_XCB
    return XCB_ATOM_CARDINAL;
#else
    return noAtom;
#endif
}

AtomId atomType() {
#ifdef KIPPETS_HAVE_XCB
    return XCB_ATOM_ATOM;
#else
    return noAtom;
#endif
}

AtomId windowType() {
#ifdef KIPPETS_HAVE_XCB
    return XCB_ATOM_WINDOW;
#else
    return noAtom;
#endif
}

std::optional<std::vector<std::uint32_t>> property32(WindowId window, AtomId property,
                                                     AtomId type) {
#ifdef KIPPETS_HAVE_XCB
    if (property == noAtom)
        return std::nullopt;
    const auto reply = ask(xcb_get_property, xcb_get_property_reply, uint8_t(0), window, property,
                           type, uint32_t(0), uint32_t(4096));
    if (!reply || reply->type != type || reply->format != 32)
        return std::nullopt;
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) /
                                                           int(sizeof(std::uint32_t)));
#else
    Q_UNUSED(window);
    Q_UNUSED(property);
    Q_UNUSED(type);
    return std::nullopt;
#endif
}

bool hasState(WindowId window, AtomId state) {
    const auto states = property32(window, atom("_NET_WM_STATE"), atomType());
    return states && std::find(states->begin(), states->end(), state) != states->end();
}

void setProperty32(WindowId window, AtomId property, AtomId type,
                   std::span<const std::uint32_t> values) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server || property == noAtom)
        return;
    ignoreErrors(xcb_change_property_checked(server, XCB_PROP_MODE_REPLACE, window, property, type,
                                             32, uint32_t(values.size()), values.data()));
#else
    Q_UNUSED(window);
    Q_UNUSED(property);
    Q_UNUSED(type);
    Q_UNUSED(values);
#endif
}

void deleteProperty(WindowId window, AtomId property) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server || property == noAtom)
        return;
    ignoreErrors(xcb_delete_property_checked(server, window, property));
#else
    Q_UNUSED(window);
    Q_UNUSED(property);
#endif
}

#ifdef KIPPETS_HAVE_XCB
namespace {
// A request for the window manager goes to the root, where it listens for the windows it manages.
template <typename Event> void toWindowManager(xcb_connection_t* server, const Event* event) {
    xcb_send_event(server, 0, root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(event));
    xcb_flush(server);
}
} // namespace
#endif

void askWindowManager(WindowId window, AtomId type, std::array<std::uint32_t, 5> data) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server || type == noAtom)
        return;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    for (std::size_t i = 0; i < data.size(); ++i)
        message.data.data32[i] = data[i];
    toWindowManager(server, &message);
#else
    Q_UNUSED(window);
    Q_UNUSED(type);
    Q_UNUSED(data);
#endif
}

void leaveWindowGroup(WindowId window) {
#ifdef KIPPETS_HAVE_XCB
    // WM_HINTS: flags, input, initial state, icon pixmap, icon window, icon x and y, icon mask,
    // window group.
    constexpr std::size_t groupField = 8;
    constexpr std::uint32_t groupFlag = 1u << 6;
    std::optional<std::vector<std::uint32_t>> hints =
        property32(window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS);
    if (!hints || hints->empty() || !(hints->front() & groupFlag))
        return;
    hints->resize(std::max(hints->size(), groupField + 1));
    hints->front() &= ~groupFlag;
    (*hints)[groupField] = noWindow;
    setProperty32(window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, *hints);
#else
    Q_UNUSED(window);
#endif
}

namespace {
// EWMH's source indication for requests from an ordinary application.
constexpr std::uint32_t fromApplication = 1;
} // namespace

void requestDesktop(WindowId window, std::uint32_t desktop) {
    askWindowManager(window, atom("_NET_WM_DESKTOP"), {desktop, fromApplication, 0, 0, 0});
}

void requestState(WindowId window, bool add, AtomId first, AtomId second) {
    // _NET_WM_STATE_REMOVE is 0, _NET_WM_STATE_ADD 1.
    askWindowManager(window, atom("_NET_WM_STATE"),
                     {add ? 1u : 0u, first, second, fromApplication, 0});
}

void requestActivation(WindowId window, std::uint32_t time) {
    askWindowManager(window, atom("_NET_ACTIVE_WINDOW"), {fromApplication, time, 0, 0, 0});
}

std::vector<WindowId> stackingOrder() {
    std::vector<WindowId> clients =
        property32(root(), atom("_NET_CLIENT_LIST_STACKING"), windowType())
            .value_or(std::vector<WindowId>{});
#ifdef KIPPETS_HAVE_XCB
    // EWMH lists the windows bottom to top, but some window managers (JWM) list each of their
    // layers top first: a dialog the app then sent "above the topmost panel" went right above the
    // lowest one, under the others. What shows is the server's order of the windows on the root:
    // each client goes where the window standing on the root for it (its frame, or itself where
    // it has none) stands there. The parents of all clients are asked at once, one level at a
    // time, so that a desktop of many panels costs a few round trips.
    xcb_connection_t* server = connection();
    if (!server || clients.size() < 2)
        return clients;
    std::vector<WindowId> onRoot(clients);
    std::vector<bool> settled(clients.size(), false);
    for (int depth = 0; depth < 16; ++depth) {
        std::vector<xcb_query_tree_cookie_t> asked;
        asked.reserve(clients.size());
        for (std::size_t i = 0; i < clients.size(); ++i)
            asked.push_back(settled[i] ? xcb_query_tree_cookie_t{}
                                       : xcb_query_tree(server, onRoot[i]));
        bool open = false;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            if (settled[i])
                continue;
            xcb_generic_error_t* error = nullptr;
            xcb_query_tree_reply_t* answer = xcb_query_tree_reply(server, asked[i], &error);
            const Reply<xcb_query_tree_reply_t> tree(answer, error);
            if (!tree || tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) {
                settled[i] = true;
                continue;
            }
            onRoot[i] = tree->parent;
            open = true;
        }
        if (!open)
            break;
    }
    const auto tree = ask(xcb_query_tree, xcb_query_tree_reply, root());
    if (!tree)
        return clients;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    QHash<WindowId, int> place;
    place.reserve(count);
    for (int i = 0; i < count; ++i)
        place.insert(children[i], i);
    std::vector<std::pair<int, WindowId>> ordered;
    ordered.reserve(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i)
        ordered.emplace_back(place.value(onRoot[i], -1), clients[i]);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < ordered.size(); ++i)
        clients[i] = ordered[i].second;
#endif
    return clients;
}

void requestRaiseAbove(WindowId window, WindowId sibling) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server || window == noWindow || sibling == noWindow)
        return;
    // As ICCCM asks of a client whose window the window manager may have framed: the request to
    // restack, sent to the root as the window manager would get it from the server. Sent as a
    // request of the window itself, the server would refuse a sibling that is not one any more.
    xcb_configure_request_event_t request{};
    request.response_type = XCB_CONFIGURE_REQUEST;
    request.stack_mode = XCB_STACK_MODE_ABOVE;
    request.parent = root();
    request.window = window;
    request.sibling = sibling;
    request.value_mask = XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE;
    toWindowManager(server, &request);
#else
    Q_UNUSED(window);
    Q_UNUSED(sibling);
#endif
}

ServerHold::ServerHold() {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (!server)
        return;
    held_ = true;
    if (holdDepth()++ == 0) {
        xcb_grab_server(server);
        xcb_flush(server);
    }
#endif
}

ServerHold::~ServerHold() {
#ifdef KIPPETS_HAVE_XCB
    if (!held_ || --holdDepth() != 0)
        return;
    // The connection may have gone while the steps ran (the app quitting): the server ends the
    // grab with it.
    if (xcb_connection_t* server = connection()) {
        xcb_ungrab_server(server);
        xcb_flush(server);
    }
#endif
}

int ServerHold::depth() {
    return holdDepth();
}

FrameChanges::FrameChanges(FrameChanges&& other) noexcept
    : frame_(std::exchange(other.frame_, noWindow)), opacity_(std::exchange(other.opacity_, {})),
      bounding_(std::exchange(other.bounding_, {})), input_(std::exchange(other.input_, {})) {}

FrameChanges& FrameChanges::operator=(FrameChanges&& other) noexcept {
    if (this != &other) {
        undo();
        frame_ = std::exchange(other.frame_, noWindow);
        opacity_ = std::exchange(other.opacity_, {});
        bounding_ = std::exchange(other.bounding_, {});
        input_ = std::exchange(other.input_, {});
    }
    return *this;
}

std::optional<std::uint32_t> FrameChanges::opacityOf(WindowId window) {
    const auto values = property32(window, atom("_NET_WM_WINDOW_OPACITY"), cardinalType());
    if (!values || values->empty())
        return std::nullopt;
    return values->front();
}

std::optional<QRegion> FrameChanges::shapeOf(WindowId window, ShapeKind kind) {
#ifdef KIPPETS_HAVE_XCB
    const auto extents = ask(xcb_shape_query_extents, xcb_shape_query_extents_reply, window);
    if (!extents)
        return std::nullopt;
    if (kind == ShapeKind::bounding && !extents->bounding_shaped)
        return std::nullopt;
    const auto rectangles = ask(xcb_shape_get_rectangles, xcb_shape_get_rectangles_reply, window,
                                xcb_shape_kind_t(kind));
    if (!rectangles)
        return std::nullopt;
    QRegion region;
    const xcb_rectangle_t* each = xcb_shape_get_rectangles_rectangles(rectangles.get());
    const int count = xcb_shape_get_rectangles_rectangles_length(rectangles.get());
    for (int i = 0; i < count; ++i)
        region += QRect(each[i].x, each[i].y, each[i].width, each[i].height);
    if (kind == ShapeKind::input) {
        // The server does not say whether a window's input is shaped: an input shape that is the
        // whole window is what an unshaped one reads as, and unshaped it follows the window's
        // size.
        const auto geometry = ask(xcb_get_geometry, xcb_get_geometry_reply, window);
        if (geometry && region == QRegion(-geometry->border_width, -geometry->border_width,
                                          geometry->width + 2 * geometry->border_width,
                                          geometry->height + 2 * geometry->border_width))
            return std::nullopt;
    }
    return region;
#else
    Q_UNUSED(window);
    Q_UNUSED(kind);
    return std::nullopt;
#endif
}

void FrameChanges::setOpacity(std::uint32_t opacity) {
    if (frame_ == noWindow || !connection())
        return;
    if (!opacity_)
        opacity_ = OpacityRecord{opacityOf(frame_), opacity};
    opacity_->set = opacity;
    const std::uint32_t value = opacity;
    setProperty32(frame_, atom("_NET_WM_WINDOW_OPACITY"), cardinalType(), {&value, 1});
}

namespace {
void setShapeOfKind(WindowId window, const std::optional<QRegion>& pixels, bool input) {
#ifdef KIPPETS_HAVE_XCB
    const xcb_shape_kind_t kind = input ? XCB_SHAPE_SK_INPUT : XCB_SHAPE_SK_BOUNDING;
    xcb_connection_t* server = connection();
    if (window == noWindow || !server)
        return;
    if (!pixels) {
        xcb_shape_mask(server, XCB_SHAPE_SO_SET, kind, window, 0, 0, XCB_PIXMAP_NONE);
        return;
    }
    const std::vector<xcb_rectangle_t> rectangles = rectanglesOf(*pixels);
    xcb_shape_rectangles(server, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                         uint32_t(rectangles.size()), rectangles.data());
#else
    Q_UNUSED(window);
    Q_UNUSED(pixels);
    Q_UNUSED(input);
#endif
}
} // namespace

void setShape(WindowId window, const std::optional<QRegion>& pixels) {
    setShapeOfKind(window, pixels, false);
}

void setInputShape(WindowId window, const std::optional<QRegion>& pixels) {
    setShapeOfKind(window, pixels, true);
}

void FrameChanges::setShape(ShapeKind kind, const QRegion& region) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    if (frame_ == noWindow || !server)
        return;
    std::optional<ShapeRecord>& record = kind == ShapeKind::bounding ? bounding_ : input_;
    if (!record)
        record = ShapeRecord{shapeOf(frame_, kind), region};
    record->set = region;
    const std::vector<xcb_rectangle_t> rectangles = rectanglesOf(region);
    ignoreErrors(xcb_shape_rectangles_checked(server, XCB_SHAPE_SO_SET, xcb_shape_kind_t(kind),
                                              XCB_CLIP_ORDERING_UNSORTED, frame_, 0, 0,
                                              uint32_t(rectangles.size()), rectangles.data()));
#else
    Q_UNUSED(kind);
    Q_UNUSED(region);
#endif
}

void FrameChanges::undoShape(ShapeKind kind, std::optional<ShapeRecord>& record) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* server = connection();
    const std::optional<ShapeRecord> done = std::exchange(record, std::nullopt);
    if (!done || !server)
        return;
    // The window manager shapes its frame again whenever the window inside changes its shape:
    // a shape that is no longer ours is newer than the one recorded.
    if (shapeOf(frame_, kind) != std::optional<QRegion>(done->set))
        return;
    if (!done->before) {
        ignoreErrors(xcb_shape_mask_checked(server, XCB_SHAPE_SO_SET, xcb_shape_kind_t(kind),
                                            frame_, 0, 0, XCB_PIXMAP_NONE));
        return;
    }
    const std::vector<xcb_rectangle_t> rectangles = rectanglesOf(*done->before);
    ignoreErrors(xcb_shape_rectangles_checked(server, XCB_SHAPE_SO_SET, xcb_shape_kind_t(kind),
                                              XCB_CLIP_ORDERING_UNSORTED, frame_, 0, 0,
                                              uint32_t(rectangles.size()), rectangles.data()));
#else
    Q_UNUSED(kind);
    record.reset();
#endif
}

void FrameChanges::undo() {
    if (frame_ == noWindow || isEmpty())
        return;
    if (!connection()) {
        opacity_.reset();
        bounding_.reset();
        input_.reset();
        return;
    }
    undoShape(ShapeKind::bounding, bounding_);
    undoShape(ShapeKind::input, input_);
    if (const std::optional<OpacityRecord> done = std::exchange(opacity_, std::nullopt)) {
        // A window manager that copies its window's opacity onto its frame may have done so since.
        if (opacityOf(frame_) == done->set) {
            if (done->before) {
                const std::uint32_t value = *done->before;
                setProperty32(frame_, atom("_NET_WM_WINDOW_OPACITY"), cardinalType(), {&value, 1});
            } else {
                deleteProperty(frame_, atom("_NET_WM_WINDOW_OPACITY"));
            }
        }
    }
    flush();
}
} // namespace X11
