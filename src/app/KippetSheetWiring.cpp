#include "app/KippetSheetWiring.h"

#include "app/MenuBarManager.h"
#include "dashboard/CreateKippetSheet.h"
#include "dashboard/CustomInstructionsSheet.h"
#include "dashboard/InstructionsPresenter.h"
#include "dashboard/KippetCreation.h"
#include "model/Kippet.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"

#include <QPointer>

namespace {

// The creation lives as long as its sheet: a create or a cancel ends both, and the view's flag
// follows. The sheet is the view's child, so a closed window takes both with it.
QWidget* newKippetSheet(FloatingKippetView* view) {
    auto* creation = new KippetCreation(
        view, [](Kippet* kippet) { MenuBarManager::shared().showWindow(kippet); });
    creation->present();
    CreateKippetSheet* sheet = creation->sheet();
    const QPointer<FloatingKippetView> host(view);
    QObject::connect(creation, &KippetCreation::sheetClosed, creation, [creation, host] {
        creation->deleteLater();
        if (host)
            host->setShowNewKippetSheet(false);
    });
    QObject::connect(sheet, &QObject::destroyed, creation, &QObject::deleteLater);
    return sheet;
}

QWidget* customInstructionsSheet(FloatingKippetView* view) {
    Kippet* kippet = view->kippet();
    if (!kippet)
        return nullptr;
    const QPointer<FloatingKippetView> host(view);
    return InstructionsPresenter::present(kippet, view, {}, [host] {
        if (host)
            host->setShowCustomInstructionsSheet(false);
    });
}

} // namespace

namespace KippetSheetWiring {

void install() {
    FloatingKippetView::setNewKippetSheetFactory(newKippetSheet);
    FloatingKippetView::setCustomInstructionsSheetFactory(customInstructionsSheet);
}

void uninstall() {
    FloatingKippetView::setNewKippetSheetFactory({});
    FloatingKippetView::setCustomInstructionsSheetFactory({});
}

} // namespace KippetSheetWiring
