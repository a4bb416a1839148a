#include "model/ItemStack.h"

QString ItemStack::displayName() const {
    for (const KippetItem& item : items) {
        if (item.customCategory) {
            return *item.customCategory;
        }
    }
    return rawValue(category);
}
