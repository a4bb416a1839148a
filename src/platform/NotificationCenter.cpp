#include "platform/NotificationCenter.h"

#include <QPointer>

namespace {
QPointer<NotificationCenter>& installed() {
    static QPointer<NotificationCenter> instance;
    return instance;
}
} // namespace

NotificationCenter& NotificationCenter::shared() {
    if (!installed()) {
        static NotificationCenter center;
        installed() = &center;
    }
    return *installed();
}

void NotificationCenter::install(NotificationCenter* center) {
    installed() = center;
}

void NotificationCenter::post(const QString& name, const QVariant& object,
                              const QVariantMap& userInfo) {
    emit posted(Notification{name, object, userInfo});
}

void NotificationCenter::observe(const QString& name, QObject* context, Handler handler) {
    Q_ASSERT(context);
    // Qt drops the connection when the context dies, so a destroyed observer is never called.
    connect(this, &NotificationCenter::posted, context,
            [name, handler = std::move(handler)](const Notification& notification) {
                if (notification.name == name)
                    handler(notification);
            });
}

void NotificationCenter::removeObservers(QObject* context) {
    disconnect(this, nullptr, context, nullptr);
}
