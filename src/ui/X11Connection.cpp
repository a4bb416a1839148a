#include "ui/X11Connection.h"

#include <QGuiApplication>

#ifdef KIPPETS_HAVE_XCB
#include <QByteArray>
#include <QHash>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>
#endif

xcb_connection_t* x11Connection() {
#ifdef KIPPETS_HAVE_XCB
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
#else
    return nullptr;
#endif
}

std::uint32_t x11Atom(const char* name) {
#ifdef KIPPETS_HAVE_XCB
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return XCB_ATOM_NONE;
    static QHash<QByteArray, xcb_atom_t> known;
    const QByteArray key(name);
    if (const auto found = known.constFind(key); found != known.cend())
        return *found;
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(key.size()), key.constData()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    if (atom != XCB_ATOM_NONE)
        known.insert(key, atom);
    return atom;
#else
    Q_UNUSED(name);
    return 0;
#endif
}
