#include "app/DashboardWindow.h"

#include "app/WindowLevel.h"

#include "dashboard/DashboardView.h"

#include <QKeyEvent>

namespace {
DashboardWindow::ViewFactory& viewFactory() {
    static DashboardWindow::ViewFactory factory = [](DashboardTab tab) -> QWidget* {
        return new DashboardView(tab);
    };
    return factory;
}

// The edit action of a key, by the key itself: Shift and the other modifiers do not change it.
const char* editActionFor(int key) {
    switch (key) {
    case Qt::Key_V:
        return "paste";
    case Qt::Key_C:
        return "copy";
    case Qt::Key_X:
        return "cut";
    case Qt::Key_A:
        return "selectAll";
    default:
        return nullptr;
    }
}
} // namespace

DashboardWindow::DashboardWindow(DashboardTab tab) {
    setWindowTitle(QStringLiteral("Kippets Dashboard"));
    setCentralWidget(viewFactory()(tab));
    resize(defaultWidth, defaultHeight);
    WindowLevel::makeOrdinary(this);
}

void DashboardWindow::setViewFactory(ViewFactory factory) {
    viewFactory() = std::move(factory);
}

void DashboardWindow::keyPressEvent(QKeyEvent* event) {
    const char* action =
        (event->modifiers() & Qt::ControlModifier) ? editActionFor(event->key()) : nullptr;
    QWidget* target = focusWidget();
    if (action && target && QMetaObject::invokeMethod(target, action)) {
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
