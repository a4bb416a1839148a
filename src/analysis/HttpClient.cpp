#include "analysis/HttpClient.h"

#include "analysis/HttpExchange.h"
#include "analysis/OneShotUpload.h"
#include "analysis/ProxyAnswers.h"
#include "platform/Clock.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QFutureWatcher>
#include <QNetworkReply>
#include <QPromise>
#include <QSslConfiguration>

namespace {
HttpClient* installedClient = nullptr;

// Suspends until start's callback says whether the proxies came in time.
struct ProxyWait {
    std::function<void(std::function<void(bool)>)> start;
    std::shared_ptr<bool> found = std::make_shared<bool>(false);

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        start([found = found, handle](bool answered) {
            *found = answered;
            handle.resume();
        });
    }
    bool await_resume() const { return *found; }
};

// Kept small so that a server ignoring our byte limit cannot make Qt buffer much beyond it.
constexpr qint64 readBufferSize = 64 * 1024;

// For requests that may carry the key: a redirect is an answer of its own, never followed, so
// the Authorization header cannot travel to another host or port. Qt would otherwise inflate a
// compressed reply on its own, without any bound; asking for none keeps every byte counted.
QNetworkRequest unredirected(QNetworkRequest request) {
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::EmitAllUploadProgressSignalsAttribute, true);
    request.setRawHeader("Accept-Encoding", "identity");
    return request;
}
// Qt wanted to send the body again because the connection dropped before the answer; the
// refused rewind ends the request as a content error of no description, while what happened is
// that the connection was lost.
void readAsDropped(HttpClient::Result& result) {
    if (result.failure != HttpClient::Result::Failure::network || result.status)
        return;
    result.transferError = QNetworkReply::RemoteHostClosedError;
    result.errorText = QStringLiteral("Connection closed");
}
} // namespace

HttpClient::HttpClient(QObject* parent) : QObject(parent), proxies_(new ProxyAnswers()) {
    network_.setProxyFactory(proxies_);
}

HttpClient::~HttpClient() {
    if (installedClient == this)
        installedClient = nullptr;
}

HttpClient& HttpClient::shared() {
    Q_ASSERT_X(installedClient, "HttpClient::shared", "no HttpClient installed");
    return *installedClient;
}

void HttpClient::install(HttpClient* client) {
    installedClient = client;
}

bool HttpClient::isInstalled() {
    return installedClient != nullptr;
}

void HttpClient::setExtraCaCertificates(const QList<QSslCertificate>& certificates) {
    extraCaCertificates_ = certificates;
}

QNetworkRequest HttpClient::prepared(QNetworkRequest request) const {
    if (!extraCaCertificates_.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(extraCaCertificates_);
        request.setSslConfiguration(tls);
    }
    return request;
}

QCoro::Task<std::optional<HttpClient::Result>>
HttpClient::awaitProxies(QUrl url, std::chrono::milliseconds wait) {
    // A known answer serves at once, and the lookup refreshes it for the next request.
    const bool known = proxies_->knows(url);
    QFuture<void> lookup = proxies_->lookUp(url);
    if (known || lookup.isFinished())
        co_return std::nullopt;
    // Resumed by the lookup's end or by the time-out, whichever comes first.
    ProxyWait awaiter{[this, lookup, wait](std::function<void(bool)> resume) {
        auto settled = std::make_shared<bool>(false);
        auto late = std::make_shared<ScheduledAction>();
        const auto settle = [settled, late, resume](bool found) {
            if (std::exchange(*settled, true))
                return;
            late->cancel();
            resume(found);
        };
        auto* watcher = new QFutureWatcher<void>(this);
        connect(watcher, &QFutureWatcher<void>::finished, this, [watcher, settle] {
            watcher->deleteLater();
            settle(true);
        });
        *late = Clock::shared().schedule(wait, this, [settle] { settle(false); });
        watcher->setFuture(lookup);
    }};
    if (co_await awaiter)
        co_return std::nullopt;
    Result result;
    result.failure = Result::Failure::timeout;
    result.errorText = QStringLiteral("The proxy settings could not be read in time");
    co_return result;
}

QCoro::Task<HttpClient::Result> HttpClient::post(QNetworkRequest request, QByteArray body,
                                                 std::chrono::milliseconds idleTimeout,
                                                 qint64 maxBodyBytes) {
    if (std::optional<Result> late = co_await awaitProxies(request.url(), idleTimeout))
        co_return *late;
    // A body Qt cannot rewind: its quiet resend after a dropped connection fails instead.
    auto* upload = new OneShotUpload(std::move(body));
    QNetworkReply* reply = network_.post(prepared(unredirected(std::move(request))), upload);
    upload->setParent(reply);
    co_return co_await exchange(reply, idleTimeout, maxBodyBytes, false, upload);
}

QCoro::Task<HttpClient::Result> HttpClient::get(QNetworkRequest request,
                                                std::chrono::milliseconds idleTimeout,
                                                qint64 maxBodyBytes) {
    if (std::optional<Result> late = co_await awaitProxies(request.url(), idleTimeout))
        co_return *late;
    QNetworkReply* reply = network_.get(prepared(unredirected(std::move(request))));
    co_return co_await exchange(reply, idleTimeout, maxBodyBytes, false);
}

QCoro::Task<HttpClient::Result> HttpClient::fetchPrefix(QNetworkRequest request, qint64 maxBytes,
                                                        std::chrono::milliseconds idleTimeout) {
    if (std::optional<Result> late = co_await awaitProxies(request.url(), idleTimeout))
        co_return *late;
    // Asked for by name, so that Qt leaves the inflating to us and its bound.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    QNetworkReply* reply = network_.get(prepared(std::move(request)));
    co_return co_await exchange(reply, idleTimeout, maxBytes, true);
}

QCoro::Task<HttpClient::Result> HttpClient::exchange(QNetworkReply* reply,
                                                     std::chrono::milliseconds idleTimeout,
                                                     qint64 maxBytes, bool prefix,
                                                     const OneShotUpload* upload) {
    reply->setReadBufferSize(std::min(maxBytes, readBufferSize));
    auto running = std::make_unique<HttpExchange>(reply, idleTimeout, maxBytes,
                                                  prefix ? HttpExchange::Mode::prefix
                                                         : HttpExchange::Mode::whole,
                                                  upload ? upload->size() : 0);
    connect(running.get(), &HttpExchange::progressed, this, &HttpClient::transferProgressed);
    if (!running->isFinished())
        co_await qCoro(running.get(), &HttpExchange::finished);
    if (running->networkError() == QNetworkReply::SslHandshakeFailedError) {
        // A failed handshake can leave a poisoned connection in the cache; drop it so that the
        // next request (perhaps with a corrected trust setup) starts afresh.
        network_.clearConnectionCache();
    }
    Result result = running->result();
    // The upload lives as long as the reply, which the exchange holds until here.
    if (upload && upload->refusedRewinds() > 0)
        readAsDropped(result);
    co_return result;
}
