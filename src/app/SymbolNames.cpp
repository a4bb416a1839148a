#include "app/SymbolNames.h"

#include "dashboard/IconGrid.h"
#include "dashboard/KippetForm.h"
#include "model/ItemCategory.h"
#include "model/KippetModel.h"

#include <QSet>

const QStringList& SymbolNames::interface() {
#define KIPPETS_SYMBOL_ENTRY(identifier, name) QStringLiteral(name),
    static const QStringList names{KIPPETS_SYMBOL_NAMES(KIPPETS_SYMBOL_ENTRY)};
#undef KIPPETS_SYMBOL_ENTRY
    return names;
}

const QStringList& SymbolNames::all() {
    static const QStringList names = [] {
        QStringList gathered = interface() + IconGrid::iconOptions();
        for (ItemCategory category : allItemCategories())
            gathered.append(categoryIcon(category));
        gathered.append(KippetModel().icon);
        gathered.append(KippetForm::defaultIcon);
        gathered.removeDuplicates();
        return gathered;
    }();
    return names;
}

bool SymbolNames::isListed(const QString& name) {
    static const QSet<QString> listed(all().cbegin(), all().cend());
    return listed.contains(name);
}
