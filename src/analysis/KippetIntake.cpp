#include "analysis/KippetIntake.h"

#include "analysis/ContentTypes.h"
#include "analysis/FileChooser.h"
#include "analysis/IntakeError.h"
#include "analysis/IntakeFailures.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/ItemAnalysisStep.h"
#include "analysis/ItemBuilders.h"
#include "analysis/ItemLoaders.h"
#include "analysis/PerceivedText.h"
#include "model/KippetError.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/WorkerPool.h"

#include <QCoroFuture>
#include <QCoroTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QPromise>
#include <QScopeGuard>
#include <QtConcurrent>

namespace {

// The form the paste log gives the program's own errors: the case name and any payload.
QString describeForLog(const std::exception& error) {
    if (dynamic_cast<const KippetError*>(&error))
        return QStringLiteral("duplicateItem");
    return KippetsError::textOf(error);
}

QString quotedList(const QStringList& values) {
    QStringList quoted;
    for (const QString& value : values)
        quoted.append(QLatin1Char('"') + value + QLatin1Char('"'));
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

KippetItem imageItem(const QByteArray& bytes, const QString& name,
                     std::optional<QString> fileExtension, const QString& mimeType) {
    ItemMetadata metadata;
    metadata.name = name;
    metadata.fileExtension = std::move(fileExtension);
    metadata.fileSize = bytes.size();
    metadata.thumbnail = bytes;
    metadata.mimeType = mimeType;
    return ItemBuilders::newItem(KippetItemType::image, bytes, metadata);
}

KippetItem fileItem(const QByteArray& bytes, const QString& name, const QString& fileExtension,
                    std::optional<QString> mimeType) {
    ItemMetadata metadata;
    metadata.name = name;
    metadata.fileExtension = fileExtension;
    metadata.fileSize = bytes.size();
    metadata.mimeType = std::move(mimeType);
    return ItemBuilders::newItem(KippetItemType::file, bytes, metadata);
}
} // namespace

KippetIntake::KippetIntake(Kippet* kippet, QObject* parent) : QObject(parent), kippet_(kippet) {}

// ---- the add step ----

QCoro::Task<bool> KippetIntake::addItemToKippet(KippetItem item) {
    checkAddable(item);
    return KippetManager::shared().addItemAsync(std::move(item), kippet_);
}

QCoro::Task<bool> KippetIntake::addPreparedItem(KippetManager::PreparedItem prepared) {
    checkAddable(*prepared.item);
    return KippetManager::shared().addItemAsync(std::move(prepared), kippet_);
}

void KippetIntake::checkAddable(const KippetItem& item) const {
    if (!kippet_)
        throw IntakeError::fileWriteFailed(QStringLiteral("The kippet no longer exists."));
    if (item.content.size() > ItemLoaders::maximumItemBytes ||
        item.metadata.thumbnail.value_or(QByteArray()).size() > ItemLoaders::maximumItemBytes)
        throw IntakeError::itemTooLarge(item.metadata.name);
}

QCoro::Task<void> KippetIntake::analyzeItem(KippetItem item) {
    return ItemAnalysisStep::analyzeItem(kippet_, std::move(item));
}

// Adds and analyses one item for the paste and the import, which log nothing around the step
// but its failure.
QCoro::Task<void> KippetIntake::addAndAnalyze(KippetItem item, IntakeFailures& failures) {
    KippetManager::PreparedItem unprepared;
    unprepared.item = std::move(item);
    return addAndAnalyze(std::move(unprepared), failures);
}

QCoro::Task<void> KippetIntake::addAndAnalyze(KippetManager::PreparedItem prepared,
                                              IntakeFailures& failures) {
    QPointer<KippetIntake> self(this);
    const KippetItem item = *prepared.item;
    bool added = false;
    try {
        added = co_await addPreparedItem(std::move(prepared));
    } catch (const std::exception& error) {
        if (self)
            failures.add(error, QStringLiteral("❌ Error adding item: "));
        co_return;
    }
    if (self && added)
        co_await analyzeItem(item);
}

void KippetIntake::reportFailures(const IntakeFailures& failures, qsizetype offered) {
    if (const std::optional<QString> summary = failures.summary(offered))
        emit errorOccurred(*summary);
}

// ---- drop ----

QCoro::Task<void> KippetIntake::handleDrop(const QMimeData& data) {
    return handleDrop(ItemProvider::fromMimeData(data));
}

QCoro::Task<void> KippetIntake::handleDrop(QList<ItemProvider> providers) {
    QPointer<KippetIntake> self(this);
    const qsizetype count = providers.size();
    IntakeFailures failures;
    Log::line(QStringLiteral("📦 Handling drop with %1 provider(s)").arg(count));
    for (qsizetype index = 0; index < count; ++index) {
        const ItemProvider& provider = providers[index];
        Log::line(QStringLiteral("📦 Processing provider %1/%2").arg(index + 1).arg(count));
        Log::line(QStringLiteral("   Registered types: ") +
                  quotedList(provider.registeredTypeIdentifiers()));
        const ProviderOutcome outcome = co_await createItemFromProvider(provider);
        if (!self || !kippet_)
            co_return;
        // Only logged: the user sees no alert for what a drop could not use, only for a file
        // refused for its size.
        if (!outcome.item) {
            Log::line(QStringLiteral("❌ Failed to create item from provider"));
            if (outcome.refusal)
                failures.addLogged(*outcome.refusal);
            continue;
        }
        const KippetItem& item = *outcome.item;
        Log::line(QStringLiteral("✅ Created item: %1, type: %2")
                      .arg(item.metadata.name, rawValue(item.type)));
        bool added = false;
        bool failed = false;
        try {
            added = co_await addItemToKippet(item);
        } catch (const std::exception& error) {
            if (self)
                failures.add(error, QStringLiteral("❌ Error adding item: "));
            failed = true;
        }
        if (!self)
            co_return;
        if (failed)
            continue;
        if (!kippet_)
            co_return;
        if (!added)
            continue;
        Log::line(QStringLiteral("✅ Added item to kippet"));
        co_await analyzeItem(item);
        if (!self)
            co_return;
        Log::line(QStringLiteral("✅ Analysis complete"));
        co_await yieldEveryFrame();
        if (!self || !kippet_)
            co_return;
    }
    reportFailures(failures, count);
}

QCoro::Task<KippetIntake::ProviderOutcome>
KippetIntake::createItemFromProvider(ItemProvider provider) {
    QPointer<KippetIntake> self(this);
    Log::line(QStringLiteral("🔍 Checking provider types..."));
    if (provider.hasItemConformingTo(ItemProviderType::image)) {
        Log::line(QStringLiteral("   Found image type"));
        std::optional<KippetItem> item = co_await imageKind(provider);
        if (item || !self)
            co_return ProviderOutcome{std::move(item), std::nullopt};
    }
    if (provider.hasItemConformingTo(ItemProviderType::fileURL)) {
        Log::line(QStringLiteral("   Found fileURL type"));
        ProviderOutcome outcome = co_await fileURLKind(provider);
        if (outcome.item || outcome.refusal || !self)
            co_return outcome;
    }
    if (provider.hasItemConformingTo(ItemProviderType::url)) {
        Log::line(QStringLiteral("   Found URL type"));
        if (std::optional<KippetItem> item = urlKind(provider))
            co_return ProviderOutcome{std::move(item), std::nullopt};
    }
    if (provider.hasItemConformingTo(ItemProviderType::plainText)) {
        Log::line(QStringLiteral("   Found plainText type"));
        if (std::optional<KippetItem> item = plainTextKind(provider))
            co_return ProviderOutcome{std::move(item), std::nullopt};
    }
    Log::line(QStringLiteral("❌ No matching type found for provider"));
    co_return ProviderOutcome{};
}

QCoro::Task<std::optional<KippetItem>> KippetIntake::imageKind(ItemProvider provider) {
    try {
        const LoadedImageFile file = co_await ItemLoaders::loadImageFile(provider);
        Log::line(QStringLiteral("   ✅ Loaded image file: %1, size: %2 bytes")
                      .arg(file.name, QString::number(file.bytes.size())));
        const QString extension = ContentTypes::pathExtension(file.name).toLower();
        co_return imageItem(file.bytes, file.name, extension,
                            ContentTypes::imageMimeTypeForExtension(extension));
    } catch (const std::exception& error) {
        Log::line(
            QStringLiteral("   ⚠️ loadFileRepresentation for image failed, trying data: ") +
            KippetsError::textOf(error));
    }
    const std::optional<QByteArray> bytes = co_await ItemLoaders::loadImageData(provider);
    if (!bytes) {
        Log::line(QStringLiteral("   ❌ Failed to load image"));
        co_return std::nullopt;
    }
    Log::line(QStringLiteral("   ✅ Loaded image as Data (%1 bytes)").arg(bytes->size()));
    co_return imageItem(*bytes, QStringLiteral("Image ") + ItemBuilders::timestamp(), std::nullopt,
                        QStringLiteral("image/png"));
}

QCoro::Task<KippetIntake::ProviderOutcome> KippetIntake::fileURLKind(ItemProvider provider) {
    try {
        const LoadedFile file = co_await ItemLoaders::loadFileURL(provider);
        Log::line(QStringLiteral("   ✅ Loaded file: %1, size: %2 bytes, type: %3")
                      .arg(file.name, QString::number(file.bytes.size()),
                           file.mimeType.value_or(QStringLiteral("unknown"))));
        if (file.mimeType && ContentTypes::isImageMimeType(*file.mimeType))
            co_return ProviderOutcome{
                imageItem(file.bytes, file.name, file.pathExtension, *file.mimeType), std::nullopt};
        co_return ProviderOutcome{
            fileItem(file.bytes, file.name, file.pathExtension, file.mimeType), std::nullopt};
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("   ❌ loadFileRepresentation failed: ") +
                  KippetsError::textOf(error));
        Log::line(QStringLiteral("   ❌ All fileURL loading methods failed"));
        const auto* refused = dynamic_cast<const IntakeError*>(&error);
        if (refused && refused->errorCase() == IntakeError::Case::itemTooLarge)
            co_return ProviderOutcome{std::nullopt, KippetsError::textOf(error)};
    }
    co_return ProviderOutcome{};
}

std::optional<KippetItem> KippetIntake::urlKind(const ItemProvider& provider) {
    if (const std::optional<QUrl> url = provider.url(); url && url->isValid()) {
        Log::line(QStringLiteral("   ✅ Loaded URL: ") + url->toString(QUrl::FullyEncoded));
        return ItemBuilders::createLinkItem(*url);
    }
    // The second reading: the URL as the bytes the data holds.
    if (const std::optional<QByteArray> bytes = provider.urlBytes()) {
        const QUrl url = QUrl::fromEncoded(*bytes, QUrl::TolerantMode);
        if (url.isValid() && !url.isEmpty()) {
            Log::line(QStringLiteral("   ✅ Loaded URL from Data: ") +
                      url.toString(QUrl::FullyEncoded));
            return ItemBuilders::createLinkItem(url);
        }
    }
    Log::line(QStringLiteral("   ❌ Failed to load URL"));
    return std::nullopt;
}

std::optional<KippetItem> KippetIntake::plainTextKind(const ItemProvider& provider) {
    const std::optional<QString> text = provider.text();
    if (!text) {
        Log::line(QStringLiteral("   ❌ Failed to load text"));
        return std::nullopt;
    }
    const QString trimmed = text->trimmed();
    Log::line(QStringLiteral("   ✅ Loaded text: ") + PerceivedText::prefix(trimmed, 50) +
              QStringLiteral("..."));
    if (const std::optional<QUrl> link = ItemBuilders::linkFromText(*text)) {
        Log::line(QStringLiteral("   Detected as URL"));
        return ItemBuilders::createLinkItem(*link);
    }
    return ItemBuilders::createTextItem(*text);
}

// ---- paste ----

KippetItem KippetIntake::itemFromText(const QString& text) {
    if (const std::optional<QUrl> link = ItemBuilders::linkFromText(text))
        return ItemBuilders::createLinkItem(*link);
    return ItemBuilders::createTextItem(text);
}

KippetIntake::PasteContent KippetIntake::pasteContent(const QMimeData& data) {
    PasteContent content;
    // Encoded bytes only of a format the intake decodes; an image in this process as it is.
    if (const auto bytes = ItemProvider::takenImageBytes(data))
        content.image = PastedImage{{}, bytes->first};
    else if (const std::optional<QImage> image = ItemProvider::inProcessImage(data))
        content.image = PastedImage{*image, {}};
    if (data.hasUrls())
        content.urls = data.urls();
    if (data.hasText())
        content.text = data.text();
    return content;
}

QCoro::Task<void> KippetIntake::pasteFromPasteboard(const QMimeData& data) {
    return paste(pasteContent(data));
}

QCoro::Task<void> KippetIntake::paste(PasteContent content) {
    QPointer<KippetIntake> self(this);
    Log::line(QStringLiteral("📋 Starting paste operation"));
    bool imageRefused = false;
    if (content.image) {
        const PastedPicture pasted = co_await pasteImage(*content.image);
        if (pasted == PastedPicture::handled || !self)
            co_return;
        // Told already why no picture can be taken at all: not told again that this one failed.
        imageRefused = pasted == PastedPicture::refused;
    } else {
        Log::line(QStringLiteral("❌ No image found in clipboard, checking Priority 2"));
    }
    if (!content.urls.isEmpty()) {
        co_await pasteUrls(content.urls);
        co_return;
    }
    if (!content.text) {
        // A picture the decoder refused, with nothing else to paste in its place: the user is
        // told, or the paste would seem not to have happened.
        if (imageRefused) {
            IntakeFailures failures;
            failures.addLogged(IntakeError::imageReadFailed());
            reportFailures(failures, 1);
        }
        co_return;
    }
    IntakeFailures failures;
    co_await addAndAnalyze(itemFromText(*content.text), failures);
    if (self)
        reportFailures(failures, 1);
}

// False when the image could not be encoded and the paste falls through to the next priority.
QCoro::Task<KippetIntake::PastedPicture> KippetIntake::pasteImage(PastedImage image) {
    QPointer<KippetIntake> self(this);
    Log::line(QStringLiteral("✅ Found image in clipboard"));
    // Named by the moment of the paste, not by when its bytes come back from a decoder: a picture
    // pasted twice in one second is the same item however long either took.
    const QString moment = ItemBuilders::timestamp();
    const std::shared_ptr<PasteInFlight> earlier = pasteInFlight(image);
    auto flight = std::make_shared<PasteInFlight>();
    flight->source = image;
    flight->encoding =
        earlier ? earlier->encoding
                : QtConcurrent::run(WorkerPool::shared(),
                                    [encoder = encoder_, image] { return encoder(image); });
    QPromise<void> landing;
    landing.start();
    flight->landed = landing.future();
    pastesInFlight_.append(flight);
    const auto land = [&landing, self, flight] {
        landing.finish();
        if (self)
            self->pastesInFlight_.removeOne(flight);
    };
    // However the paste ends, later pastes of the picture go on.
    const auto landedAnyway = qScopeGuard(land);
    if (earlier) {
        QFuture<void> before = earlier->landed;
        co_await before;
    }
    // Named: GCC 12 mishandles temporaries that live across a suspension.
    QFuture<std::optional<EncodedImage>> encoding = flight->encoding;
    const std::optional<EncodedImage> encoded = co_await encoding;
    if (!self || !kippet_)
        co_return PastedPicture::handled;
    if (!encoded) {
        // Once, the first time: why no picture can be taken on this system at all.
        if (const std::optional<QString> refusal =
                IsolatedImageDecoder::shared()->refusalToTell()) {
            emit errorOccurred(*refusal);
            co_return PastedPicture::refusedAndTold;
        }
        co_return PastedPicture::refused;
    }
    Log::line(QStringLiteral("🎨 Creating image item (%1 bytes)").arg(encoded->bytes.size()));
    const QString name = QStringLiteral("Pasted Image %1.%2").arg(moment, encoded->fileExtension);
    const KippetItem item =
        imageItem(encoded->bytes, name, encoded->fileExtension, encoded->mimeType);
    Log::line(QStringLiteral("✅ Image item created with type: ") + rawValue(item.type));
    bool added = false;
    try {
        added = co_await addItemToKippet(item);
    } catch (const std::exception& error) {
        land();
        if (self) {
            Log::line(QStringLiteral("❌ Error: ") + describeForLog(error));
            IntakeFailures failures;
            failures.addLogged(error);
            reportFailures(failures, 1);
        }
        co_return PastedPicture::handled;
    }
    // In the kippet now, where the duplicate check sees it: the next paste need not wait for its
    // analysis.
    land();
    if (!self || !added)
        co_return PastedPicture::handled;
    Log::line(QStringLiteral("✅ Image added to kippet"));
    co_await analyzeItem(item);
    if (self)
        Log::line(QStringLiteral("✅ Analysis complete"));
    co_return PastedPicture::handled;
}

std::shared_ptr<KippetIntake::PasteInFlight>
KippetIntake::pasteInFlight(const PastedImage& image) const {
    for (auto it = pastesInFlight_.crbegin(); it != pastesInFlight_.crend(); ++it) {
        if (isSamePicture((*it)->source, image))
            return *it;
    }
    return nullptr;
}

bool KippetIntake::isSamePicture(const PastedImage& one, const PastedImage& other) {
    if (!one.encodedBytes.isEmpty() || !other.encodedBytes.isEmpty())
        return one.encodedBytes == other.encodedBytes;
    return one.image == other.image;
}

QCoro::Task<void> KippetIntake::pasteUrls(QList<QUrl> urls) {
    return addUrls(std::move(urls), true);
}

// One item per URL, each added and analysed before the next goes into the kippet. Pasted URLs
// (remoteAsLinks) are taken as a drop takes them: remote ones become links, and so does a file
// URL whose bytes cannot be read (a folder, say); a chosen file that cannot be read is reported.
// What could not be kept is told in one alert at the end.
// The next file is read and its bytes written on a worker meanwhile (KippetManager::prepareItem),
// so that the GUI thread is left only listing items and committing their rows.
QCoro::Task<void> KippetIntake::addUrls(QList<QUrl> urls, bool remoteAsLinks) {
    QPointer<KippetIntake> self(this);
    const auto readsFile = [&](qsizetype index) {
        return index < urls.size() &&
               (!remoteAsLinks || ItemProvider::namesLocalFile(urls.at(index)));
    };
    if (!kippet_)
        co_return;
    std::optional<QFuture<KippetManager::PreparedItem>> ahead;
    IntakeFailures failures;
    for (qsizetype index = 0; index < urls.size(); ++index) {
        const QUrl url = urls.at(index);
        std::optional<QFuture<KippetManager::PreparedItem>> preparing =
            std::exchange(ahead, std::nullopt);
        if (readsFile(index) && !preparing)
            preparing = prepareFile(url.toLocalFile());
        if (readsFile(index + 1) && fitsAhead(urls.at(index + 1).toLocalFile()))
            ahead = prepareFile(urls.at(index + 1).toLocalFile());
        if (!preparing) {
            co_await addAndAnalyze(ItemBuilders::createLinkItem(url), failures);
        } else {
            KippetManager::PreparedItem prepared = co_await *preparing;
            preparing.reset();
            if (!self || !kippet_)
                co_return;
            if (prepared.failure && remoteAsLinks && isUnreadableFile(prepared.failure)) {
                co_await addAndAnalyze(ItemBuilders::createLinkItem(url), failures);
            } else if (prepared.failure) {
                failures.add(prepared.failure, QStringLiteral("❌ Error adding item: "));
            } else {
                prepared.item->addedDate = Clock::shared().now();
                co_await addAndAnalyze(std::move(prepared), failures);
            }
        }
        if (!self || !kippet_)
            co_return;
        co_await yieldEveryFrame();
        if (!self || !kippet_)
            co_return;
    }
    reportFailures(failures, urls.size());
}

bool KippetIntake::isUnreadableFile(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const IntakeError& error) {
        return error.errorCase() == IntakeError::Case::fileReadFailed;
    } catch (...) {
        return false;
    }
}

QFuture<KippetManager::PreparedItem> KippetIntake::prepareFile(const QString& path) {
    return KippetManager::shared().prepareItem([path] { return ItemBuilders::readFileItem(path); },
                                               kippet_);
}

// Only files small enough to be held beside the one being added are prepared before their turn.
bool KippetIntake::fitsAhead(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.size() <= readAheadBytes;
}

// Small files are read at once and the classifier answers at once, so a long run of items may
// never wait: hand the event loop a turn every frame, so the window keeps drawing and the saves
// the analyses asked for go out together.
QCoro::Task<void> KippetIntake::yieldEveryFrame() {
    if (sinceYield_.isValid() && sinceYield_.elapsed() < frameMilliseconds)
        co_return;
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    sinceYield_.start();
}

// ---- import ----

QCoro::Task<void> KippetIntake::importChosenFiles() {
    QPointer<KippetIntake> self(this);
    const std::optional<QList<QUrl>> chosen = co_await FileChooser::shared().chooseFiles();
    if (!self || !chosen)
        co_return;
    co_await importFiles(*chosen);
}

QCoro::Task<void> KippetIntake::importFiles(QList<QUrl> urls) {
    return addUrls(std::move(urls), false);
}
