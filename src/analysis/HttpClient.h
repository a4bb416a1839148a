#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

// The one network session of the app: every cloud-model request and every page fetch goes
// through its single QNetworkAccessManager. It never throws; a transfer that did not produce an
// HTTP answer is reported as a failure with Qt's own description. GUI thread only.
class HttpClient : public QObject {
    Q_OBJECT
public:
    struct Result {
        enum class Failure { none, timeout, network };
        Failure failure = Failure::none;
        // Qt's description of a failed transfer; empty on success.
        QString errorText;
        // The HTTP status, or nothing when no HTTP answer arrived.
        std::optional<int> status;
        QByteArray body;
        // The body stopped at the byte limit of a prefix fetch.
        bool truncated = false;
    };

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

    // One POST, answered within timeout or failed with Failure::timeout.
    QCoro::Task<Result> post(QNetworkRequest request, QByteArray body,
                             std::chrono::milliseconds timeout);

    // A GET that keeps at most maxBytes of the body and closes the connection once it has them,
    // whatever the server sends. The status is not judged: an error page's body is a body.
    QCoro::Task<Result> fetchPrefix(QNetworkRequest request, qint64 maxBytes,
                                    std::chrono::milliseconds timeout);

private:
    QNetworkRequest prepared(QNetworkRequest request) const;
    QCoro::Task<Result> finish(QNetworkReply* reply, std::chrono::milliseconds timeout,
                               qint64 maxBytes);
    Result resultOf(QNetworkReply* reply, bool timedOut, bool capped, const QByteArray& body);

    QNetworkAccessManager network_;
    QList<QSslCertificate> extraCaCertificates_;
};
