#include "analysis/ProxyAnswers.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QThreadPool>
#include <QtConcurrent>

namespace {
// Lookups have threads of their own: one that never ends (a configuration file that never
// arrives) must not hold up the pool the pictures are decoded in, nor the app's quit, which waits
// for the shared pool. The pool lives as long as the process.
// This computer's own servers (a local model server) are never reached through a proxy, which
// could not reach them; nor is any lookup waited for.
bool isLoopback(const QUrl& url) {
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QThreadPool* lookupPool() {
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool();
        threads->setMaxThreadCount(2);
        return threads;
    }();
    return pool;
}
} // namespace

ProxyAnswers::ProxyAnswers(Lookup lookup) : lookup_(std::move(lookup)) {}

QString ProxyAnswers::keyOf(const QUrl& url) {
    return url.scheme() + QStringLiteral("://") + url.host() + QLatin1Char(':') +
           QString::number(url.port());
}

QFuture<void> ProxyAnswers::lookUp(const QUrl& url) {
    if (isLoopback(url))
        return QtFuture::makeReadyFuture();
    const QString key = keyOf(url);
    const QFuture<void> running = running_.value(key);
    if (running.isValid() && !running.isFinished())
        return running;
    // Copies only: the factory may be gone (with its access manager) before the lookup ends.
    QFuture<void> started =
        QtConcurrent::run(lookupPool(), [answers = answers_, lookup = lookup_, url, key] {
            const QList<QNetworkProxy> proxies = lookup(QNetworkProxyQuery(url));
            const QMutexLocker locker(&answers->mutex);
            answers->byUrl.insert(key, proxies);
        });
    running_.insert(key, started);
    return started;
}

bool ProxyAnswers::knows(const QUrl& url) const {
    const QMutexLocker locker(&answers_->mutex);
    return answers_->byUrl.contains(keyOf(url));
}

QList<QNetworkProxy> ProxyAnswers::queryProxy(const QNetworkProxyQuery& query) {
    if (isLoopback(query.url()))
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    {
        const QMutexLocker locker(&answers_->mutex);
        const auto known = answers_->byUrl.constFind(keyOf(query.url()));
        if (known != answers_->byUrl.constEnd())
            return *known;
    }
    // Not looked up beforehand (a connection Qt makes on its own): asked here, as Qt would.
    return lookup_(query);
}
