#include "analysis/HttpClient.h"

#include "platform/Clock.h"

#include <QCoroNetworkReply>
#include <QNetworkReply>
#include <QPointer>
#include <QScopedPointer>
#include <QSslConfiguration>

namespace {
HttpClient* installedClient = nullptr;

// Kept small so that a server ignoring our byte limit cannot make Qt buffer much beyond it.
constexpr qint64 prefixReadBufferSize = 64 * 1024;

// Errors below 200 and in the protocol range mean no usable HTTP answer arrived; the others are
// Qt's names for HTTP statuses, whose answer we judge by the status code instead.
bool isTransferFailure(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code > 0 && code < 200) || (code >= 300 && code < 400);
}

struct Exchange {
    QByteArray body;
    bool timedOut = false;
    bool capped = false;
};
} // namespace

HttpClient::HttpClient(QObject* parent) : QObject(parent) {}

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

QCoro::Task<HttpClient::Result> HttpClient::post(QNetworkRequest request, QByteArray body,
                                                 std::chrono::milliseconds timeout) {
    QNetworkReply* reply = network_.post(prepared(request), body);
    co_return co_await finish(reply, timeout, -1);
}

QCoro::Task<HttpClient::Result> HttpClient::fetchPrefix(QNetworkRequest request, qint64 maxBytes,
                                                        std::chrono::milliseconds timeout) {
    QNetworkReply* reply = network_.get(prepared(request));
    reply->setReadBufferSize(std::min(maxBytes, prefixReadBufferSize));
    co_return co_await finish(reply, timeout, maxBytes);
}

QCoro::Task<HttpClient::Result>
HttpClient::finish(QNetworkReply* rawReply, std::chrono::milliseconds timeout, qint64 maxBytes) {
    QScopedPointer<QNetworkReply, QScopedPointerDeleteLater> reply(rawReply);
    QPointer<QNetworkReply> guarded(rawReply);
    auto exchange = std::make_shared<Exchange>();

    // Qt reports its own transfer time-out exactly like an abort, so we time the exchange
    // ourselves and remember that it was the timer that ended it.
    ScheduledAction timer = Clock::shared().schedule(timeout, rawReply, [exchange, guarded] {
        exchange->timedOut = true;
        if (guarded)
            guarded->abort();
    });

    if (maxBytes >= 0) {
        connect(rawReply, &QNetworkReply::readyRead, rawReply, [exchange, guarded, maxBytes] {
            if (!guarded || exchange->capped)
                return;
            exchange->body.append(guarded->read(maxBytes - exchange->body.size()));
            if (exchange->body.size() >= maxBytes) {
                exchange->capped = true;
                guarded->abort();
            }
        });
    }

    co_await rawReply;
    timer.cancel();
    if (!guarded)
        co_return Result{Result::Failure::network,
                         QStringLiteral("The request was cancelled."),
                         std::nullopt,
                         {},
                         false};
    // An aborted reply is closed: nothing more to read.
    if (guarded->isOpen() && maxBytes < 0)
        exchange->body = guarded->readAll();
    else if (guarded->isOpen() && !exchange->capped)
        exchange->body.append(guarded->read(maxBytes - exchange->body.size()));
    co_return resultOf(guarded, exchange->timedOut, exchange->capped, exchange->body);
}

HttpClient::Result HttpClient::resultOf(QNetworkReply* reply, bool timedOut, bool capped,
                                        const QByteArray& body) {
    Result result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        result.status = status.toInt();
    result.body = body;
    result.truncated = capped;
    if (capped)
        return result;
    if (timedOut) {
        result.failure = Result::Failure::timeout;
        result.errorText = QStringLiteral("The request timed out.");
        return result;
    }
    if (reply->error() == QNetworkReply::SslHandshakeFailedError) {
        // A failed handshake can leave a poisoned connection in the cache; drop it so that the
        // next request (perhaps with a corrected trust setup) starts afresh.
        network_.clearConnectionCache();
    }
    if (isTransferFailure(reply->error()) || !result.status) {
        result.failure = Result::Failure::network;
        result.errorText = reply->errorString();
    }
    return result;
}
