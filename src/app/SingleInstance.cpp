#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {
constexpr int connectTimeoutMs = 500;
const QByteArray reopenMessage = QByteArrayLiteral("reopen\n");
} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString& dataFolder) {
    const QByteArray key = qgetenv("USER") + '\n' + dataFolder.toUtf8();
    return QStringLiteral("kippets-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

bool SingleInstance::handOver(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    socket.write(reopenMessage);
    const bool sent = socket.waitForBytesWritten(connectTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

void SingleInstance::waitForExit(const QString& name, std::chrono::milliseconds limit) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < limit.count()) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (!probe.waitForConnected(connectTimeoutMs))
            return;
        probe.abort();
        QThread::msleep(100);
    }
}

bool SingleInstance::listen(const QString& name) {
    if (server_->listen(name))
        return true;
    // Nobody answered our hand-over on this name, so the socket is left from an ended run.
    QLocalServer::removeServer(name);
    return server_->listen(name);
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto readRequest = [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine();
            if (line == reopenMessage)
                emit reopenRequested();
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        readRequest();
    }
}
