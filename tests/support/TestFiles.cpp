#include "support/TestFiles.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>

namespace TestFiles {
QByteArray encodedImage(QSize size, const QColor& colour, const char* format) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode a test picture as %s", format);
    return bytes;
}

QByteArray folderChecksum(const QString& folder) {
    QStringList paths;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& path : std::as_const(paths)) {
        hash.addData(QDir(folder).relativeFilePath(path).toUtf8());
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        hash.addData(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    return hash.result().toHex();
}
} // namespace TestFiles
