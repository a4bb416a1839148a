#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

class OneShotUpload;
class ProxyAnswers;

// The one network session of the app: every cloud-model request, every local-model request and
// every page fetch goes through its single QNetworkAccessManager. It never throws.
//
// Any answer with an HTTP status is an answer, whatever the status; a failure is a transfer that
// produced none (or broke off). Every time-out is an idle time-out: an exchange fails only when
// no byte has moved, up or down, for that long, or when it outlasts ten times it. Between the
// request body's hand-over and the answer's first byte the idle time-out is lengthened by the
// body's drain allowance (see minimumDrainRate), as bytes the system still holds move unseen.
// Requests are sent once: a dropped connection fails the request rather than sending it again, and
// reads as the closed connection it is. GUI thread only.
class HttpClient : public QObject {
    Q_OBJECT
public:
    struct Result {
        enum class Failure {
            none,
            timeout,
            network,
            // The body was larger than the exchange takes; nothing of it is kept.
            tooLarge,
            // The body's content encoding could not be undone.
            undecodable
        };
        Failure failure = Failure::none;
        // Qt's description of a failed transfer, or ours; empty on success.
        QString errorText;
        // Qt's code for how the transfer ended; NoError when we ended it ourselves.
        QNetworkReply::NetworkError transferError = QNetworkReply::NoError;
        // The HTTP status, or nothing when no HTTP answer arrived.
        std::optional<int> status;
        QByteArray body;
        // The body stopped at the byte limit of a prefix fetch.
        bool truncated = false;
    };

    // The most a model endpoint's reply may hold.
    static constexpr qint64 modelReplyLimit = 16 * 1024 * 1024;
    // An exchange that keeps trickling is still given up after this many idle time-outs (plus the
    // drain allowance of its body).
    static constexpr int ceilingFactor = 10;
    // Bytes per second: the slowest a server may take in a request body that Qt has handed to the
    // system and still count as reading it. Once the body is handed over, the wait for the answer
    // is the idle time-out plus the body's size at this rate, in whole seconds.
    static constexpr qint64 minimumDrainRate = 64 * 1024;

    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    // The instance installed by the composition root (main or a test fixture).
    static HttpClient& shared();
    static void install(HttpClient* client);
    static bool isInstalled();

    // The app's one access manager, for callers that speak to a server in their own way.
    QNetworkAccessManager& network() { return network_; }

    // Certificates trusted on top of the system's CAs; tests trust their self-signed server.
    void setExtraCaCertificates(const QList<QSslCertificate>& certificates);

    // One POST, never redirected (it may carry a key) and never resent. A body over
    // maxBodyBytes fails with tooLarge.
    QCoro::Task<Result> post(QNetworkRequest request, QByteArray body,
                             std::chrono::milliseconds idleTimeout,
                             qint64 maxBodyBytes = modelReplyLimit);
    // One GET with the same limits, never redirected.
    QCoro::Task<Result> get(QNetworkRequest request, std::chrono::milliseconds idleTimeout,
                            qint64 maxBodyBytes = modelReplyLimit);

    // A GET that keeps at most maxBytes of the body and closes the connection once it has them,
    // whatever the server sends. A gzip or deflate body is inflated as it arrives, only up to
    // maxBytes. The status is not judged: an error page's body is a body.
    QCoro::Task<Result> fetchPrefix(QNetworkRequest request, qint64 maxBytes,
                                    std::chrono::milliseconds idleTimeout);

signals:
    // Bytes moved in some exchange, up or down.
    void transferProgressed();

private:
    QNetworkRequest prepared(QNetworkRequest request) const;
    // Waits for the proxies of the URL, looked up off the GUI thread, at most the idle time-out:
    // nothing when they are known, else the timed-out result.
    QCoro::Task<std::optional<Result>> awaitProxies(QUrl url, std::chrono::milliseconds wait);
    QCoro::Task<Result> exchange(QNetworkReply* reply, std::chrono::milliseconds idleTimeout,
                                 qint64 maxBytes, bool prefix,
                                 const OneShotUpload* upload = nullptr);

    QNetworkAccessManager network_;
    // Owned by the access manager.
    ProxyAnswers* proxies_ = nullptr;
    QList<QSslCertificate> extraCaCertificates_;
};
