#include "ui/SymbolNames.h"

#include "dashboard/IconGrid.h"
#include "dashboard/KippetForm.h"
#include "model/ItemCategory.h"
#include "model/KippetModel.h"

#include <QSet>

const QStringList& SymbolNames::interface() {
    static const QStringList names{QStringLiteral("apple.intelligence"),
                                   QStringLiteral("arrow.down.circle"),
                                   QStringLiteral("arrow.down.circle.fill"),
                                   QStringLiteral("arrow.down.doc"),
                                   QStringLiteral("arrow.down.right.and.arrow.up.left"),
                                   QStringLiteral("arrow.down.to.line"),
                                   QStringLiteral("arrow.left.to.line"),
                                   QStringLiteral("arrow.right.to.line"),
                                   QStringLiteral("arrow.triangle.2.circlepath"),
                                   QStringLiteral("arrow.up.and.down.and.arrow.left.and.right"),
                                   QStringLiteral("arrow.up.forward.app"),
                                   QStringLiteral("arrow.up.left.and.arrow.down.right"),
                                   QStringLiteral("arrow.up.left.and.arrow.down.right.square.fill"),
                                   QStringLiteral("arrow.up.right"),
                                   QStringLiteral("arrow.up.to.line"),
                                   QStringLiteral("book.fill"),
                                   QStringLiteral("bookmark.fill"),
                                   QStringLiteral("calendar"),
                                   QStringLiteral("camera.fill"),
                                   QStringLiteral("checklist"),
                                   QStringLiteral("checkmark"),
                                   QStringLiteral("checkmark.circle"),
                                   QStringLiteral("checkmark.circle.fill"),
                                   QStringLiteral("checkmark.icloud.fill"),
                                   QStringLiteral("checkmark.shield.fill"),
                                   QStringLiteral("chevron.down"),
                                   QStringLiteral("chevron.left"),
                                   QStringLiteral("chevron.left.forwardslash.chevron.right"),
                                   QStringLiteral("chevron.right"),
                                   QStringLiteral("circle"),
                                   QStringLiteral("clock"),
                                   QStringLiteral("clock.arrow.circlepath"),
                                   QStringLiteral("clock.fill"),
                                   QStringLiteral("contextualmenu.and.cursorarrow"),
                                   QStringLiteral("doc.fill"),
                                   QStringLiteral("doc.on.clipboard"),
                                   QStringLiteral("doc.on.clipboard.fill"),
                                   QStringLiteral("doc.on.doc"),
                                   QStringLiteral("doc.text.fill"),
                                   QStringLiteral("exclamationmark.triangle.fill"),
                                   QStringLiteral("externaldrive.fill"),
                                   QStringLiteral("eye.fill"),
                                   QStringLiteral("eye.slash.fill"),
                                   QStringLiteral("eyedropper.full"),
                                   QStringLiteral("folder"),
                                   QStringLiteral("folder.badge.gearshape"),
                                   QStringLiteral("folder.fill"),
                                   QStringLiteral("folder.fill.badge.plus"),
                                   QStringLiteral("gear"),
                                   QStringLiteral("graduationcap"),
                                   QStringLiteral("hand.raised"),
                                   QStringLiteral("heart.fill"),
                                   QStringLiteral("icloud.fill"),
                                   QStringLiteral("info.circle.fill"),
                                   QStringLiteral("key.fill"),
                                   QStringLiteral("lightbulb.fill"),
                                   QStringLiteral("link"),
                                   QStringLiteral("list.bullet"),
                                   QStringLiteral("lock.shield.fill"),
                                   QStringLiteral("macwindow"),
                                   QStringLiteral("magnifyingglass"),
                                   QStringLiteral("minus.square"),
                                   QStringLiteral("minus.square.fill"),
                                   QStringLiteral("network"),
                                   QStringLiteral("note.text"),
                                   QStringLiteral("paintpalette"),
                                   QStringLiteral("paintpalette.fill"),
                                   QStringLiteral("pencil.circle.fill"),
                                   QStringLiteral("photo"),
                                   QStringLiteral("photo.fill"),
                                   QStringLiteral("pip"),
                                   QStringLiteral("plus"),
                                   QStringLiteral("plus.circle"),
                                   QStringLiteral("plus.circle.fill"),
                                   QStringLiteral("questionmark.circle"),
                                   QStringLiteral("questionmark.circle.fill"),
                                   QStringLiteral("rectangle.expand.vertical"),
                                   QStringLiteral("rectangle.righthalf.inset.filled.arrow.right"),
                                   QStringLiteral("sparkles"),
                                   QStringLiteral("square.and.arrow.down"),
                                   QStringLiteral("square.and.arrow.down.fill"),
                                   QStringLiteral("square.fill"),
                                   QStringLiteral("square.grid.2x2"),
                                   QStringLiteral("star.fill"),
                                   QStringLiteral("target"),
                                   QStringLiteral("text.alignleft"),
                                   QStringLiteral("text.quote"),
                                   QStringLiteral("textformat"),
                                   QStringLiteral("trash"),
                                   QStringLiteral("tray"),
                                   QStringLiteral("tray.2.fill"),
                                   QStringLiteral("tray.fill"),
                                   QStringLiteral("xmark"),
                                   QStringLiteral("xmark.circle"),
                                   QStringLiteral("xmark.circle.fill"),
                                   QStringLiteral("xmark.icloud")};
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
