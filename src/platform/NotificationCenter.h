#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>

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
    // Observes only the notifications of `name` whose userInfo holds `value` under `key`: a
    // window observing its own kippet's notifications is then not called for every other
    // window's, which made each post cost as much as the number of open windows.
    void observe(const QString& name, const QString& key, const QVariant& value, QObject* context,
                 Handler handler);
    void removeObservers(QObject* context);

signals:
    // Every notification, whatever its name (for recorders and diagnostics).
    void posted(const NotificationCenter::Notification& notification);

private:
    class Channel;
    // The channel of one name, made on first use. A post reaches only its own name's observers:
    // with hundreds of windows each observing a few names, a broadcast to all of them would make
    // every post cost as much as the whole app's observers.
    Channel* channel(const QString& name, bool create);
    static QString filteredName(const QString& name, const QString& key, const QVariant& value);

    QMutex channelsMutex_;
    QHash<QString, std::shared_ptr<Channel>> channels_;
    // The userInfo keys that observations of a name filter on.
    QHash<QString, QStringList> filterKeys_;
};

Q_DECLARE_METATYPE(NotificationCenter::Notification)
