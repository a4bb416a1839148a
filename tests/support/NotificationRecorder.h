#pragma once

#include "platform/NotificationCenter.h"

#include <QList>
#include <QObject>

// Every notification posted on the shared centre while it lives.
class NotificationRecorder : public QObject {
    Q_OBJECT
public:
    NotificationRecorder();

    QList<NotificationCenter::Notification> named(const QString& name) const;
    int count(const QString& name) const { return static_cast<int>(named(name).size()); }
    void clear() { posted_.clear(); }

private:
    QList<NotificationCenter::Notification> posted_;
};
