#include "support/NotificationRecorder.h"

NotificationRecorder::NotificationRecorder() {
    connect(&NotificationCenter::shared(), &NotificationCenter::posted, this,
            [this](const NotificationCenter::Notification& notification) {
                posted_.append(notification);
            });
}

QList<NotificationCenter::Notification> NotificationRecorder::named(const QString& name) const {
    QList<NotificationCenter::Notification> result;
    for (const auto& notification : posted_) {
        if (notification.name == name)
            result.append(notification);
    }
    return result;
}
