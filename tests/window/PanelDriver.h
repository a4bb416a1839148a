#pragma once

#include "analysis/LocalModelServer.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "support/AppHarness.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

// Drives real kippet panels the way a user does: shown and active, keys through the panel's
// window, presses straight to the panel where the test asks whether the panel took the key.
namespace PanelDriver {

// The data layer and the registry, once the local model server's first probe has been answered:
// a probe still under way when the test ends would outlive its harness.
inline void start(AppHarness& app) {
    app.start();
    QTRY_VERIFY(!app.localModel().isProbing());
}

inline FloatingKippetView* viewOf(FloatingKippetWindow* window) {
    return qobject_cast<FloatingKippetView*>(window->contentView());
}

// Shows the kippet's panel through the registry and waits until it is the active window.
inline FloatingKippetWindow* showActive(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = app.registry().showWindow(kippet);
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("the panel did not become active");
    return window;
}

// A key typed on the panel, as the window system delivers it.
inline void type(FloatingKippetWindow* window, Qt::Key key,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window->windowHandle(), key, modifiers);
    AppHarness::settle();
}

// Sends a key press to the panel itself; true when the panel took it.
inline bool taken(FloatingKippetWindow* window, Qt::Key key, const QString& text,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(window, &event);
    return event.isAccepted();
}

// The kippet's state as the store has it, read by starting the data layer anew.
inline Kippet* stored(AppHarness& app, const QString& name) {
    AppHarness::settle();
    app.restart();
    return app.byName(name);
}

} // namespace PanelDriver
