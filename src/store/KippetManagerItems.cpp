#include "store/KippetManager.h"

#include "store/StoreManager.h"

QString KippetManager::itemsDirectory(const Kippet* kippet) const {
    return storageFor(kippet).itemsDirectory(kippet->id());
}

QUrl KippetManager::fileURL(const KippetItem& item, const Kippet* kippet) const {
    return storageFor(kippet).fileURL(item, kippet->id());
}

std::optional<QString> KippetManager::itemFileExtension(const KippetItem& item) {
    return ItemStorage::itemFileExtension(item);
}

void KippetManager::addItem(const KippetItem& item, Kippet* kippet) {
    kippet->addItem(item);
    const bool ownsFile =
        !kippet->isDemoMode() && item.type == KippetItemType::file && !item.isFileReference();
    try {
        if (ownsFile)
            itemStorage_.writeNewItemFile(item, kippet->id());
        if (KippetModel* row = storedRow(kippet)) {
            KippetItemModel itemRow = KippetItemModel::fromDomain(item);
            store().addItem(itemRow, *row);
        }
    } catch (...) {
        // Half an item is worse than none: it would never be analysed and would vanish at the
        // next start.
        kippet->removeItem(item.id);
        if (ownsFile)
            itemStorage_.removeItemFiles(item, kippet->id());
        throw;
    }
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
