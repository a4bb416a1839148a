#include "ui/X11Connection.h"

#include <QGuiApplication>

#ifdef KIPPETS_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
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
