#include "support/DamagedPages.h"

#include <QFile>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
// Read without changing anything beside the file.
QList<qint64> rootPages(const QString& path, const QStringList& names, qint64* pageSize) {
    QList<qint64> pages;
    const QString connection = QStringLiteral("damaged-pages");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        database.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                                 QStringLiteral("?immutable=1"));
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        if (database.open()) {
            QSqlQuery query(database);
            if (query.exec(QStringLiteral("PRAGMA page_size")) && query.next())
                *pageSize = query.value(0).toLongLong();
            if (query.exec(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name IN ('%1')")
                               .arg(names.join(QStringLiteral("', '")))))
                while (query.next())
                    pages.append(query.value(0).toLongLong());
        }
        database.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return pages;
}
} // namespace

QString DamagedPages::overwriteRootPages(const QString& storePath, const QStringList& names,
                                         bool keepTime) {
    const QByteArray encoded = QFile::encodeName(storePath);
    struct stat before {};
    if (::stat(encoded.constData(), &before) != 0)
        return QStringLiteral("no store file");
    qint64 pageSize = 0;
    const QList<qint64> pages = rootPages(storePath, names, &pageSize);
    if (pages.size() != names.size() || pageSize <= 0)
        return QStringLiteral("the pages were not found");
    QFile file(storePath);
    if (!file.open(QIODevice::ReadWrite))
        return file.errorString();
    for (const qint64 page : pages)
        if (!file.seek((page - 1) * pageSize) ||
            file.write(QByteArray(pageSize, '\xa5')) != pageSize)
            return file.errorString();
    file.close();
    if (keepTime) {
        const timespec times[2] = {before.st_atim, before.st_mtim};
        if (::utimensat(AT_FDCWD, encoded.constData(), times, 0) != 0)
            return QStringLiteral("the time of change could not be kept");
    }
    return {};
}
