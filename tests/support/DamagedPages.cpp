#include "support/DamagedPages.h"

#include <QFile>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUrl>
#include <fcntl.h>
#include <optional>
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
// The page's number, read big-endian, at `at`.
qint64 pageNumberAt(const QByteArray& page, qsizetype at) {
    qint64 number = 0;
    for (qsizetype i = 0; i < 4; ++i)
        number = number << 8 | quint8(page.at(at + i));
    return number;
}

// The last leaf page under the b-tree page `page`: down its right-most children.
std::optional<qint64> lastLeaf(QFile& file, qint64 page, qint64 pageSize) {
    for (int depth = 0; depth < 32; ++depth) {
        if (!file.seek((page - 1) * pageSize))
            return std::nullopt;
        const QByteArray bytes = file.read(pageSize);
        // The first page starts with the file's header.
        const qsizetype header = page == 1 ? 100 : 0;
        if (bytes.size() != pageSize)
            return std::nullopt;
        const quint8 kind = quint8(bytes.at(header));
        // 2 and 5: interior pages of an index and of a table; their right-most child follows.
        if (kind != 2 && kind != 5)
            return depth > 0 ? std::optional(page) : std::nullopt;
        page = pageNumberAt(bytes, header + 8);
    }
    return std::nullopt;
}
} // namespace

QString DamagedPages::overwriteLastPages(const QString& storePath, const QStringList& names) {
    qint64 pageSize = 0;
    const QList<qint64> roots = rootPages(storePath, names, &pageSize);
    if (roots.size() != names.size() || pageSize <= 0)
        return QStringLiteral("the pages were not found");
    QFile file(storePath);
    if (!file.open(QIODevice::ReadWrite))
        return file.errorString();
    for (const qint64 root : roots) {
        const std::optional<qint64> leaf = lastLeaf(file, root, pageSize);
        if (!leaf)
            return QStringLiteral("a table or index of one page has no last page of its own");
        if (!file.seek((*leaf - 1) * pageSize) ||
            file.write(QByteArray(pageSize, '\xa5')) != pageSize)
            return file.errorString();
    }
    return {};
}

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
