#include "ui/SymbolNames.h"

#include "model/ItemCategory.h"
#include "model/KippetModel.h"

#include <QSet>

const QStringList& SymbolNames::interface() {
#define KIPPETS_SYMBOL_ENTRY(identifier, name) QStringLiteral(name),
    static const QStringList names{KIPPETS_SYMBOL_NAMES(KIPPETS_SYMBOL_ENTRY)};
#undef KIPPETS_SYMBOL_ENTRY
    return names;
}

const QStringList& SymbolNames::kippetIcons() {
    static const QStringList names{"tray.fill",
                                   "folder.fill",
                                   "star.fill",
                                   "heart.fill",
                                   "bookmark.fill",
                                   "flag.fill",
                                   "briefcase.fill",
                                   "doc.text.fill",
                                   "calendar",
                                   "paperclip",
                                   "paperplane.fill",
                                   "bolt.fill",
                                   "lightbulb.fill",
                                   "checkmark.circle.fill",
                                   "pencil",
                                   "paintbrush.pointed",
                                   "book.fill",
                                   "graduationcap.fill",
                                   "brain.head.profile",
                                   "list.bullet.rectangle",
                                   "bell.fill",
                                   "message.fill",
                                   "bubble.left.and.bubble.right.fill",
                                   "phone.fill",
                                   "photo",
                                   "camera.fill",
                                   "music.note",
                                   "film.fill",
                                   "gamecontroller.fill",
                                   "sparkles",
                                   "leaf.fill",
                                   "globe",
                                   "map.fill",
                                   "house.fill",
                                   "cart.fill",
                                   "gift.fill",
                                   "gearshape.fill",
                                   "cpu",
                                   "bolt.shield.fill",
                                   "icloud.fill",
                                   "network",
                                   "terminal.fill",
                                   "airplane",
                                   "car.fill",
                                   "bicycle",
                                   "location.fill",
                                   "signpost.right.fill",
                                   "figure.walk"};
    return names;
}

const QStringList& SymbolNames::all() {
    static const QStringList names = [] {
        QStringList gathered = interface() + kippetIcons();
        for (ItemCategory category : allItemCategories())
            gathered.append(categoryIcon(category));
        gathered.append(KippetModel().icon);
        gathered.removeDuplicates();
        return gathered;
    }();
    return names;
}

bool SymbolNames::isListed(const QString& name) {
    static const QSet<QString> listed(all().cbegin(), all().cend());
    return listed.contains(name);
}
