#include "store/KippetManager.h"

#include "store/StoreManager.h"

QString KippetManager::itemsDirectory(const Kippet* kippet) const {
    return itemStorage_.itemsDirectory(kippet->id());
}

QUrl KippetManager::fileURL(const KippetItem& item, const Kippet* kippet) const {
    return itemStorage_.fileURL(item, kippet->id());
}

std::optional<QString> KippetManager::itemFileExtension(const KippetItem& item) {
    return ItemStorage::itemFileExtension(item);
}

void KippetManager::addItem(const KippetItem& item, Kippet* kippet) {
    kippet->addItem(item);
    if (item.type == KippetItemType::file && !item.isFileReference()) {
        itemStorage_.writeNewItemFile(item, kippet->id());
    }
    KippetModel* row = cachedRow(kippet->id());
    if (!row) {
        return;
    }
    // The kippet's own list has just refused a duplicate; handing the store every item row as
    // well would have it compute a signature of every item's bytes on each add, so a kippet of a
    // thousand items would grow slower with every item.
    KippetModel target = *row;
    target.items = {};
    KippetItemModel itemRow = KippetItemModel::fromDomain(item);
    store().addItem(itemRow, target);
    row->items.append(itemRow);
}

void KippetManager::removeItem(KippetItem item, Kippet* kippet) {
    if (auto row = fetchRow(kippet->id())) {
        const auto itemRow =
            std::find_if(row->items.cbegin(), row->items.cend(),
                         [&](const KippetItemModel& r) { return r.id == item.id; });
        if (itemRow != row->items.cend()) {
            const KippetItemModel removed = *itemRow;
            store().removeItem(removed, *row);
            kippetModelMap_.insert(row->id, *row);
        }
    }
    kippet->removeItem(item.id);
    itemStorage_.removeItemFiles(item, kippet->id());
}
