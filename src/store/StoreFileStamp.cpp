#include "store/StoreFileStamp.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <sys/stat.h>

StoreFileStamp::StoreFileStamp(QString storePath) : storePath_(std::move(storePath)) {}

QString StoreFileStamp::stampPath() const {
    return storePath_ + QStringLiteral("-clean");
}

bool StoreFileStamp::hasPendingWrites() const {
    const QFileInfo log(storePath_ + QStringLiteral("-wal"));
    return log.exists() && log.size() > 0;
}

// The file's identity, size and time of last change to the nanosecond: any write changes one.
std::optional<QByteArray> StoreFileStamp::currentStamp() const {
    struct stat status {};
    if (::stat(QFile::encodeName(storePath_).constData(), &status) != 0)
        return std::nullopt;
    return QByteArray::number(qulonglong(status.st_dev)) + ' ' +
           QByteArray::number(qulonglong(status.st_ino)) + ' ' +
           QByteArray::number(qlonglong(status.st_size)) + ' ' +
           QByteArray::number(qlonglong(status.st_mtim.tv_sec)) + ' ' +
           QByteArray::number(qlonglong(status.st_mtim.tv_nsec));
}

bool StoreFileStamp::isUnchangedSinceCleanClose() const {
    if (hasPendingWrites())
        return false;
    const std::optional<QByteArray> stamp = currentStamp();
    QFile recorded(stampPath());
    if (!stamp || !recorded.open(QIODevice::ReadOnly))
        return false;
    return recorded.read(256).trimmed() == *stamp;
}

void StoreFileStamp::recordCleanClose() const {
    const std::optional<QByteArray> stamp = currentStamp();
    if (!stamp || hasPendingWrites()) {
        QFile::remove(stampPath());
        return;
    }
    // A stamp that cannot be written only means a full check at the next start.
    QSaveFile file(stampPath());
    if (file.open(QIODevice::WriteOnly) && file.write(*stamp + '\n') > 0)
        file.commit();
}

std::optional<StoreFileStamp::Recorded> StoreFileStamp::recorded() const {
    QFile file(stampPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> fields = file.read(256).trimmed().split(' ');
    bool sizeRead = false;
    const qint64 size = fields.size() == 5 ? fields.at(2).toLongLong(&sizeRead) : 0;
    if (!sizeRead)
        return std::nullopt;
    const std::optional<QByteArray> current = currentStamp();
    const QList<QByteArray> now = current ? current->split(' ') : QList<QByteArray>();
    const bool sameFile = now.size() == 5 && now.at(0) == fields.at(0) && now.at(1) == fields.at(1);
    return Recorded{size, sameFile};
}
