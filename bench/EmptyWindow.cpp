// The reference of the cold-start measurement: the least a Qt Widgets app does before its first
// window is on screen. It quits once an empty window has painted.
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {
class QuitAfterFirstPaint : public QWidget {
protected:
    bool event(QEvent* event) override {
        const bool handled = QWidget::event(event);
        if (event->type() == QEvent::Paint)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return handled;
    }
};
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QuitAfterFirstPaint window;
    window.resize(220, 200);
    window.show();
    return QApplication::exec();
}
