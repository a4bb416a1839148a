#include "app/LaunchPaintWatch.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

bool LaunchPaintWatch::isRequested() {
    return qEnvironmentVariableIntValue(variable) == 1;
}

LaunchPaintWatch::LaunchPaintWatch(QObject* parent) : QObject(parent) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            waiting_.insert(window);
            window->installEventFilter(this);
        }
    }
    QMetaObject::invokeMethod(this, &LaunchPaintWatch::finishIfDone, Qt::QueuedConnection);
}

bool LaunchPaintWatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && waiting_.remove(watched)) {
        watched->removeEventFilter(this);
        // After this paint has been drawn and flushed.
        QMetaObject::invokeMethod(this, &LaunchPaintWatch::finishIfDone, Qt::QueuedConnection);
    }
    return false;
}

void LaunchPaintWatch::finishIfDone() {
    if (!waiting_.isEmpty())
        return;
    std::fflush(stdout);
    std::_Exit(0);
}
