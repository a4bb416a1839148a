#include "app/DashboardWindow.h"
#include "app/KeyboardShortcutManager.h"
#include "app/MenuBarManager.h"
#include "editors/NoteEditorWindow.h"
#include "editors/TodoEditorWindow.h"
#include "model/KeyboardShortcuts.h"
#include "model/Kippet.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/GeometryPrinting.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelDriver.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QShortcut>
#include <QTest>

using namespace PanelDriver;

namespace {
QUuid requestedKippet(const NotificationCenter::Notification& notification) {
    return notification.userInfo.value(QStringLiteral("kippetId")).toUuid();
}

void saveShortcuts(const KeyboardShortcuts& shortcuts) {
    Preferences::shared().setData(QStringLiteral("custom_keyboard_shortcuts"),
                                  shortcuts.toJsonBytes());
}
} // namespace

class KippetWindowKeysTest : public QObject {
    Q_OBJECT
private slots:
    void defaultKeysCarryOutTheirActions() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);

        type(window, Qt::Key_T);
        QVERIFY(window->todoWindow());
        QVERIFY(window->todoWindow()->isVisible());
        type(window, Qt::Key_N);
        QVERIFY(window->noteWindow());

        type(window, Qt::Key_I);
        QCOMPARE(app.notifications().count(QStringLiteral("KippetWindowImportRequested")), 1);
        QCOMPARE(requestedKippet(
                     app.notifications().named(QStringLiteral("KippetWindowImportRequested"))[0]),
                 kippet->id());
        type(window, Qt::Key_V);
        QCOMPARE(app.notifications().count(QStringLiteral("KippetWindowPasteRequested")), 1);
        QCOMPARE(requestedKippet(
                     app.notifications().named(QStringLiteral("KippetWindowPasteRequested"))[0]),
                 kippet->id());

        type(window, Qt::Key_M);
        QVERIFY(kippet->isMiniView());
        QCOMPARE(window->frame(), RectD(100, 100, 80, 80));
        type(window, Qt::Key_M);
        QVERIFY(!kippet->isMiniView());
        type(window, Qt::Key_E);
        QVERIFY(kippet->isExpanded());
        QCOMPARE(window->frame(), RectD(100, 100, 600, 500));
        type(window, Qt::Key_E);
        QVERIFY(!kippet->isExpanded());
        QCOMPARE(window->frame(), RectD(100, 100, 220, 200));

        QVERIFY(!app.registry().dashboardWindow());
        type(window, Qt::Key_D);
        QVERIFY(app.registry().dashboardWindow());
        QVERIFY(app.registry().dashboardWindow()->isVisible());
    }

    void shiftCountsButOtherModifiersDoNot() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);

        for (const Qt::KeyboardModifier modifier :
             {Qt::AltModifier, Qt::MetaModifier, Qt::ControlModifier}) {
            type(window, Qt::Key_T, modifier);
            QVERIFY2(!window->todoWindow(), qPrintable(QString::number(modifier, 16)));
            QVERIFY(!taken(window, Qt::Key_T, QStringLiteral("t"), modifier));
        }
        type(window, Qt::Key_T, Qt::ShiftModifier);
        QVERIFY(window->todoWindow());
        // A typed capital is the same key.
        QVERIFY(taken(window, Qt::Key_N, QStringLiteral("N"), Qt::ShiftModifier));
        QVERIFY(window->noteWindow());
        // A key of no shortcut goes on to the platform.
        QVERIFY(!taken(window, Qt::Key_Q, QStringLiteral("q")));
        QVERIFY(!taken(window, Qt::Key_Shift, QString(), Qt::ShiftModifier));
    }

    void keysThatDoNothingAreStillTakenAndSaveNothing() {
        AppHarness app;
        app.start();
        Kippet* expanded = app.addKippet(QStringLiteral("Wide"), {100, 100});
        expanded->setIsExpanded(true);
        app.manager().saveKippet(expanded);
        Kippet* collapsed = app.addKippet(QStringLiteral("Tile"), {800, 100});
        FloatingKippetWindow* wide = showActive(app, expanded);
        FloatingKippetWindow* tile = showActive(app, collapsed);
        AppHarness::settle();
        // Changes held in memory only: a save would store them.
        expanded->setName(QStringLiteral("Wide, unsaved"));
        collapsed->setName(QStringLiteral("Tile, unsaved"));

        QVERIFY(taken(wide, Qt::Key_M, QStringLiteral("m")));
        QVERIFY(expanded->isExpanded());
        QVERIFY(!expanded->isMiniView());
        QCOMPARE(wide->frame(), RectD(100, 100, 600, 500));
        QVERIFY(taken(tile, Qt::Key_C, QStringLiteral("c")));
        QVERIFY(!collapsed->isExpanded());
        QCOMPARE(tile->frame(), RectD(800, 100, 220, 200));
        QVERIFY(taken(tile, Qt::Key_C, QStringLiteral("C"), Qt::ShiftModifier));

        QVERIFY(stored(app, QStringLiteral("Wide")));
        QVERIFY(app.byName(QStringLiteral("Tile")));

        // "c" on an expanded panel collapses it.
        Kippet* again = app.byName(QStringLiteral("Wide"));
        FloatingKippetWindow* window = showActive(app, again);
        QVERIFY(taken(window, Qt::Key_C, QStringLiteral("c")));
        QVERIFY(!again->isExpanded());
        QCOMPARE(window->frame(), RectD(100, 100, 220, 200));
    }

    void userShortcutsWinInTableOrder() {
        AppHarness app;
        KeyboardShortcuts shortcuts;
        shortcuts.todos = QStringLiteral("c"); // over the fixed collapse key
        shortcuts.notes = QStringLiteral("x"); // shared with the dashboard, later in order
        shortcuts.dashboard = QStringLiteral("x");
        shortcuts.expand = QStringLiteral("E"); // stored in capitals: never typed
        saveShortcuts(shortcuts);
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->setIsExpanded(true);
        FloatingKippetWindow* window = showActive(app, kippet);

        type(window, Qt::Key_C);
        QVERIFY(window->todoWindow());
        QVERIFY(kippet->isExpanded());

        type(window, Qt::Key_X);
        QVERIFY(window->noteWindow());
        QVERIFY(!app.registry().dashboardWindow());

        QVERIFY(!taken(window, Qt::Key_E, QStringLiteral("E"), Qt::ShiftModifier));
        QVERIFY(!taken(window, Qt::Key_E, QStringLiteral("e")));
        QVERIFY(kippet->isExpanded());
    }

    void shortcutsFollowTheAnnouncedChoice() {
        AppHarness app;
        app.start();
        KeyboardShortcutManager& manager = app.shortcuts();
        QCOMPARE(manager.shortcuts(), KeyboardShortcuts{});

        // The tour announces a new choice with the value itself: taken without reading.
        KeyboardShortcuts announced;
        announced.todos = QStringLiteral("o");
        KeyboardShortcuts saved;
        saved.todos = QStringLiteral("p");
        saveShortcuts(saved);
        NotificationCenter::shared().post(QStringLiteral("KeyboardShortcutsUpdated"),
                                          QVariant::fromValue(announced));
        QCOMPARE(manager.shortcuts().todos, QStringLiteral("o"));
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        type(window, Qt::Key_O);
        QVERIFY(window->todoWindow());

        // Without a value the saved choice is read again.
        NotificationCenter::shared().post(QStringLiteral("KeyboardShortcutsUpdated"));
        QCOMPARE(manager.shortcuts(), saved);
        NotificationCenter::shared().post(QStringLiteral("KeyboardShortcutsUpdated"),
                                          QStringLiteral("not shortcuts"));
        QCOMPARE(manager.shortcuts(), saved);

        // Saved data that does not decode leaves the keys in force.
        Preferences::shared().setData(QStringLiteral("custom_keyboard_shortcuts"),
                                      QByteArray(R"({"todos":"q","notes":"n"})"));
        NotificationCenter::shared().post(QStringLiteral("KeyboardShortcutsUpdated"));
        QCOMPARE(manager.shortcuts(), saved);
        Preferences::shared().setData(QStringLiteral("custom_keyboard_shortcuts"),
                                      QByteArray("not json"));
        NotificationCenter::shared().post(QStringLiteral("KeyboardShortcutsUpdated"));
        QCOMPARE(manager.shortcuts(), saved);

        // A start reads the saved choice; one that does not decode gives the defaults.
        saveShortcuts(saved);
        QCOMPARE(KeyboardShortcutManager().shortcuts(), saved);
        Preferences::shared().setData(QStringLiteral("custom_keyboard_shortcuts"),
                                      QByteArray("[]"));
        QCOMPARE(KeyboardShortcutManager().shortcuts(), KeyboardShortcuts{});
    }

    void ctrlVPastesIntoAFocusedTextField() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = app.registry().showWindow(kippet);
        auto* field = new QLineEdit(window);
        field->setGeometry(20, 20, 160, 24);
        field->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        field->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));

        LogCapture log;
        type(window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field->text(), QStringLiteral("pasted"));
        type(window, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(field->text(), QStringLiteral("pastedpasted"));
        QCOMPARE(app.notifications().count(QStringLiteral("KippetWindowPasteRequested")), 0);

        const QStringList lines = log.lines();
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines[0].startsWith(QStringLiteral(
                     "⌨️ [performKeyEquivalent] Ctrl+V detected, isKeyWindow: true, "
                     "isMiniView: false, firstResponder: Optional(QLineEdit(0x")),
                 qPrintable(lines[0]));
        QCOMPARE(
            lines[1],
            QStringLiteral(
                "⌨️ [performKeyEquivalent] First responder is text view, delegating paste"));

        // Ctrl+A and Ctrl+X go to the field as well.
        type(window, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(field->selectedText(), QStringLiteral("pastedpasted"));
        type(window, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(field->text(), QString());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("pastedpasted"));
    }

    void ctrlVOnThePanelPostsOnePasteRequest() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->setIsMiniView(true);
        FloatingKippetWindow* window = showActive(app, kippet);
        // An application-wide Ctrl+V never takes the panel's key.
        QWidget main;
        main.show();
        int applicationPastes = 0;
        auto* paste = new QShortcut(QKeySequence(QStringLiteral("Ctrl+V")), &main);
        paste->setContext(Qt::ApplicationShortcut);
        connect(paste, &QShortcut::activated, &main, [&applicationPastes] { ++applicationPastes; });
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));

        LogCapture log;
        type(window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(app.notifications().count(QStringLiteral("KippetWindowPasteRequested")), 1);
        QCOMPARE(requestedKippet(
                     app.notifications().named(QStringLiteral("KippetWindowPasteRequested"))[0]),
                 kippet->id());
        // The key's two lines come first; the kippet's content view then pastes and logs its own.
        QVERIFY(log.lines().size() >= 2);
        QVERIFY2(
            log.lines()[0].startsWith(QStringLiteral(
                "⌨️ [performKeyEquivalent] Ctrl+V detected, isKeyWindow: true, isMiniView: "
                "true, firstResponder: Optional(FloatingKippetWindow(0x")),
            qPrintable(log.lines()[0]));
        QCOMPARE(
            log.lines()[1],
            QStringLiteral(
                "⌨️ [performKeyEquivalent] Posting KippetWindowPasteRequested notification"));

        type(window, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(app.notifications().count(QStringLiteral("KippetWindowPasteRequested")), 2);
        QVERIFY(taken(window, Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier));
        QCOMPARE(app.notifications().count(QStringLiteral("KippetWindowPasteRequested")), 3);
        QCOMPARE(applicationPastes, 0);
    }

    void ctrlCWithNothingToCopyPassesOn() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = app.registry().showWindow(kippet);
        QWidget main;
        main.show();
        int applicationCopies = 0;
        auto* copy = new QShortcut(QKeySequence(QStringLiteral("Ctrl+C")), &main);
        copy->setContext(Qt::ApplicationShortcut);
        connect(copy, &QShortcut::activated, &main, [&applicationCopies] { ++applicationCopies; });
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));

        type(window, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(applicationCopies, 1);
        QVERIFY(!taken(window, Qt::Key_A, QStringLiteral("\x01"), Qt::ControlModifier));
        QVERIFY(!taken(window, Qt::Key_X, QStringLiteral("\x18"),
                       Qt::ControlModifier | Qt::ShiftModifier));
        // Nothing of the panel's own keys ran.
        QVERIFY(!kippet->isExpanded());
        QCOMPARE(app.notifications().count(QStringLiteral("KippetWindowPasteRequested")), 0);
    }
};

QTEST_MAIN(KippetWindowKeysTest)
#include "KippetWindowKeysTest.moc"
