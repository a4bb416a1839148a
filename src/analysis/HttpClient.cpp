#include "analysis/HttpClient.h"

#include "analysis/HttpExchange.h"
#include "analysis/OneShotUpload.h"

#include <QCoroSignal>
#include <QNetworkReply>
#include <QSslConfiguration>

namespace {
HttpClient* installedClient = nullptr;

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
                                                 std::chrono::milliseconds idleTimeout,
                                                 qint64 maxBodyBytes) {
    // A body Qt cannot rewind: its quiet resend after a dropped connection fails instead.
    auto* upload = new OneShotUpload(std::move(body));
    QNetworkReply* reply = network_.post(prepared(unredirected(std::move(request))), upload);
    upload->setParent(reply);
    co_return co_await exchange(reply, idleTimeout, maxBodyBytes, false, upload);
}

QCoro::Task<HttpClient::Result> HttpClient::get(QNetworkRequest request,
                                                std::chrono::milliseconds idleTimeout,
                                                qint64 maxBodyBytes) {
    QNetworkReply* reply = network_.get(prepared(unredirected(std::move(request))));
    co_return co_await exchange(reply, idleTimeout, maxBodyBytes, false);
}

QCoro::Task<HttpClient::Result> HttpClient::fetchPrefix(QNetworkRequest request, qint64 maxBytes,
                                                        std::chrono::milliseconds idleTimeout) {
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
