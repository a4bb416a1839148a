#pragma once

#include "platform/NotificationCenter.h"

// The observers of one notification name: a signal of its own, so Qt delivers a post only to
// them, on their threads, and forgets an observer whose context object died.
class NotificationCenter::Channel : public QObject {
    Q_OBJECT
signals:
    void posted(const NotificationCenter::Notification& notification);
};
