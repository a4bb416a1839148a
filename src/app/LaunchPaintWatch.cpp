#include "app/LaunchPaintWatch.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

bool LaunchPaintWatch::isRequested() {
    return qEnvironmentVariableIntValue(variable) == 1;
}

LaunchPaintWatch::LaunchPaintWatch(QObject* parent) : QObject(parent) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            waiting_.insert(window);
    }
    qApp->installEventFilter(this);
    QMetaObject::invokeMethod(this, &LaunchPaintWatch::finishIfDone, Qt::QueuedConnection);
}

LaunchPaintWatch::~LaunchPaintWatch() {
    qApp->removeEventFilter(this);
}

bool LaunchPaintWatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
        if (waiting_.remove(static_cast<QWidget*>(watched)->window()))
            finishIfDone();
    }
    return false;
}

void LaunchPaintWatch::finishIfDone() {
    if (waiting_.isEmpty())
        QCoreApplication::quit();
}
