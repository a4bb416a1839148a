#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QUrl>
#include <chrono>
#include <functional>

struct TestHttpRequest {
    QByteArray method;
    QByteArray path;                      // with the query
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;

    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
};

struct TestHttpResponse {
    enum class Behaviour {
        respond,          // status, headers and body, then close
        neverAnswer,      // read the request and keep the connection open, silent
        closeImmediately, // close the connection without a byte
        stream, // 200 with no Content-Length, streaming streamBytes of body until done or closed
        // 200 with no Content-Length, the body, then one byte of streamPattern per
        // trickleInterval of the shared clock until streamBytes bytes followed the body
        trickle,
        // 200 with no Content-Length and the body, then silence on an open connection
        stall
    };
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    Behaviour behaviour = Behaviour::respond;
    qint64 streamBytes = 0;
    QByteArray streamPattern = QByteArray(1024, 'a');
    std::chrono::milliseconds trickleInterval{1000};
    // respond: the answer waits this long on the shared clock, the connection open and silent
    std::chrono::milliseconds delay{0};

    static TestHttpResponse json(const QByteArray& body, int status = 200);
    static TestHttpResponse html(const QByteArray& body, int status = 200);
};

// A small HTTP/1.1 server on 127.0.0.1 for tests of network code: records every request and
// answers through a handler. With a certificate and key it speaks TLS.
class TestHttpServer : public QTcpServer {
    Q_OBJECT
public:
    using Handler = std::function<TestHttpResponse(const TestHttpRequest&)>;

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    bool start();
    bool startTls(const QSslCertificate& certificate, const QSslKey& key);
    QUrl baseUrl() const;

    void setHandler(Handler handler) { handler_ = std::move(handler); }
    // Reads requests the way a slow server does: at most `bytes` per `interval` of the shared
    // clock, the rest left to wait in the system's buffers; 0 bytes reads nothing at all. For
    // connections accepted from now on.
    void setReadPace(qint64 bytes, std::chrono::milliseconds interval);
    // On the last paced connection: request bytes read so far, and bytes that came in and wait
    // for the next turn (at most the pace).
    qint64 pacedBytesRead() const { return pacedBytesRead_; }
    qint64 pacedBytesWaiting() const;
    // Whether every byte of the paced request has come in (read or waiting).
    bool pacedRequestArrived() const;
    QList<TestHttpRequest> requests() const { return requests_; }

    // For streamed responses: body bytes the server managed to hand to the socket, and whether the
    // client closed the connection before the stream was complete.
    qint64 streamedBytes() const { return streamedBytes_; }
    bool clientClosedStream() const { return clientClosedStream_; }

    // A self-signed certificate for 127.0.0.1 and localhost, made with the openssl program.
    static bool makeSelfSignedCertificate(const QString& directory, QSslCertificate* certificate,
                                          QSslKey* key);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void serve(QTcpSocket* socket);
    void servePaced(QTcpSocket* socket);
    void readPaced(QTcpSocket* socket, const std::shared_ptr<QByteArray>& buffer);
    // Answers every complete request at the front of buffer; false once the connection is
    // handed to a behaviour that ends the conversation.
    bool answer(QTcpSocket* socket, QByteArray& buffer);
    void respond(QTcpSocket* socket, const TestHttpResponse& response);
    void stream(QTcpSocket* socket, const TestHttpResponse& response);
    void trickle(QTcpSocket* socket, const TestHttpResponse& response);
    void trickleStep(QTcpSocket* socket, const TestHttpResponse& response);
    static QByteArray openEndedHead(const TestHttpResponse& response);

    Handler handler_;
    QList<TestHttpRequest> requests_;
    bool tls_ = false;
    QSslCertificate certificate_;
    QSslKey key_;
    qint64 readPace_ = -1; // bytes per turn; below zero: read as fast as it comes
    std::chrono::milliseconds readInterval_{0};
    QPointer<QTcpSocket> pacedSocket_;
    qint64 pacedBytesRead_ = 0;
    qint64 pacedRequestBytes_ = -1; // head and body, once the head has been read
    qint64 streamedBytes_ = 0;
    bool clientClosedStream_ = false;
};
