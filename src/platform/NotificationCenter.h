#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>

// The in-process notification centre. post() delivers synchronously to observers living on the
// posting thread (the GUI thread in practice) and queues to observers on other threads.
// An observation ends when its context object is destroyed, or with removeObservers().
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    struct Notification {
        QString name;
        QVariant object;
        QVariantMap userInfo;
    };
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& shared();
    static void install(NotificationCenter* center);

    void post(const QString& name, const QVariant& object = {}, const QVariantMap& userInfo = {});
    void observe(const QString& name, QObject* context, Handler handler);
    void removeObservers(QObject* context);

signals:
    void posted(const NotificationCenter::Notification& notification);
};

Q_DECLARE_METATYPE(NotificationCenter::Notification)
