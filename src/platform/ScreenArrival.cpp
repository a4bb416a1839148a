#include "platform/ScreenArrival.h"

#include "platform/ScreenProvider.h"

void ScreenArrival::whenScreenAppears(QObject* owner, std::function<void()> action) {
    new ScreenArrival(owner, std::move(action));
}

ScreenArrival::ScreenArrival(QObject* owner, std::function<void()> action)
    : QObject(owner), action_(std::move(action)) {
    connect(&ScreenProvider::shared(), &ScreenProvider::screensChanged, this,
            &ScreenArrival::screensChanged);
}

void ScreenArrival::screensChanged() {
    if (!ScreenProvider::shared().mainScreen())
        return;
    disconnect(&ScreenProvider::shared(), nullptr, this, nullptr);
    const std::function<void()> action = std::move(action_);
    deleteLater();
    action();
}
