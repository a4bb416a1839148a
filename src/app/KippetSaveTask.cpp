#include "app/KippetSaveTask.h"
#include "model/Kippet.h"

#include "model/Kippet.h"
#include "store/KippetManager.h"

#include <QCoreApplication>
#include <QPointer>

void startSaveTask(Kippet* kippet) {
    QPointer<Kippet> target(kippet);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [target] {
            if (!target)
                return;
            // The manager owns its kippets, so the owner is the manager that saves them.
            if (auto* manager = qobject_cast<KippetManager*>(target->parent()))
                manager->saveKippet(target);
        },
        Qt::QueuedConnection);
}
