#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslSocket>

#include "platform/Clock.h"

namespace {
QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 407:
        return "Proxy Authentication Required";
    case 418:
        return "I'm a teapot";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// Parses one complete request from the front of buffer; false while more bytes are needed.
bool takeRequest(QByteArray& buffer, TestHttpRequest* request) {
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    TestHttpRequest parsed;
    parsed.method = requestLine.value(0);
    parsed.path = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            parsed.headers.insert(line.left(colon).trimmed().toLower(),
                                  line.mid(colon + 1).trimmed());
    }
    const qsizetype length = parsed.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headerEnd + 4 + length)
        return false;
    parsed.body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, headerEnd + 4 + length);
    *request = parsed;
    return true;
}
} // namespace

TestHttpResponse TestHttpResponse::json(const QByteArray& body, int status) {
    TestHttpResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "application/json"}};
    response.body = body;
    return response;
}

TestHttpResponse TestHttpResponse::html(const QByteArray& body, int status) {
    TestHttpResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    response.body = body;
    return response;
}

TestHttpServer::TestHttpServer(QObject* parent) : QTcpServer(parent) {
    handler_ = [](const TestHttpRequest&) { return TestHttpResponse::json("{}", 404); };
}

TestHttpServer::~TestHttpServer() = default;

bool TestHttpServer::start() {
    return listen(QHostAddress::LocalHost, 0);
}

bool TestHttpServer::startTls(const QSslCertificate& certificate, const QSslKey& key) {
    tls_ = true;
    certificate_ = certificate;
    key_ = key;
    return start();
}

QUrl TestHttpServer::baseUrl() const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? "https" : "http").arg(serverPort()));
}

void TestHttpServer::incomingConnection(qintptr descriptor) {
    if (!tls_) {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        serve(socket);
        return;
    }
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    socket->setLocalCertificate(certificate_);
    socket->setPrivateKey(key_);
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    serve(socket);
    socket->startServerEncryption();
}

void TestHttpServer::setReadPace(qint64 bytes, std::chrono::milliseconds interval) {
    readPace_ = bytes;
    readInterval_ = interval;
}

qint64 TestHttpServer::pacedBytesWaiting() const {
    return pacedSocket_ ? pacedSocket_->bytesAvailable() : 0;
}

bool TestHttpServer::pacedRequestArrived() const {
    return pacedRequestBytes_ >= 0 && pacedBytesRead_ + pacedBytesWaiting() >= pacedRequestBytes_;
}

void TestHttpServer::serve(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (readPace_ >= 0) {
        servePaced(socket);
        return;
    }
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        answer(socket, *buffer);
    });
}

void TestHttpServer::servePaced(QTcpSocket* socket) {
    // Qt's own buffer holds one turn's bytes; beyond it the client's bytes stay in the system's
    // buffers until they fill and the client can hand over no more.
    socket->setReadBufferSize(std::max<qint64>(readPace_, 1));
    // The system's buffers take megabytes, as they may on a real connection: the client hands
    // over a body of that size long before the server has read it.
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    pacedSocket_ = socket;
    pacedBytesRead_ = 0;
    pacedRequestBytes_ = -1;
    auto buffer = std::make_shared<QByteArray>();
    Clock::shared().schedule(readInterval_, socket,
                             [this, socket, buffer] { readPaced(socket, buffer); });
}

void TestHttpServer::readPaced(QTcpSocket* socket, const std::shared_ptr<QByteArray>& buffer) {
    if (socket->state() != QAbstractSocket::ConnectedState || readPace_ <= 0)
        return;
    const QByteArray taken = socket->read(readPace_);
    pacedBytesRead_ += taken.size();
    buffer->append(taken);
    if (const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
        pacedRequestBytes_ < 0 && headEnd >= 0) {
        TestHttpRequest head;
        QByteArray headOnly = buffer->left(headEnd + 4);
        headOnly.replace("Content-Length", "X-Length").replace("content-length", "x-length");
        takeRequest(headOnly, &head);
        pacedRequestBytes_ =
            pacedBytesRead_ - buffer->size() + headEnd + 4 + head.header("x-length").toLongLong();
    }
    if (!answer(socket, *buffer))
        return;
    // The socket is the context: a closed connection ends the reading.
    Clock::shared().schedule(readInterval_, socket,
                             [this, socket, buffer] { readPaced(socket, buffer); });
}

bool TestHttpServer::answer(QTcpSocket* socket, QByteArray& buffer) {
    TestHttpRequest request;
    while (takeRequest(buffer, &request)) {
        requests_.append(request);
        const TestHttpResponse response = handler_(request);
        switch (response.behaviour) {
        case TestHttpResponse::Behaviour::respond:
            if (response.delay.count() > 0)
                Clock::shared().schedule(response.delay, socket,
                                         [this, socket, response] { respond(socket, response); });
            else
                respond(socket, response);
            break;
        case TestHttpResponse::Behaviour::neverAnswer:
            break;
        case TestHttpResponse::Behaviour::closeImmediately:
            socket->abort();
            return false;
        case TestHttpResponse::Behaviour::stream:
            stream(socket, response);
            return false;
        case TestHttpResponse::Behaviour::trickle:
            trickle(socket, response);
            return false;
        case TestHttpResponse::Behaviour::stall:
            socket->write(openEndedHead(response) + response.body);
            return false;
        }
    }
    return true;
}

void TestHttpServer::respond(QTcpSocket* socket, const TestHttpResponse& response) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonPhrase(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) +
            "\r\nConnection: close\r\n\r\n";
    socket->write(head + response.body);
    socket->disconnectFromHost();
}

QByteArray TestHttpServer::openEndedHead(const TestHttpResponse& response) {
    QByteArray head = "HTTP/1.1 200 OK\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    return head + "Connection: close\r\n\r\n";
}

void TestHttpServer::trickle(QTcpSocket* socket, const TestHttpResponse& response) {
    socket->write(openEndedHead(response) + response.body);
    streamedBytes_ = 0;
    Clock::shared().schedule(response.trickleInterval, socket,
                             [this, socket, response] { trickleStep(socket, response); });
}

void TestHttpServer::trickleStep(QTcpSocket* socket, const TestHttpResponse& response) {
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (streamedBytes_ >= response.streamBytes) {
        socket->disconnectFromHost();
        return;
    }
    socket->write(response.streamPattern.mid(
        static_cast<qsizetype>(streamedBytes_ % response.streamPattern.size()), 1));
    ++streamedBytes_;
    // The socket is the context: a closed connection ends the trickle.
    Clock::shared().schedule(response.trickleInterval, socket,
                             [this, socket, response] { trickleStep(socket, response); });
}

void TestHttpServer::stream(QTcpSocket* socket, const TestHttpResponse& response) {
    // A small kernel send buffer, so that a client that stops reading cannot have the whole
    // stream parked in socket buffers: what was sent then tells how much the client took.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
    socket->write(openEndedHead(response) + response.body);
    streamedBytes_ = response.body.size();
    clientClosedStream_ = false;
    const qint64 total = response.streamBytes;
    const QByteArray pattern = response.streamPattern;
    auto feed = [this, socket, total, pattern] {
        // Keep only a little in flight, so that what was sent tells how much the client took.
        while (streamedBytes_ < total && socket->bytesToWrite() < 64 * 1024 &&
               socket->state() == QAbstractSocket::ConnectedState) {
            const QByteArray chunk =
                pattern.left(std::min<qint64>(pattern.size(), total - streamedBytes_));
            socket->write(chunk);
            streamedBytes_ += chunk.size();
        }
        if (streamedBytes_ >= total && socket->bytesToWrite() == 0)
            socket->disconnectFromHost();
    };
    connect(socket, &QTcpSocket::bytesWritten, this, feed);
    connect(socket, &QTcpSocket::disconnected, this, [this, total] {
        if (streamedBytes_ < total)
            clientClosedStream_ = true;
    });
    feed();
}

bool TestHttpServer::makeSelfSignedCertificate(const QString& directory,
                                               QSslCertificate* certificate, QSslKey* key) {
    const QString certPath = QDir(directory).filePath(QStringLiteral("cert.pem"));
    const QString keyPath = QDir(directory).filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                   "-keyout", keyPath, "-out", certPath});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        return false;
    QFile certFile(certPath);
    QFile keyFile(keyPath);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return false;
    *certificate = QSslCertificate(certFile.readAll(), QSsl::Pem);
    *key = QSslKey(keyFile.readAll(), QSsl::Rsa, QSsl::Pem);
    return !certificate->isNull() && !key->isNull();
}
