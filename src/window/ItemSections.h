#pragma once

#include "model/ItemStack.h"

#include <QList>
#include <QString>

// The sections of an expanded kippet window: its items grouped by custom category, else by
// category, in the plain order of their titles.
namespace ItemSections {
// The order of section titles: code points after canonical composition, no locale, no case
// folding, so "Zebra" stands before "apple" and a character beyond U+FFFF after every one below
// it (UTF-16 units alone would put it before U+E000..U+FFFF).
bool titleLess(const QString& a, const QString& b);
void sortStacks(QList<ItemStack>& stacks);
// The items not being analysed, grouped and ordered; each call gives the stacks new ids and logs
// one summary line when there is at least one stack.
QList<ItemStack> displayStacks(const QList<KippetItem>& items);
} // namespace ItemSections
