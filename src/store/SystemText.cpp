#include "store/SystemText.h"

#include <QFile>
#include <cstring>

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}
