#include "app/StatusMenu.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "app/TuckCommands.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"

#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QTest>

namespace {
// The menu as the user reads it: titles, "---" for separators, a submenu as its title.
QStringList titles(const QMenu& menu) {
    QStringList result;
    for (QAction* action : menu.actions())
        result.append(action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
}

QAction* named(const QMenu& menu, const QString& title) {
    for (QAction* action : menu.actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

const QStringList alwaysThere{QStringLiteral("New Kippet...\tCtrl+N"),
                              QStringLiteral("Create Daily Kippet"),
                              QStringLiteral("Show Dashboard\tCtrl+D"),
                              QStringLiteral("Settings...\tCtrl+,"),
                              QStringLiteral("---"),
                              QStringLiteral("Quit Kippets\tCtrl+Q")};
} // namespace

class StatusMenuTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        testClock().setNow(QDateTime(QDate(2026, 12, 5), QTime(10, 0), Qt::UTC));
    }
    void cleanup() {
        TuckCommands::install(TuckCommands{[] {}, [](Kippet*) {}, [] {}, [] {}, [] { return 0; }});
    }

    void withoutOpenKippetsOnlyTheLastGroup() {
        AppHarness app;
        app.start();
        app.manager().closeKippet(app.addKippet(QStringLiteral("Archive")));
        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        QCOMPARE(titles(menu), alwaysThere);
        // Filled again, nothing of the last opening stays.
        StatusMenu::fill(&menu, app.registry());
        QCOMPARE(titles(menu), alwaysThere);
    }

    void everyOpenKippetWithItsCount() {
        AppHarness app;
        app.start();
        Kippet* work = app.addKippet(QStringLiteral("Work"));
        app.manager().updateNote(QStringLiteral("  \n "), work);
        app.addKippet(QStringLiteral("Home"));
        app.manager().closeKippet(app.addKippet(QStringLiteral("Archive")));
        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        QCOMPARE(
            titles(menu),
            QStringList({QStringLiteral("Active Kippets"), QStringLiteral("---"),
                         QStringLiteral("Work (0 items)"), QStringLiteral("Home (0 items)"),
                         QStringLiteral("---"), QStringLiteral("Mini View All Kippets\tCtrl+M"),
                         QStringLiteral("Move Kippets"), QStringLiteral("Tuck Overview"),
                         QStringLiteral("Tuck Away"), QStringLiteral("Tuck Away All"),
                         QStringLiteral("---")}) +
                alwaysThere);
        QVERIFY(!named(menu, QStringLiteral("Active Kippets"))->isEnabled());

        app.manager().addTodo(QStringLiteral("call"), work);
        app.manager().addTodo(QStringLiteral("write"), work);
        StatusMenu::fill(&menu, app.registry());
        QVERIFY(named(menu, QStringLiteral("Work (1 items)")));
        app.manager().updateNote(QStringLiteral("agenda"), work);
        StatusMenu::fill(&menu, app.registry());
        QAction* item = named(menu, QStringLiteral("Work (2 items)"));
        QVERIFY(item);

        item->trigger();
        QVERIFY(app.windowOf(QStringLiteral("Work"))->isVisible());
        QCOMPARE(titles(*named(menu, QStringLiteral("Move Kippets"))->menu()).size(), 4);
    }

    void theTuckEntriesFollowTheTabs() {
        AppHarness app;
        app.start();
        Kippet* work = app.addKippet(QStringLiteral("Work"));
        Kippet* home = app.addKippet(QStringLiteral("Home"));
        TuckCommands commands = TuckCommands::shared();
        QList<const Kippet*> tabs{work};
        commands.hasTuckSingleWindow = [&tabs](const Kippet* kippet) {
            return tabs.contains(kippet);
        };
        commands.tuckSingleWindowCount = [&tabs] { return static_cast<int>(tabs.size()); };
        QList<Kippet*> untucked;
        commands.untuckSingleKippet = [&untucked](Kippet* kippet) { untucked.append(kippet); };
        TuckCommands::install(commands);

        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        QMenu* tuck = named(menu, QStringLiteral("Tuck Away"))->menu();
        QCOMPARE(titles(*tuck),
                 (QStringList{QStringLiteral("Untuck Work"), QStringLiteral("Home")}));
        named(*tuck, QStringLiteral("Untuck Work"))->trigger();
        QCOMPARE(untucked, QList<Kippet*>{work});

        tabs.append(home);
        StatusMenu::fill(&menu, app.registry());
        QCOMPARE(titles(*named(menu, QStringLiteral("Tuck Away"))->menu()),
                 (QStringList{QStringLiteral("Untuck Work"), QStringLiteral("Untuck Home"),
                              QStringLiteral("---"), QStringLiteral("Untuck All Kippets")}));
    }

    void namesAreShownAsTheyAreWritten() {
        AppHarness app;
        app.start();
        Kippet* research = app.addKippet(QStringLiteral("R&D"));
        Kippet* percent = app.addKippet(QStringLiteral("100%2"));
        app.manager().addTodo(QStringLiteral("call"), percent);
        TuckCommands commands = TuckCommands::shared();
        commands.hasTuckSingleWindow = [research](const Kippet* kippet) {
            return kippet == research;
        };
        TuckCommands::install(commands);

        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        // An ampersand is drawn, not taken for a mnemonic; a "%2" of the name stays itself.
        QAction* first = named(menu, QStringLiteral("R&&D (0 items)"));
        QVERIFY(first);
        QCOMPARE(first->iconText(), QStringLiteral("R&D (0 items)"));
        QVERIFY(QKeySequence::mnemonic(first->text()).isEmpty());
        QVERIFY(named(menu, QStringLiteral("100%2 (1 items)")));
        QMenu* tuck = named(menu, QStringLiteral("Tuck Away"))->menu();
        QCOMPARE(titles(*tuck),
                 (QStringList{QStringLiteral("Untuck R&&D"), QStringLiteral("100%2")}));
        for (QAction* action : tuck->actions())
            QVERIFY(QKeySequence::mnemonic(action->text()).isEmpty());
    }

    void theOverviewTitleFollowsTheTray() {
        AppHarness app;
        app.preferences().setBool(QStringLiteral("kippets_group_tucked_away"), true);
        app.start();
        app.addKippet(QStringLiteral("Work"));
        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        QVERIFY(named(menu, QStringLiteral("Untuck Overview")));
        QVERIFY(!named(menu, QStringLiteral("Tuck Overview")));
    }

    void theDailyItemIsOffWhileTodaysNameExists() {
        AppHarness app;
        app.start();
        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        QVERIFY(named(menu, QStringLiteral("Create Daily Kippet"))->isEnabled());
        Kippet* byHand = app.addKippet(QStringLiteral("Saturday 5.12."));
        app.manager().closeKippet(byHand);
        StatusMenu::fill(&menu, app.registry());
        QVERIFY(!named(menu, QStringLiteral("Create Daily Kippet"))->isEnabled());
        app.manager().deleteKippet(byHand);
        StatusMenu::fill(&menu, app.registry());
        QAction* daily = named(menu, QStringLiteral("Create Daily Kippet"));
        QVERIFY(daily->isEnabled());
        daily->trigger();
        QVERIFY(app.byName(QStringLiteral("Saturday 5.12."))->isDailyKippet());
    }

    void newKippetAsksForAName() {
        AppHarness app;
        app.start();
        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        app.dialogs().queueTextAnswer(QStringLiteral("Receipts"));
        named(menu, QStringLiteral("New Kippet...\tCtrl+N"))->trigger();
        QVERIFY(app.windowOf(QStringLiteral("Receipts"))->isVisible());
    }
};

QTEST_MAIN(StatusMenuTest)
#include "StatusMenuTest.moc"
