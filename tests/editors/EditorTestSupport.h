#pragma once

#include "app/MenuBarManager.h"
#include "editors/EditorPanel.h"
#include "model/Kippet.h"
#include "support/AppHarness.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace EditorTest {
// Opens an editor panel of the kippet beside its shown window, as the window opens its editors:
// the panel owned by the window, its close callback set, its accent colour pushed, shown active.
// `closes` counts the runs of the close callback.
template <typename Panel> Panel* open(AppHarness& app, Kippet* kippet, int* closes = nullptr) {
    FloatingKippetWindow* window = app.registry().showWindow(kippet);
    auto* panel = new Panel(kippet, window);
    panel->onClose = [closes] {
        if (closes)
            ++*closes;
    };
    panel->updateAccentColor(EditorPanel::displayColor(*kippet));
    panel->show();
    panel->activateWindow();
    if (!QTest::qWaitForWindowActive(panel))
        qWarning("the editor panel did not become active");
    AppHarness::settle();
    return panel;
}

inline void sendMouse(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButtons buttons,
                      Qt::MouseButton button = Qt::LeftButton) {
    const QPointF global = widget->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Presses at `local` in the widget, moves the pointer by `delta` (Qt's directions) and releases.
inline void drag(QWidget* widget, QPoint local, QPoint delta) {
    const QPoint pressedAt = widget->mapToGlobal(local);
    sendMouse(widget, QEvent::MouseButtonPress, local, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, widget->mapFromGlobal(pressedAt + delta / 2),
              Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, widget->mapFromGlobal(pressedAt + delta), Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, widget->mapFromGlobal(pressedAt + delta),
              Qt::NoButton);
}

template <typename T> T* find(QWidget* root, const QString& name) {
    T* found = root->findChild<T*>(name);
    if (!found)
        qWarning("no child named %s", qPrintable(name));
    return found;
}
} // namespace EditorTest
