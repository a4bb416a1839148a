#pragma once

#include <QFuture>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QUrl>
#include <functional>
#include <memory>

// The proxies of each request, looked up on a worker thread before the request is made. The
// system's lookup (libproxy) can take as long as a proxy auto-configuration file takes to arrive,
// or a search for one on a network that is not there; Qt asks it on the thread that makes the
// request, which is the GUI thread. The access manager asks this factory instead, which answers
// at once with what the last lookup for the URL's scheme, host and port found. Servers on this
// computer are reached directly.
class ProxyAnswers : public QNetworkProxyFactory {
public:
    using Lookup = std::function<QList<QNetworkProxy>(const QNetworkProxyQuery&)>;

    explicit ProxyAnswers(Lookup lookup = &QNetworkProxyFactory::systemProxyForQuery);

    // Looks the URL's proxies up on a worker, unless a lookup for them is under way; the future
    // finishes once they are known. GUI thread only.
    QFuture<void> lookUp(const QUrl& url);
    // An earlier lookup found the URL's proxies.
    bool knows(const QUrl& url) const;
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override;

private:
    static QString keyOf(const QUrl& url);

    // Shared with the lookups under way, which may end after the factory.
    struct Answers {
        QMutex mutex;
        QHash<QString, QList<QNetworkProxy>> byUrl;
    };
    Lookup lookup_;
    std::shared_ptr<Answers> answers_ = std::make_shared<Answers>();
    QHash<QString, QFuture<void>> running_;
};
