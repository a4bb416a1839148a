#include "analysis/ItemBuilders.h"

#include "analysis/ContentTypes.h"
#include "analysis/IntakeError.h"
#include "analysis/ItemLoaders.h"
#include "analysis/PerceivedText.h"
#include "platform/Clock.h"

#include <QFileInfo>
#include <QRegularExpression>

KippetItem ItemBuilders::newItem(KippetItemType type, const QByteArray& content,
                                 const ItemMetadata& metadata) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    item.metadata = metadata;
    item.category = ItemCategory::uncategorized;
    item.isProcessing = true;
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

QCoro::Task<KippetItem>
ItemBuilders::createFileItem(QString path, std::optional<ItemLoaders::FileRead> readAhead) {
    const QFileInfo info(path);
    const std::optional<qint64> size =
        info.exists() ? std::optional<qint64>(info.size()) : std::nullopt;
    // An unreadable file is refused rather than kept as an empty item that looks imported.
    const std::optional<QByteArray> bytes =
        co_await ItemLoaders::readFile(path, std::move(readAhead));
    if (!bytes)
        throw IntakeError::fileReadFailed();
    const std::optional<QString> mimeType = ContentTypes::mimeTypeForFile(path);
    ItemMetadata metadata;
    metadata.name = info.fileName();
    metadata.fileExtension = ContentTypes::pathExtension(metadata.name);
    metadata.mimeType = mimeType;
    if (mimeType && ContentTypes::isImageMimeType(*mimeType)) {
        metadata.fileSize = size.value_or(bytes->size());
        metadata.thumbnail = *bytes;
        co_return newItem(KippetItemType::image, *bytes, metadata);
    }
    metadata.fileSize = size;
    co_return newItem(KippetItemType::file, *bytes, metadata);
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
