#include "window/ItemSections.h"

#include "platform/Log.h"

#include <QHash>
#include <algorithm>

namespace {
QList<uint> sortKey(const QString& title) {
    return title.normalized(QString::NormalizationForm_C).toUcs4();
}

QString groupKey(const KippetItem& item) {
    return item.customCategory ? *item.customCategory : rawValue(item.category);
}

void logSummary(const QList<ItemStack>& stacks) {
    QStringList parts;
    parts.reserve(stacks.size());
    for (const ItemStack& stack : stacks)
        parts.append(QStringLiteral("%1 (%2 items)")
                         .arg(stack.displayName(), QString::number(stack.items.size())));
    Log::line(QStringLiteral("📊 [displayStacks] %1 stacks: %2")
                  .arg(QString::number(stacks.size()), parts.join(QStringLiteral(", "))));
}
} // namespace

namespace ItemSections {

bool titleLess(const QString& a, const QString& b) {
    return sortKey(a) < sortKey(b);
}

void sortStacks(QList<ItemStack>& stacks) {
    // Each key normalised once, not at every comparison.
    QList<std::pair<QList<uint>, ItemStack>> keyed;
    keyed.reserve(stacks.size());
    for (ItemStack& stack : stacks)
        keyed.append({sortKey(stack.displayName()), std::move(stack)});
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& left, const auto& right) { return left.first < right.first; });
    stacks.clear();
    for (auto& entry : keyed)
        stacks.append(std::move(entry.second));
}

QList<ItemStack> displayStacks(const QList<KippetItem>& items) {
    QList<ItemStack> stacks;
    QHash<QString, qsizetype> indexByKey;
    for (const KippetItem& item : items) {
        if (item.isProcessing)
            continue;
        const QString key = groupKey(item);
        auto found = indexByKey.constFind(key);
        if (found == indexByKey.constEnd()) {
            found = indexByKey.insert(key, stacks.size());
            stacks.append(ItemStack{QUuid::createUuid(), item.category, {}});
        }
        stacks[*found].items.append(item);
    }
    sortStacks(stacks);
    if (!stacks.isEmpty())
        logSummary(stacks);
    return stacks;
}

} // namespace ItemSections
