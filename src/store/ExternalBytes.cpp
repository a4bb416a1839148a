#include "store/ExternalBytes.h"

#include "store/StoreError.h"

#include <QDir>
#include <QFile>
#include <QUuid>

namespace {
// Names come from the store's rows; only our own UUID names may reach a path.
bool isOwnName(const QString& name) {
    return !QUuid::fromString(name).isNull() && !name.contains(QLatin1Char('/'));
}
} // namespace

ExternalBytes::ExternalBytes(QString folder) : folder_(std::move(folder)) {}

std::optional<QString> ExternalBytes::store(const QByteArray& bytes) const {
    if (!isEnabled() || bytes.size() < threshold)
        return std::nullopt;
    if (!QDir().mkpath(folder_))
        throw StoreError(QStringLiteral("The folder “%1” cannot be created").arg(folder_));
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.remove();
        throw StoreError(
            QStringLiteral("The file “%1” cannot be written: %2").arg(file.fileName(), reason));
    }
    return name;
}

QByteArray ExternalBytes::load(const QString& name) const {
    if (!isOwnName(name))
        throw StoreError(
            QStringLiteral("The store names an item file that is not its own: %1").arg(name));
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly))
        throw StoreError(QStringLiteral("The file “%1” cannot be read: %2")
                             .arg(file.fileName(), file.errorString()));
    return file.readAll();
}

void ExternalBytes::remove(const QStringList& names) const {
    for (const QString& name : names)
        if (isOwnName(name))
            QFile::remove(path(name));
}

void ExternalBytes::removeAllBut(const QSet<QString>& referenced) const {
    if (!isEnabled())
        return;
    const QStringList present = QDir(folder_).entryList(QDir::Files);
    for (const QString& name : present)
        if (isOwnName(name) && !referenced.contains(name))
            QFile::remove(path(name));
}

QString ExternalBytes::path(const QString& name) const {
    return folder_ + QLatin1Char('/') + name;
}
