#include "analysis/ItemBuilders.h"

#include "analysis/ContentTypes.h"
#include "analysis/IntakeError.h"
#include "analysis/ItemLoaders.h"
#include "analysis/PerceivedText.h"
#include "platform/Clock.h"

#include <QFileInfo>
#include <QRegularExpression>

KippetItem ItemBuilders::undatedItem(KippetItemType type, const QByteArray& content,
                                     const ItemMetadata& metadata) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    item.metadata = metadata;
    item.category = ItemCategory::uncategorized;
    item.isProcessing = true;
    return item;
}

KippetItem ItemBuilders::newItem(KippetItemType type, const QByteArray& content,
                                 const ItemMetadata& metadata) {
    KippetItem item = undatedItem(type, content, metadata);
    item.addedDate = Clock::shared().now();
    return item;
}

KippetItem ItemBuilders::createLinkItem(const QUrl& url) {
    static const QRegularExpression leadingWww(QStringLiteral("^www\\."));
    const QString absolute = url.toString(QUrl::FullyEncoded);
    ItemMetadata metadata;
    const QString host = url.host();
    metadata.name = host.isEmpty() ? absolute : QString(host).replace(leadingWww, QString());
    metadata.urlString = absolute;
    return newItem(KippetItemType::url, absolute.toUtf8(), metadata);
}

KippetItem ItemBuilders::createTextItem(const QString& text) {
    ItemMetadata metadata;
    metadata.name = PerceivedText::prefix(text, 50);
    if (PerceivedText::length(text) > 50)
        metadata.name += QStringLiteral("...");
    return newItem(KippetItemType::text, text.toUtf8(), metadata);
}

QCoro::Task<KippetItem> ItemBuilders::createFileItem(QString path) {
    const QFileInfo info(path);
    const std::optional<qint64> size =
        info.exists() ? std::optional<qint64>(info.size()) : std::nullopt;
    // An unreadable file is refused rather than kept as an empty item that looks imported.
    const std::optional<QByteArray> bytes = co_await ItemLoaders::readFile(path);
    if (!bytes)
        throw IntakeError::fileReadFailed();
    KippetItem item = fileItem(path, size, *bytes);
    item.addedDate = Clock::shared().now();
    co_return item;
}

KippetItem ItemBuilders::readFileItem(const QString& path) {
    const QFileInfo info(path);
    const std::optional<qint64> size =
        info.exists() ? std::optional<qint64>(info.size()) : std::nullopt;
    const std::optional<QByteArray> bytes = ItemLoaders::readFileNow(path);
    if (!bytes)
        throw IntakeError::fileReadFailed();
    return fileItem(path, size, *bytes);
}

KippetItem ItemBuilders::fileItem(const QString& path, std::optional<qint64> size,
                                  const QByteArray& bytes) {
    const std::optional<QString> mimeType = ContentTypes::mimeTypeForFile(path);
    ItemMetadata metadata;
    metadata.name = QFileInfo(path).fileName();
    metadata.fileExtension = ContentTypes::pathExtension(metadata.name);
    metadata.mimeType = mimeType;
    if (mimeType && ContentTypes::isImageMimeType(*mimeType)) {
        metadata.fileSize = size.value_or(bytes.size());
        metadata.thumbnail = bytes;
        return undatedItem(KippetItemType::image, bytes, metadata);
    }
    metadata.fileSize = size;
    return undatedItem(KippetItemType::file, bytes, metadata);
}

std::optional<QUrl> ItemBuilders::linkFromText(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    static const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"),
                                        QStringLiteral("ftp"), QStringLiteral("ftps")};
    if (!schemes.contains(url.scheme().toLower()) || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QString ItemBuilders::timestamp() {
    return Clock::shared().now().toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
}
