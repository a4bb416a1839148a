#include "tuck/TuckIntake.h"

#include "analysis/FileChooser.h"
#include "analysis/ImageDecoder.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/ItemLoaders.h"
#include "analysis/ItemProvider.h"
#include "analysis/PerceivedText.h"
#include "model/Kippet.h"
#include "model/KippetError.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/WorkerPool.h"
#include "store/KippetManager.h"

#include <QBuffer>
#include <QClipboard>
#include <QCoroFuture>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QtConcurrent>

namespace {
const QString pngType = QStringLiteral("image/png");

KippetItem newItem(KippetItemType type, const QByteArray& content, const ItemMetadata& metadata) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    item.metadata = metadata;
    item.category = ItemCategory::uncategorized;
    item.isProcessing = false;
    item.addedDate = Clock::shared().now();
    return item;
}

std::optional<QByteArray> encodePng(const QImage& image) {
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return std::nullopt;
    return bytes;
}

// Made into a PNG by a decoder process: the app never holds the pixels of a picture from outside.
std::optional<QByteArray> decodeToPng(const QByteArray& encoded) {
    std::optional<IsolatedImageDecoder::Encoded> file =
        IsolatedImageDecoder::shared()->encode(encoded);
    if (!file || ImageDecoder::formatOf(file->bytes) != QByteArray("png"))
        return std::nullopt;
    return std::move(file->bytes);
}

// Text that parses as a URL with both a scheme and a host is a link; "mailto:" is not.
bool isLinkText(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty();
}

bool isWebLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}
} // namespace

// ---- items ----

KippetItem TuckIntake::textItem(const QString& text) {
    ItemMetadata metadata;
    metadata.name = PerceivedText::prefix(text, 50);
    return newItem(KippetItemType::text, text.toUtf8(), metadata);
}

KippetItem TuckIntake::linkItem(const QString& absolute) {
    ItemMetadata metadata;
    metadata.name = absolute;
    metadata.urlString = absolute;
    return newItem(KippetItemType::url, absolute.toUtf8(), metadata);
}

KippetItem TuckIntake::imageItem(const QByteArray& pngBytes, const QString& name) {
    ItemMetadata metadata;
    metadata.name = name;
    metadata.mimeType = pngType;
    return newItem(KippetItemType::image, pngBytes, metadata);
}

QCoro::Task<std::optional<KippetItem>> TuckIntake::fileItem(QString path) {
    std::optional<QByteArray> bytes;
    try {
        bytes = co_await ItemLoaders::readFile(path);
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("⚠️ [TuckIntake] Skipped file: ") +
                  KippetsError::textOf(error));
        co_return std::nullopt;
    }
    if (!bytes)
        co_return std::nullopt;
    ItemMetadata metadata;
    metadata.name = QFileInfo(path).fileName();
    co_return newItem(KippetItemType::file, *bytes, metadata);
}

bool TuckIntake::add(const KippetItem& item, Kippet* kippet) {
    if (!kippet)
        return false;
    try {
        KippetManager::shared().addItem(item, kippet);
        return true;
    } catch (const KippetError&) {
        // The same content under the same name is there already: nothing to add.
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("⚠️ [TuckIntake] Could not add '%1': %2")
                      .arg(item.metadata.name, KippetsError::textOf(error)));
    }
    return false;
}

void TuckIntake::start(QCoro::Task<void> task) {
    [](QCoro::Task<void> running) -> QCoro::Task<void> {
        std::exception_ptr failure;
        try {
            co_await std::move(running);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure)
            co_return;
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            Log::line(QStringLiteral("⚠️ [TuckIntake] Intake failed: ") +
                      KippetsError::textOf(error));
        } catch (...) {
            Log::line(QStringLiteral("⚠️ [TuckIntake] Intake failed"));
        }
    }(std::move(task));
}

// ---- reading what is offered ----

std::optional<TuckIntake::OfferedImage> TuckIntake::offeredImage(const QMimeData& data) {
    if (data.hasFormat(pngType)) {
        const QByteArray png = data.data(pngType);
        if (!png.isEmpty())
            return OfferedImage{png, std::nullopt, std::nullopt};
    }
    if (const auto encoded = ItemProvider::takenImageBytes(data))
        return OfferedImage{std::nullopt, encoded->first, std::nullopt};
    if (const std::optional<QImage> image = ItemProvider::inProcessImage(data))
        return OfferedImage{std::nullopt, std::nullopt, *image};
    return std::nullopt;
}

TuckIntake::Content TuckIntake::contentOf(const QMimeData& data) {
    Content content;
    if (data.hasUrls())
        content.urls = data.urls();
    content.image = offeredImage(data);
    if (data.hasText())
        content.text = data.text();
    return content;
}

QCoro::Task<std::optional<QByteArray>> TuckIntake::pngBytes(OfferedImage image) {
    if (image.png)
        co_return image.png;
    if (image.encoded)
        co_return co_await QtConcurrent::run(WorkerPool::shared(), decodeToPng, *image.encoded);
    if (image.decoded)
        co_return co_await QtConcurrent::run(WorkerPool::shared(), encodePng, *image.decoded);
    co_return std::nullopt;
}

QCoro::Task<void> TuckIntake::addFiles(Kippet* kippet, QList<QUrl> urls) {
    QPointer<Kippet> target(kippet);
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const std::optional<KippetItem> item = co_await fileItem(url.toLocalFile());
        if (!target)
            co_return;
        if (item)
            add(*item, target);
    }
}

// ---- drop ----

QCoro::Task<void> TuckIntake::drop(Kippet* kippet, const QMimeData& data) {
    return dropContent(kippet, contentOf(data));
}

QCoro::Task<void> TuckIntake::dropContent(Kippet* kippet, Content content) {
    QPointer<Kippet> target(kippet);
    QList<QUrl> files;
    QList<QUrl> links;
    for (const QUrl& url : std::as_const(content.urls))
        (url.isLocalFile() ? files : links).append(url);
    // Dropped files are the drop: their names as text and their icons are no second thing.
    if (!files.isEmpty()) {
        co_await addFiles(target, files);
        co_return;
    }
    if (content.image) {
        const std::optional<QByteArray> png = co_await pngBytes(*content.image);
        if (!target)
            co_return;
        if (png) {
            add(imageItem(*png, QStringLiteral("Dropped Image.png")), target);
            co_return;
        }
    }
    if (!links.isEmpty()) {
        for (const QUrl& url : std::as_const(links))
            add(linkItem(url.toString(QUrl::FullyEncoded)), target);
        co_return;
    }
    if (content.text && !content.text->isEmpty())
        add(textItem(*content.text), target);
}

// ---- paste ----

QCoro::Task<void> TuckIntake::paste(Kippet* kippet, const QMimeData& data) {
    return pasteContent(kippet, contentOf(data));
}

QCoro::Task<void> TuckIntake::pasteFromClipboard(Kippet* kippet) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return pasteContent(kippet, Content());
    return paste(kippet, *data);
}

QCoro::Task<void> TuckIntake::pasteContent(Kippet* kippet, Content content) {
    QPointer<Kippet> target(kippet);
    if (content.image) {
        // An image that cannot be made PNG ends the paste: the text beside it only describes it.
        const std::optional<QByteArray> png = co_await pngBytes(*content.image);
        if (target && png)
            add(imageItem(*png, QStringLiteral("Pasted Image.png")), target);
        co_return;
    }
    if (!content.urls.isEmpty()) {
        for (const QUrl& url : std::as_const(content.urls)) {
            if (!target)
                co_return;
            if (url.isLocalFile()) {
                const QList<QUrl> file{url};
                co_await addFiles(target, file);
            } else if (isWebLink(url))
                add(linkItem(url.toString(QUrl::FullyEncoded)), target);
        }
        co_return;
    }
    if (!content.text || content.text->isEmpty())
        co_return;
    const QString& text = *content.text;
    add(isLinkText(text) ? linkItem(text) : textItem(text), target);
}

// ---- import ----

QCoro::Task<void> TuckIntake::importChosenFiles(Kippet* kippet) {
    QPointer<Kippet> target(kippet);
    const std::optional<QList<QUrl>> chosen = co_await FileChooser::shared().chooseFiles();
    if (!target || !chosen)
        co_return;
    co_await addFiles(target, *chosen);
}

QCoro::Task<void> TuckIntake::importFiles(Kippet* kippet, QList<QUrl> urls) {
    return addFiles(kippet, std::move(urls));
}
