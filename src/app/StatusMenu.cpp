#include "app/StatusMenu.h"

#include "app/AppCommands.h"
#include "app/DailyKippet.h"
#include "app/MenuBarManager.h"
#include "app/TuckCommands.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "store/KippetManager.h"

#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <algorithm>

namespace {
QString withShortcut(const QString& title, Qt::Key key) {
    return title + QLatin1Char('\t') +
           QKeySequence(Qt::CTRL | key).toString(QKeySequence::NativeText);
}

// A kippet's name as a menu shows it: an "&" of the name is a character, not a mnemonic.
QString menuText(const QString& name) {
    QString text = name;
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

bool dailyKippetExists(const QList<Kippet*>& kippets) {
    const QString today = dailyKippetName(Clock::shared().now().toLocalTime().date());
    return std::any_of(kippets.begin(), kippets.end(),
                       [&today](const Kippet* kippet) { return kippet->name() == today; });
}

void addTuckSubmenu(QMenu* menu, const QList<Kippet*>& active) {
    QMenu* tuck = menu->addMenu(QStringLiteral("Tuck Away"));
    TuckCommands& commands = TuckCommands::shared();
    for (Kippet* kippet : active) {
        QPointer<Kippet> guarded(kippet);
        if (commands.hasTuckSingleWindow(kippet)) {
            tuck->addAction(QStringLiteral("Untuck ") + menuText(kippet->name()), tuck, [guarded] {
                if (guarded)
                    TuckCommands::shared().untuckSingleKippet(guarded);
            });
        } else {
            tuck->addAction(menuText(kippet->name()), tuck, [guarded] {
                if (guarded)
                    TuckCommands::shared().tuckSingleKippet(guarded);
            });
        }
    }
    if (commands.tuckSingleWindowCount() >= 2) {
        tuck->addSeparator();
        tuck->addAction(QStringLiteral("Untuck All Kippets"), tuck,
                        [] { TuckCommands::shared().untuckAllSingleKippets(); });
    }
}

void addKippetCommands(QMenu* menu, MenuBarManager& registry, const QList<Kippet*>& active) {
    QAction* heading = menu->addAction(QStringLiteral("Active Kippets"));
    heading->setEnabled(false);
    menu->addSeparator();
    for (Kippet* kippet : active) {
        QAction* item = menu->addAction(
            QStringLiteral("%1 (%2 items)")
                .arg(menuText(kippet->name()), QString::number(kippet->totalItemCount())));
        item->setData(QVariant::fromValue<QObject*>(kippet));
        QObject::connect(item, &QAction::triggered, &registry,
                         [&registry, item] { registry.showKippet(item); });
    }
    menu->addSeparator();
    menu->addAction(withShortcut(QStringLiteral("Mini View All Kippets"), Qt::Key_M), &registry,
                    &MenuBarManager::miniViewAllKippets);
    QMenu* move = registry.moveToEdgeMenu(menu);
    move->setTitle(QStringLiteral("Move Kippets"));
    menu->addMenu(move);
    if (registry.isTuckedAway())
        menu->addAction(QStringLiteral("Untuck Overview"), menu,
                        [] { TuckCommands::shared().untuckKippets(); });
    else
        menu->addAction(QStringLiteral("Tuck Overview"), menu,
                        [] { TuckCommands::shared().tuckAwayKippets(); });
    addTuckSubmenu(menu, active);
    menu->addAction(QStringLiteral("Tuck Away All"), menu,
                    [] { TuckCommands::shared().tuckAllKippets(); });
    menu->addSeparator();
}
} // namespace

namespace StatusMenu {

void fill(QMenu* menu, MenuBarManager& registry) {
    menu->clear();
    KippetManager& manager = KippetManager::shared();
    const QList<Kippet*> active = manager.activeKippets();
    if (!active.isEmpty())
        addKippetCommands(menu, registry, active);
    menu->addAction(withShortcut(QStringLiteral("New Kippet..."), Qt::Key_N), menu,
                    &AppCommands::newKippet);
    QAction* daily =
        menu->addAction(QStringLiteral("Create Daily Kippet"), menu, &AppCommands::newDailyKippet);
    daily->setEnabled(!dailyKippetExists(manager.allKippets()));
    menu->addAction(withShortcut(QStringLiteral("Show Dashboard"), Qt::Key_D), menu,
                    &AppCommands::showDashboard);
    menu->addAction(withShortcut(QStringLiteral("Settings..."), Qt::Key_Comma), menu,
                    &AppCommands::showSettings);
    menu->addSeparator();
    menu->addAction(withShortcut(QStringLiteral("Quit Kippets"), Qt::Key_Q), menu,
                    &AppCommands::quit);
}

} // namespace StatusMenu
