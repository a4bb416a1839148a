#include "ui/CompositorCheck.h"

#include <QByteArray>
#include <QGuiApplication>

#ifdef KIPPETS_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>
#endif

namespace {
CompositorCheck*& installed() {
    static CompositorCheck* instance = nullptr;
    return instance;
}

#ifdef KIPPETS_HAVE_XCB
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

bool hasSelectionOwner(xcb_connection_t* connection, const QByteArray& selection) {
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(selection.size()),
                        selection.constData()),
        nullptr);
    if (!atom) {
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return owned;
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

bool DisplayCompositorCheck::isCompositing() const {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return true;
    }
#ifdef KIPPETS_HAVE_XCB
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) {
        return false;
    }
    return hasSelectionOwner(x11->connection(),
                             "_NET_WM_CM_S" + QByteArray::number(defaultScreenNumber()));
#else
    // Without the X client library nothing can be asked; the mask is the safe answer.
    return false;
#endif
}
