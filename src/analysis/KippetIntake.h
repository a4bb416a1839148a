#pragma once

#include "analysis/ItemProvider.h"
#include "analysis/PastedImageEncoder.h"
#include "model/Kippet.h"
#include "model/KippetItem.h"
#include "store/KippetManager.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class IntakeFailures;
class QMimeData;

// What one kippet takes in: drops, pastes and imported files become items that are put into the
// kippet, stored and analysed, strictly one after another. Failures the user must see arrive
// through errorOccurred with the text to show; everything else is logged. GUI thread only.
class KippetIntake : public QObject {
    Q_OBJECT
public:
    explicit KippetIntake(Kippet* kippet, QObject* parent = nullptr);

    Kippet* kippet() const { return kippet_; }

    // Copies what the drop carries before returning, so the drop event may end at once.
    QCoro::Task<void> handleDrop(const QMimeData& data);
    QCoro::Task<void> handleDrop(QList<ItemProvider> providers);
    // Takes one kind of content, by priority: an image, else URLs (links and copied files), else
    // text. The clipboard's data is copied before returning.
    QCoro::Task<void> pasteFromPasteboard(const QMimeData& data);
    // Asks FileChooser::shared() for files and imports them; a cancelled choice does nothing.
    QCoro::Task<void> importChosenFiles();
    QCoro::Task<void> importFiles(QList<QUrl> urls);

    // Puts a new item into the kippet, writes a file item's bytes into the kippet's item folder
    // and adds the item's row, all or nothing: on failure none of the three remains and the error
    // is thrown (KippetError, IntakeError, ItemFileError, DataManagerError, StoreError). The bytes
    // are written on a worker thread. False when the kippet or the item went away meanwhile.
    QCoro::Task<bool> addItemToKippet(KippetItem item);
    QCoro::Task<void> analyzeItem(KippetItem item);

    // How a pasted picture becomes the bytes it is kept as, on a worker thread:
    // PastedImageEncoder::encode, unless a test holds the pictures on their way.
    using ImageEncoder = std::function<std::optional<EncodedImage>(const PastedImage&)>;
    void setImageEncoder(ImageEncoder encoder) { encoder_ = std::move(encoder); }

signals:
    void errorOccurred(const QString& userFacingText);

private:
    // What the clipboard held, copied out of it when the paste began.
    struct PasteContent {
        std::optional<PastedImage> image;
        QList<QUrl> urls;
        std::optional<QString> text;
    };

    struct ProviderOutcome {
        std::optional<KippetItem> item;
        // A readable file refused for its size: the user is told, by name, and it is not passed
        // on as a link to itself.
        std::optional<QString> refusal;
    };

    // A pasted picture on its way to the kippet, from the paste until its item is added (or
    // refused, or the paste falls through). The duplicate check sees only items in the kippet:
    // a later paste of the same picture takes this one's encoding and goes on once it has
    // landed, so that the check sees it.
    struct PasteInFlight {
        PastedImage source;
        QFuture<std::optional<EncodedImage>> encoding;
        QFuture<void> landed;
    };

    static PasteContent pasteContent(const QMimeData& data);
    static KippetItem itemFromText(const QString& text);
    QCoro::Task<void> paste(PasteContent content);
    // How a pasted picture ended: stored (or the paste is over), refused, or refused with the
    // reason already told to the user.
    enum class PastedPicture { handled, refused, refusedAndTold };
    QCoro::Task<PastedPicture> pasteImage(PastedImage image);
    // The latest paste of the same picture still on its way; none when there is none.
    std::shared_ptr<PasteInFlight> pasteInFlight(const PastedImage& image) const;
    static bool isSamePicture(const PastedImage& one, const PastedImage& other);
    QCoro::Task<void> pasteUrls(QList<QUrl> urls);
    QCoro::Task<void> addUrls(QList<QUrl> urls, bool remoteAsLinks);
    QCoro::Task<void> yieldEveryFrame();
    QCoro::Task<void> addAndAnalyze(KippetItem item, IntakeFailures& failures);
    QCoro::Task<void> addAndAnalyze(KippetManager::PreparedItem prepared, IntakeFailures& failures);
    // The one alert of a drop, paste or import, when anything of it could not be kept.
    void reportFailures(const IntakeFailures& failures, qsizetype offered);
    // A file URL whose bytes could not be read: a folder, a file gone or not readable.
    static bool isUnreadableFile(const std::exception_ptr& failure);
    // addItemToKippet for an item whose bytes may have been written ahead.
    QCoro::Task<bool> addPreparedItem(KippetManager::PreparedItem prepared);
    // Throws what addItemToKippet throws before anything is added.
    void checkAddable(const KippetItem& item) const;
    QFuture<KippetManager::PreparedItem> prepareFile(const QString& path);
    static bool fitsAhead(const QString& path);

    QCoro::Task<ProviderOutcome> createItemFromProvider(ItemProvider provider);
    QCoro::Task<std::optional<KippetItem>> imageKind(ItemProvider provider);
    QCoro::Task<ProviderOutcome> fileURLKind(ItemProvider provider);
    static std::optional<KippetItem> urlKind(const ItemProvider& provider);
    static std::optional<KippetItem> plainTextKind(const ItemProvider& provider);

    static constexpr qint64 frameMilliseconds = 16;
    // Files up to this size are read and written before their turn: a larger one would hold its
    // bytes in memory beside the item being added.
    static constexpr qint64 readAheadBytes = 16 * 1024 * 1024;

    QPointer<Kippet> kippet_;
    ImageEncoder encoder_ = &PastedImageEncoder::encode;
    QList<std::shared_ptr<PasteInFlight>> pastesInFlight_;
    QElapsedTimer sinceYield_;
};
