#include "ui/CompositorCheck.h"

#include "ui/X11.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QRegion>
#include <QWindow>

#include <algorithm>
#include <optional>
#include <vector>

namespace {
CompositorCheck*& installed() {
    static CompositorCheck* instance = nullptr;
    return instance;
}

#ifdef KIPPETS_HAVE_XCB
X11::WindowId askCompositorWindow() {
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(X11::screenNumber());
    const X11::AtomId selection = X11::atom(name.constData());
    if (selection == X11::noAtom)
        return X11::noWindow;
    const auto owner = X11::ask(xcb_get_selection_owner, xcb_get_selection_owner_reply, selection);
    return owner ? owner->owner : X11::noWindow;
}

// Every paint of a translucent window asks, and a launch paints hundreds of them at once: the
// server is asked once for all the paints of one pass of the event loop, and again in the next
// pass, so a compositor that starts or stops shows from the following paint on.
X11::WindowId compositorWindow() {
    static std::optional<X11::WindowId> known;
    if (known)
        return *known;
    const X11::WindowId owner = askCompositorWindow();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        known = owner;
        QMetaObject::invokeMethod(
            app, [] { known.reset(); }, Qt::QueuedConnection);
    }
    return owner;
}

const char* const blurRegionName = "_KDE_NET_WM_BLUR_BEHIND_REGION";

bool rootAnnounces(X11::WindowId root, X11::AtomId blur) {
    const auto properties = X11::ask(xcb_list_properties, xcb_list_properties_reply, root);
    if (properties) {
        const xcb_atom_t* atoms = xcb_list_properties_atoms(properties.get());
        for (int i = 0; i < xcb_list_properties_atoms_length(properties.get()); ++i) {
            if (atoms[i] == blur)
                return true;
        }
    }
    const X11::AtomId supported = X11::existingAtom("_NET_SUPPORTED");
    if (supported == X11::noAtom)
        return false;
    const auto listed = X11::property32(root, supported, X11::atomType());
    return listed && std::find(listed->begin(), listed->end(), blur) != listed->end();
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
    return X11::connection() && compositorWindow() != X11::noWindow;
#else
    // Without the X client library nothing can be asked; the mask is the safe answer.
    return false;
#endif
}

bool DisplayCompositorCheck::blursBehind() const {
#ifdef KIPPETS_HAVE_XCB
    if (!X11::connection())
        return false;
    const X11::WindowId compositor = compositorWindow();
    if (compositor == X11::noWindow)
        return false;
    // The answer holds for as long as the same compositor runs; windows ask on every paint.
    static X11::WindowId askedCompositor = X11::noWindow;
    static bool blurs = false;
    if (compositor != askedCompositor) {
        askedCompositor = compositor;
        const X11::AtomId blur = X11::existingAtom(blurRegionName);
        blurs = blur != X11::noAtom && rootAnnounces(X11::root(), blur);
    }
    return blurs;
#else
    return false;
#endif
}

void DisplayCompositorCheck::requestBlurBehind(QWindow* window, const QRegion& region) {
    if (!X11::connection() || !window)
        return;
    const X11::AtomId blur = X11::atom(blurRegionName);
    if (blur == X11::noAtom)
        return;
    const auto id = static_cast<X11::WindowId>(window->winId());
    if (region.isEmpty()) {
        X11::deleteProperty(id, blur);
    } else {
        std::vector<std::uint32_t> rectangles;
        for (const QRect& rect : region) {
            rectangles.insert(rectangles.end(),
                              {std::uint32_t(rect.x()), std::uint32_t(rect.y()),
                               std::uint32_t(rect.width()), std::uint32_t(rect.height())});
        }
        X11::setProperty32(id, blur, X11::cardinalType(), rectangles);
    }
    X11::flush();
}
