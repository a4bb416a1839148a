#include "store/KippetManager.h"

#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/WorkerPool.h"
#include "store/DataManagerError.h"
#include "store/MappedBytes.h"
#include "store/StoreError.h"
#include "store/StoreManager.h"

#include <QCoroFuture>
#include <QFile>
#include <QtConcurrent>
#include <utility>

QString KippetManager::itemsDirectory(const Kippet* kippet) const {
    return storageFor(kippet).itemsDirectory(kippet->id());
}

namespace {
// The item with the bytes that are no longer the stored ones emptied, as a load leaves an item
// whose file lost bytes, and why its content is gone; nothing when its bytes are whole.
std::optional<KippetItem> lostBytesOf(const KippetItem& item) {
    const std::optional<QByteArray>& thumbnail = item.metadata.thumbnail;
    const bool thumbnailIsContent =
        thumbnail && !item.content.isEmpty() && thumbnail->constData() == item.content.constData();
    const std::optional<MappedBytes::Loss> contentLost = MappedBytes::lostBecause(item.content);
    const std::optional<MappedBytes::Loss> thumbnailLost =
        thumbnail && !thumbnailIsContent ? MappedBytes::lostBecause(*thumbnail) : std::nullopt;
    if (!contentLost && !thumbnailLost)
        return std::nullopt;
    KippetItem lost = item;
    for (const auto& loss : {contentLost, thumbnailLost})
        if (loss)
            Log::line(
                QStringLiteral("⚠️ Item \"%1\" lost its stored bytes: The file “%2” cannot "
                               "be read: %3")
                    .arg(item.metadata.name, loss->path, loss->reason));
    if (contentLost) {
        lost.content = QByteArray();
        lost.unreadableBecause = contentLost->reason;
        if (thumbnailIsContent)
            lost.metadata.thumbnail = QByteArray();
    }
    if (thumbnailLost)
        lost.metadata.thumbnail = QByteArray();
    return lost;
}
} // namespace

QUrl KippetManager::fileURL(const KippetItem& item, const Kippet* kippet) {
    return storageFor(kippet).fileURL(withBytesLookedAt(item, kippet->id()), kippet->id());
}

namespace {
bool sameArray(const QByteArray& a, const QByteArray& b) {
    return a.size() == b.size() && (a.isEmpty() || a.constData() == b.constData());
}

// The same bytes in the same buffers, and the same reason when they cannot be read.
bool sameBytesOf(const KippetItem& a, const KippetItem& b) {
    const std::optional<QByteArray>& t = a.metadata.thumbnail;
    const std::optional<QByteArray>& u = b.metadata.thumbnail;
    return sameArray(a.content, b.content) && a.unreadableBecause == b.unreadableBecause &&
           t.has_value() == u.has_value() && (!t || sameArray(*t, *u));
}
} // namespace

KippetItem KippetManager::withBytesLookedAt(const KippetItem& given, const QUuid& kippetId) {
    KippetItem item = lostBytesOf(given).value_or(given);
    // Why the bytes could not be read at an earlier look says nothing of now: a file restored
    // since is the item's again, and a reason that still holds is given as it is now.
    if (item.unreadableBecause)
        item = withBytesReadAgain(item, kippetId);
    Kippet* owner = kippet(kippetId);
    std::optional<KippetItem> held = owner ? owner->item(item.id) : std::nullopt;
    if (held && !sameBytesOf(*held, item)) {
        // Only the bytes: the caller's copy may be older than the kippet's other fields.
        held->content = item.content;
        held->metadata.thumbnail = item.metadata.thumbnail;
        held->unreadableBecause = item.unreadableBecause;
        owner->replaceItem(*held);
    }
    return item;
}

KippetItem KippetManager::withBytesReadAgain(KippetItem item, const QUuid& kippetId) {
    if (!hasContext())
        return item;
    auto found = kippetModelMap_.find(kippetId);
    if (found == kippetModelMap_.end())
        return item;
    QList<KippetItemModel>& rows = found->items;
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const KippetItemModel& r) { return r.id == item.id; });
    if (row == rows.end() || row->rowId == 0)
        return item;
    std::optional<KippetItemModel> stored;
    try {
        stored = store().fetchItem(row->rowId);
    } catch (const std::exception& error) {
        const QString text = KippetsError::textOf(error);
        Log::line(QStringLiteral("⚠️ Item \"%1\" could not be read again: %2")
                      .arg(item.metadata.name, text));
        item.unreadableBecause = text;
        return item;
    }
    if (!stored)
        return item;
    item.content = stored->content;
    item.unreadableBecause = stored->contentUnreadableBecause;
    item.metadata.thumbnail = stored->metadataThumbnail;
    row->content = stored->content;
    row->metadataThumbnail = stored->metadataThumbnail;
    row->contentUnreadableBecause = stored->contentUnreadableBecause;
    if (!item.unreadableBecause)
        Log::line(
            QStringLiteral("📦 Item \"%1\" has its stored bytes again").arg(item.metadata.name));
    return item;
}

void KippetManager::dropLostBytes() {
    QSet<QUuid> seen;
    for (const QList<Kippet*>* list : {&allKippets_, &activeKippets_}) {
        for (Kippet* owner : *list) {
            if (seen.contains(owner->id()))
                continue;
            seen.insert(owner->id());
            // A copy: replacing an item changes the kippet's list.
            const QList<KippetItem> items = owner->items();
            for (const KippetItem& item : items)
                if (std::optional<KippetItem> lost = lostBytesOf(item))
                    owner->replaceItem(*lost);
        }
    }
}

QUrl KippetManager::handOutURL(const KippetItem& item, const Kippet* kippet) {
    return storageFor(kippet).handOutURL(withBytesLookedAt(item, kippet->id()), kippet->id());
}

std::optional<QString> KippetManager::itemFileExtension(const KippetItem& item) {
    return ItemStorage::itemFileExtension(item);
}

void KippetManager::addItem(const KippetItem& item, Kippet* kippet) {
    kippet->addItem(item);
    NewItemFiles files;
    try {
        files = writeNewItemFiles(planNewItem(item, kippet));
    } catch (...) {
        kippet->removeItem(item.id);
        throw;
    }
    commitNewItem(item, kippet, std::move(files));
}

QCoro::Task<bool> KippetManager::addItemAsync(KippetItem item, Kippet* kippet) {
    kippet->addItem(item);
    NewItemPlan plan;
    try {
        plan = planNewItem(item, kippet);
    } catch (...) {
        kippet->removeItem(item.id);
        throw;
    }
    return writeAndCommitNewItem(std::move(item), kippet, std::move(plan));
}

QCoro::Task<bool> KippetManager::writeAndCommitNewItem(KippetItem item, Kippet* kippet,
                                                       NewItemPlan plan) {
    QPointer<KippetManager> self(this);
    QPointer<Kippet> target(kippet);
    if (!plan.needsWorker()) {
        commitNewItem(item, kippet, writeNewItemFiles(plan));
        co_return true;
    }
    // Named: GCC 12 mishandles temporaries that live across a suspension.
    QFuture<NewItemFiles> writing =
        QtConcurrent::run(WorkerPool::shared(), &KippetManager::writeNewItemFiles, plan);
    NewItemFiles files = co_await writing;
    if (!self || !target || !target->item(item.id)) {
        discardNewItemFiles(files);
        co_return false;
    }
    commitNewItem(item, target, std::move(files));
    co_return true;
}

struct KippetManager::WrittenAhead {
    NewItemPlan plan;
    NewItemFiles files;
    bool taken = false;

    WrittenAhead() = default;
    WrittenAhead(const WrittenAhead&) = delete;
    WrittenAhead& operator=(const WrittenAhead&) = delete;
    ~WrittenAhead() {
        if (!taken)
            discardNewItemFiles(files);
    }
    // Written for the same item, into the same places, as `now` asks.
    bool fits(const NewItemPlan& now) const {
        return !taken && plan.item.id == now.item.id && plan.kippetId == now.kippetId &&
               plan.ownsFile == now.ownsFile && plan.storage.root() == now.storage.root() &&
               plan.external.folder() == now.external.folder();
    }
};

QFuture<KippetManager::PreparedItem> KippetManager::prepareItem(std::function<KippetItem()> build,
                                                                Kippet* kippet) {
    return QtConcurrent::run(WorkerPool::shared(),
                             [build = std::move(build), plan = planForKippet(kippet)]() mutable {
                                 PreparedItem prepared;
                                 try {
                                     prepared.item = build();
                                 } catch (...) {
                                     prepared.failure = std::current_exception();
                                     return prepared;
                                 }
                                 completePlan(plan, *prepared.item);
                                 auto written = std::make_shared<WrittenAhead>();
                                 written->files = writeNewItemFiles(plan);
                                 written->plan = std::move(plan);
                                 prepared.written = std::move(written);
                                 return prepared;
                             });
}

QCoro::Task<bool> KippetManager::addItemAsync(PreparedItem prepared, Kippet* kippet) {
    if (prepared.failure)
        std::rethrow_exception(prepared.failure);
    const KippetItem item = *prepared.item;
    kippet->addItem(item);
    NewItemPlan plan;
    try {
        plan = planNewItem(item, kippet);
    } catch (...) {
        kippet->removeItem(item.id);
        throw;
    }
    if (WrittenAhead* written = prepared.written.get(); written && written->fits(plan)) {
        written->taken = true;
        commitNewItem(item, kippet, std::move(written->files));
        co_return true;
    }
    co_return co_await writeAndCommitNewItem(item, kippet, std::move(plan));
}

KippetManager::NewItemPlan KippetManager::planForKippet(Kippet* kippet) {
    NewItemPlan plan{
        ExternalBytes(QString()), itemStorage_, KippetItem(), kippet->id(), false, false};
    // A demo kippet never touches the disk: no item file, no bytes beside the store.
    plan.writesItemFiles = !kippet->isDemoMode();
    // Bytes go beside the store only for a row to name; a kippet without a row keeps none.
    if (hasContext() && storedRow(kippet))
        plan.external = store().externalBytes();
    return plan;
}

void KippetManager::completePlan(NewItemPlan& plan, const KippetItem& item) {
    plan.item = item;
    plan.ownsFile =
        plan.writesItemFiles && item.type == KippetItemType::file && !item.isFileReference();
}

KippetManager::NewItemPlan KippetManager::planNewItem(const KippetItem& item, Kippet* kippet) {
    NewItemPlan plan = planForKippet(kippet);
    completePlan(plan, item);
    return plan;
}

KippetManager::NewItemFiles KippetManager::writeNewItemFiles(const NewItemPlan& plan) {
    NewItemFiles files;
    try {
        const KippetItem& item = plan.item;
        files.bytes = plan.external.stageItem(item.content, item.metadata.thumbnail);
        if (plan.ownsFile) {
            // The item's file shares the bytes written beside the store rather than copying them.
            const QString sameBytes =
                files.bytes.content ? files.bytes.content->unfinishedPath : QString();
            files.itemFile = plan.storage.stageNewItemFile(item, plan.kippetId, sameBytes);
        }
    } catch (const StoreError& error) {
        discardNewItemFiles(files);
        files = NewItemFiles();
        files.failure = std::make_exception_ptr(DataManagerError::saveFailed(error));
    } catch (...) {
        discardNewItemFiles(files);
        files = NewItemFiles();
        files.failure = std::current_exception();
    }
    return files;
}

void KippetManager::commitNewItem(const KippetItem& item, Kippet* kippet, NewItemFiles files) {
    try {
        if (files.failure)
            std::rethrow_exception(files.failure);
        if (KippetModel* row = storedRow(kippet)) {
            KippetItemModel itemRow = KippetItemModel::fromDomain(item);
            // The store publishes the staged bytes with the row, or discards them.
            store().addItem(itemRow, *row, std::exchange(files.bytes, StagedBytes()));
        }
    } catch (...) {
        // Half an item is worse than none: it would never be analysed and would vanish at the
        // next start.
        kippet->removeItem(item.id);
        discardNewItemFiles(files);
        throw;
    }
    if (files.itemFile)
        itemStorage_.publish(*files.itemFile);
    files.itemFile.reset();
    // Bytes staged for a row that went away meanwhile.
    discardNewItemFiles(files);
}

void KippetManager::discardNewItemFiles(const NewItemFiles& files) {
    for (const auto& file : {files.bytes.content, files.bytes.thumbnail})
        if (file)
            QFile::remove(file->unfinishedPath);
    if (files.itemFile)
        QFile::remove(files.itemFile->unfinishedPath);
}

void KippetManager::removeItem(KippetItem item, Kippet* kippet) {
    if (KippetModel* row = storedRow(kippet)) {
        const auto itemRow =
            std::find_if(row->items.cbegin(), row->items.cend(),
                         [&](const KippetItemModel& r) { return r.id == item.id; });
        if (itemRow != row->items.cend()) {
            const KippetItemModel removed = *itemRow;
            store().removeItem(removed, *row);
        }
    }
    kippet->removeItem(item.id);
    storageFor(kippet).removeItemFiles(item, kippet->id());
}
