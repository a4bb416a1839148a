#pragma once

#include "platform/Clock.h"
#include "support/TestEnvironment.h"

#include <QTest>
#include <QWidget>
#include <QWindow>
#include <chrono>

namespace WindowManagerDrag {
// Moves the window as a window manager does, by `by` in Qt's directions: the window system
// reports a new frame per pointer motion and the app never sees the pointer. The steps come
// 40 ms apart on the test clock.
inline void move(QWidget* window, QPoint by, int steps = 8) {
    using namespace std::chrono_literals;
    const QPoint start = window->pos();
    for (int step = 1; step <= steps; ++step) {
        const QPoint at = start + by * step / steps;
        window->windowHandle()->setPosition(at);
        QTRY_COMPARE(window->pos(), at);
        testClock().advance(40ms);
    }
}

// Resizes the window as a window manager does, its top-left corner kept.
inline void resize(QWidget* window, QSize size) {
    window->windowHandle()->resize(size);
    QTRY_COMPARE(window->size(), size);
}
} // namespace WindowManagerDrag
