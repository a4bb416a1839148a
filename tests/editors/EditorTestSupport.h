#pragma once

#include "app/MenuBarManager.h"
#include "editors/EditorPanel.h"
#include "editors/NoteEditorWindow.h"
#include "editors/TodoEditorWindow.h"
#include "model/Kippet.h"
#include "platform/NotificationNames.h"
#include "support/AppHarness.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <type_traits>

namespace EditorTest {
// Opens an editor panel of the kippet through its shown window, as a key or a card does, and
// waits until the panel is active. The notifications recorded so far are cleared, so that
// closes() counts the closes from here on.
template <typename Panel> Panel* open(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = app.registry().showWindow(kippet);
    Panel* panel = nullptr;
    if constexpr (std::is_same_v<Panel, NoteEditorWindow>) {
        window->showNoteEditor();
        panel = window->noteWindow();
    } else {
        window->showTodoEditor();
        panel = window->todoWindow();
    }
    if (!panel || !QTest::qWaitForWindowActive(panel))
        qWarning("the editor panel did not become active");
    AppHarness::settle();
    app.notifications().clear();
    return panel;
}

// How often an editor announced its close since it was opened.
inline int closes(AppHarness& app) {
    return app.notifications().count(NotificationName::editorWindowStateChanged);
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
