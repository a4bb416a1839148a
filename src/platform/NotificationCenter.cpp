#include "platform/NotificationCenter.h"

#include "platform/NotificationCenterChannel.h"

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

NotificationCenter::Channel* NotificationCenter::channel(const QString& name, bool create) {
    QMutexLocker lock(&channelsMutex_);
    auto found = channels_.constFind(name);
    if (found != channels_.constEnd())
        return found->get();
    if (!create)
        return nullptr;
    auto made = std::make_shared<Channel>();
    // Channels live as long as the centre, on its thread, whichever thread first observed.
    made->moveToThread(thread());
    channels_.insert(name, made);
    return made.get();
}

void NotificationCenter::post(const QString& name, const QVariant& object,
                              const QVariantMap& userInfo) {
    const Notification notification{name, object, userInfo};
    if (Channel* observers = channel(name, false))
        emit observers->posted(notification);
    QStringList keys;
    {
        QMutexLocker lock(&channelsMutex_);
        keys = filterKeys_.value(name);
    }
    for (const QString& key : std::as_const(keys)) {
        const auto value = userInfo.constFind(key);
        if (value == userInfo.constEnd())
            continue;
        if (Channel* observers = channel(filteredName(name, key, *value), false))
            emit observers->posted(notification);
    }
    emit posted(notification);
}

void NotificationCenter::observe(const QString& name, QObject* context, Handler handler) {
    Q_ASSERT(context);
    // Qt drops the connection when the context dies, so a destroyed observer is never called.
    connect(channel(name, true), &Channel::posted, context, std::move(handler));
}

void NotificationCenter::observe(const QString& name, const QString& key, const QVariant& value,
                                 QObject* context, Handler handler) {
    Q_ASSERT(context);
    Channel* observers = channel(filteredName(name, key, value), true);
    {
        QMutexLocker lock(&channelsMutex_);
        QStringList& keys = filterKeys_[name];
        if (!keys.contains(key))
            keys.append(key);
    }
    connect(observers, &Channel::posted, context, std::move(handler));
}

QString NotificationCenter::filteredName(const QString& name, const QString& key,
                                         const QVariant& value) {
    // Values compare by their text, so a QUuid matches the same QUuid however it was wrapped.
    return name + QChar(0x1F) + key + QChar(0x1F) + value.toString();
}

void NotificationCenter::removeObservers(QObject* context) {
    QMutexLocker lock(&channelsMutex_);
    for (const std::shared_ptr<Channel>& observers : std::as_const(channels_))
        disconnect(observers.get(), nullptr, context, nullptr);
}
