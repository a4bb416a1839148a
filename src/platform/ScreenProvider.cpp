#include "platform/ScreenProvider.h"

#include "platform/SystemScreenProvider.h"

#include <QPointer>

namespace {
QPointer<ScreenProvider>& installed() {
    static QPointer<ScreenProvider> instance;
    return instance;
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
