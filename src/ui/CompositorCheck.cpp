#include "ui/CompositorCheck.h"

#include "ui/X11Connection.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QRegion>
#include <QWindow>

#ifdef KIPPETS_HAVE_XCB
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>
#endif

namespace {
CompositorCheck*& installed() {
    static CompositorCheck* instance = nullptr;
    return instance;
}

#ifdef KIPPETS_HAVE_XCB
template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply> ReplyPointer<Reply> owned(Reply* reply) {
    return ReplyPointer<Reply>(reply, &std::free);
}

// The screen part of DISPLAY (":0.1" is screen 1); Qt opens the display's default screen.
int defaultScreenNumber() {
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot < 0) {
        return 0;
    }
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok ? screen : 0;
}

// XCB_NONE when the server has no such atom and `onlyIfExists` is set.
xcb_atom_t atomNamed(xcb_connection_t* connection, const QByteArray& name, bool onlyIfExists) {
    const auto reply = owned(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, onlyIfExists ? 1 : 0,
                                              static_cast<uint16_t>(name.size()), name.constData()),
                              nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_NONE);
}

xcb_window_t askCompositorWindow(xcb_connection_t* connection) {
    static const xcb_atom_t selection =
        atomNamed(connection, "_NET_WM_CM_S" + QByteArray::number(defaultScreenNumber()), false);
    if (selection == XCB_NONE)
        return XCB_NONE;
    const auto owner = owned(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    return owner ? owner->owner : xcb_window_t(XCB_NONE);
}

// Every paint of a translucent window asks, and a launch paints hundreds of them at once: the
// server is asked once for all the paints of one pass of the event loop, and again in the next
// pass, so a compositor that starts or stops shows from the following paint on.
xcb_window_t compositorWindow(xcb_connection_t* connection) {
    static std::optional<xcb_window_t> known;
    if (known)
        return *known;
    const xcb_window_t owner = askCompositorWindow(connection);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        known = owner;
        QMetaObject::invokeMethod(
            app, [] { known.reset(); }, Qt::QueuedConnection);
    }
    return owner;
}

xcb_window_t rootWindow(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int skip = defaultScreenNumber(); skip > 0 && screens.rem > 1; --skip)
        xcb_screen_next(&screens);
    return screens.data ? screens.data->root : xcb_window_t(XCB_NONE);
}

const QByteArray blurRegionName = QByteArrayLiteral("_KDE_NET_WM_BLUR_BEHIND_REGION");

bool rootAnnounces(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t blur) {
    const auto properties = owned(
        xcb_list_properties_reply(connection, xcb_list_properties(connection, root), nullptr));
    if (properties) {
        const xcb_atom_t* atoms = xcb_list_properties_atoms(properties.get());
        for (int i = 0; i < xcb_list_properties_atoms_length(properties.get()); ++i) {
            if (atoms[i] == blur)
                return true;
        }
    }
    const xcb_atom_t supported = atomNamed(connection, "_NET_SUPPORTED", true);
    if (supported == XCB_NONE)
        return false;
    const auto listed = owned(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 4096),
        nullptr));
    if (!listed || listed->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(listed.get()));
    const int count = xcb_get_property_value_length(listed.get()) / 4;
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == blur)
            return true;
    }
    return false;
}
#endif
} // namespace

CompositorCheck& CompositorCheck::shared() {
    if (!installed()) {
        static DisplayCompositorCheck display;
        return display;
    }
    return *installed();
}

void CompositorCheck::install(CompositorCheck* check) {
    installed() = check;
}

void CompositorCheck::requestBlurBehind(QWindow*, const QRegion&) {}

bool DisplayCompositorCheck::isCompositing() const {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return true;
    }
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    return connection && compositorWindow(connection) != XCB_NONE;
#else
    // Without the X client library nothing can be asked; the mask is the safe answer.
    return false;
#endif
}

bool DisplayCompositorCheck::blursBehind() const {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return false;
    const xcb_window_t compositor = compositorWindow(connection);
    if (compositor == XCB_NONE)
        return false;
    // The answer holds for as long as the same compositor runs; windows ask on every paint.
    static xcb_window_t askedCompositor = XCB_NONE;
    static bool blurs = false;
    if (compositor != askedCompositor) {
        askedCompositor = compositor;
        const xcb_atom_t blur = atomNamed(connection, blurRegionName, true);
        blurs = blur != XCB_NONE && rootAnnounces(connection, rootWindow(connection), blur);
    }
    return blurs;
#else
    return false;
#endif
}

void DisplayCompositorCheck::requestBlurBehind(QWindow* window, const QRegion& region) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window)
        return;
    static const xcb_atom_t blur = atomNamed(connection, blurRegionName, false);
    if (blur == XCB_NONE)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    if (region.isEmpty()) {
        xcb_delete_property(connection, id, blur);
    } else {
        std::vector<uint32_t> rectangles;
        for (const QRect& rect : region) {
            rectangles.insert(rectangles.end(), {uint32_t(rect.x()), uint32_t(rect.y()),
                                                 uint32_t(rect.width()), uint32_t(rect.height())});
        }
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, blur, XCB_ATOM_CARDINAL, 32,
                            uint32_t(rectangles.size()), rectangles.data());
    }
    xcb_flush(connection);
#else
    (void)window;
    (void)region;
#endif
}
