#include "platform/ScreenProvider.h"

#include "platform/SystemScreenProvider.h"

#include <QPointer>

namespace {
QPointer<ScreenProvider>& installed() {
    static QPointer<ScreenProvider> instance;
    return instance;
}

bool isUsable(const ScreenInfo& screen) {
    return screen.frame.width > 0 && screen.frame.height > 0 && screen.visibleFrame.width > 0 &&
           screen.visibleFrame.height > 0;
}
} // namespace

ScreenProvider& ScreenProvider::shared() {
    if (!installed()) {
        static SystemScreenProvider system;
        installed() = &system;
    }
    return *installed();
}

void ScreenProvider::install(ScreenProvider* provider) {
    installed() = provider;
}

QList<ScreenInfo> ScreenProvider::screens() const {
    QList<ScreenInfo> usable = reportedScreens();
    usable.removeIf([](const ScreenInfo& screen) { return !isUsable(screen); });
    return usable;
}

std::optional<ScreenInfo> ScreenProvider::mainScreen() const {
    if (const std::optional<ScreenInfo> main = reportedMainScreen(); main && isUsable(*main))
        return main;
    const QList<ScreenInfo> usable = screens();
    return usable.isEmpty() ? std::nullopt : std::optional<ScreenInfo>(usable.first());
}
