#include "platform/SystemScreenProvider.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

SystemScreenProvider::SystemScreenProvider() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        emit screensChanged();
    });
    connect(app, &QGuiApplication::screenRemoved, this, &ScreenProvider::screensChanged);
    connect(app, &QGuiApplication::primaryScreenChanged, this, &ScreenProvider::screensChanged);
}

void SystemScreenProvider::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &ScreenProvider::screensChanged);
    connect(screen, &QScreen::availableGeometryChanged, this, &ScreenProvider::screensChanged);
}

ScreenSpace SystemScreenProvider::space() const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? ScreenSpace(primary->geometry()) : ScreenSpace();
}

ScreenInfo SystemScreenProvider::infoOf(const QScreen* screen) const {
    const ScreenSpace converter = space();
    return ScreenInfo{converter.fromQt(screen->geometry()),
                      converter.fromQt(screen->availableGeometry())};
}

QList<ScreenInfo> SystemScreenProvider::reportedScreens() const {
    QList<ScreenInfo> result;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return result;
    result.append(infoOf(primary));
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            result.append(infoOf(screen));
    }
    return result;
}

std::optional<ScreenInfo> SystemScreenProvider::reportedMainScreen() const {
    if (const QWindow* active = QGuiApplication::focusWindow(); active && active->screen())
        return infoOf(active->screen());
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        return infoOf(primary);
    return std::nullopt;
}

QPointF SystemScreenProvider::cursorPosition() const {
    return space().fromQtPoint(QCursor::pos());
}
