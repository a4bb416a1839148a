#include "app/AppMenus.h"
#include "app/AppDelegate.h"
#include "app/DashboardWindow.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "app/TuckWindowFactory.h"
#include "app/UnsavedEdits.h"
#include "editors/KippetNoteEditorView.h"
#include "editors/NoteEditorWindow.h"
#include "editors/NoteTextView.h"
#include "editors/UnsavedNotice.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/DamagedPages.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelDriver.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <functional>
#include <memory>

namespace {
// A pull tab as a real window: frameless, on top, recording nothing but being there.
class WindowTab : public QWidget, public TuckTabView {
public:
    WindowTab() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint) { resize(40, 120); }
    void moveToEdge(ScreenEdge, int, const std::optional<ScreenInfo>&,
                    const std::optional<RectD>&) override {}
    void followScreenChange(const std::optional<RectD>&) override {}
    void makeKeyAndOrderFront() override {
        show();
        activateWindow();
    }
    void orderFrontWithoutKey() override { show(); }
    void close() override { delete this; }
};

class WindowTabFactory : public TuckWindowFactory {
public:
    TuckTrayView* makeTray(ScreenEdge, const std::optional<ScreenInfo>&) override {
        return nullptr;
    }
    TuckTabView* makeTab(Kippet*, ScreenEdge, const std::optional<ScreenInfo>&) override {
        last = new WindowTab();
        return last;
    }
    QPointer<WindowTab> last;
};

// One line per item: "Menu: Title [keys]", "Menu: —" for a separator.
QStringList describe(const QMenuBar* bar) {
    QStringList lines;
    for (QAction* top : bar->actions()) {
        for (QAction* item : top->menu()->actions()) {
            if (item->isSeparator()) {
                lines.append(top->text() + QStringLiteral(": —"));
                continue;
            }
            QString line = top->text() + QStringLiteral(": ") + item->text();
            if (!item->shortcut().isEmpty())
                line += QStringLiteral(" [") +
                        item->shortcut().toString(QKeySequence::PortableText) + QLatin1Char(']');
            lines.append(line);
        }
    }
    return lines;
}

// The windows in the order they were raised.
class RaiseRecorder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ZOrderChange)
            order.append(qobject_cast<QWidget*>(watched));
        return false;
    }
    QList<QWidget*> order;
};

bool waitActive(QWidget* window) {
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Refuses every new note text as SQLite does on a full disk.
const QString fullDisk =
    QStringLiteral("full BEFORE UPDATE ON kippets WHEN NEW.note_text IS NOT OLD.note_text");

// How the application's own event loop ends when `action` runs in it: 0 for a quit, else
// stillRunning, which ends the loop after the action when nothing quit.
constexpr int stillRunning = 7;
int exitCodeAfter(const std::function<void()>& action) {
    auto running = std::make_shared<bool>(true);
    QMetaObject::invokeMethod(
        qApp,
        [action, running] {
            action();
            QMetaObject::invokeMethod(
                qApp,
                [running] {
                    if (*running)
                        QCoreApplication::exit(stillRunning);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    const int code = QApplication::exec();
    *running = false;
    return code;
}

void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    QTest::keyClick(window->windowHandle(), key, modifiers);
    AppHarness::settle();
}
} // namespace

class AppMenusTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<WindowTabFactory> tabs;
    std::unique_ptr<AppHarness> app;
    std::unique_ptr<AppMenus> menus;

    const QList<Dialogs::Shown>& shown() { return app->dialogs().shown(); }
    NoteEditorWindow* openNote() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = PanelDriver::showActive(*app, desk);
        window->showNoteEditor();
        NoteEditorWindow* editor = window->noteWindow();
        return editor && waitActive(editor) ? editor : nullptr;
    }
    void trigger(const QString& name) {
        QAction* action = menus->action(name);
        QVERIFY2(action, qPrintable(name));
        action->trigger();
        AppHarness::settle();
    }

private slots:
    void init() {
        tabs = std::make_unique<WindowTabFactory>();
        app = std::make_unique<AppHarness>();
        app->setTuckWindowFactory(tabs.get());
        PanelDriver::start(*app);
        menus = std::make_unique<AppMenus>();
        app->registry().setApplicationMenu(menus.get());
    }
    void cleanup() {
        menus.reset();
        app.reset();
        tabs.reset();
    }

    void theDashboardShowsTheFiveMenus() {
        app->registry().showDashboard();
        const QMenuBar* bar = app->registry().dashboardWindow()->menuBar();
        QVERIFY(bar);
        QCOMPARE(describe(bar), (QStringList{
                                    "Kippets: About Kippets",
                                    "Kippets: —",
                                    "Kippets: Check for Updates...",
                                    "Kippets: —",
                                    "Kippets: Preferences... [Ctrl+,]",
                                    "Kippets: —",
                                    "Kippets: Hide Kippets [Ctrl+H]",
                                    "Kippets: —",
                                    "Kippets: Quit Kippets [Ctrl+Q]",
                                    "File: New Kippet... [Ctrl+N]",
                                    "File: New Daily Kippet",
                                    "File: —",
                                    "File: Close Window [Ctrl+W]",
                                    "Edit: Undo [Ctrl+Z]",
                                    "Edit: Redo [Ctrl+Shift+Z]",
                                    "Edit: —",
                                    "Edit: Cut [Ctrl+X]",
                                    "Edit: Copy [Ctrl+C]",
                                    "Edit: Paste [Ctrl+V]",
                                    "Edit: Select All [Ctrl+A]",
                                    "Window: Dashboard [Ctrl+D]",
                                    "Window: —",
                                    "Window: Show All Kippets [Ctrl+P]",
                                    "Window: —",
                                    "Window: Minimize [Ctrl+M]",
                                    "Window: Zoom",
                                    "Window: —",
                                    "Window: Bring All to Front",
                                    "Help: Kippets Help [Ctrl+?]",
                                }));
        QCOMPARE(menus->action("redo")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
        for (const QAction* action : menus->actions())
            QCOMPARE(action->shortcutContext(), Qt::ApplicationShortcut);
        // A second dashboard shows the same actions, not copies.
        app->registry().dashboardWindow()->close();
        app->registry().showDashboard();
        QVERIFY(app->registry()
                    .dashboardWindow()
                    ->menuBar()
                    ->actions()
                    .value(1)
                    ->menu()
                    ->actions()
                    .contains(menus->action("newKippet")));
    }

    void aboutAndHelpTexts() {
        trigger("about");
        trigger("help");
        QCOMPARE(shown().size(), 2);
        QCOMPARE(shown()[0].title, QString("Kippets"));
        QCOMPARE(shown()[0].text, QString("Version 1.0\n\nA powerful kippet manager for Linux.\n\n"
                                          "Organize your files, links, notes, and more with "
                                          "AI-powered categorization."));
        QCOMPARE(shown()[1].title, QString("Kippets Help"));
        QCOMPARE(shown()[1].text,
                 QString("Getting Started:\n\n"
                         "1. Create a new kippet from the menu bar or File menu\n"
                         "2. Drag & drop files, text, links, or images into your kippet\n"
                         "3. AI will automatically categorize your items\n"
                         "4. Click the + button on any kippet to create another\n"
                         "5. Use the Dashboard to view all your kippets\n\n"
                         "Keyboard Shortcuts:\n"
                         "Ctrl+N - New Kippet\n"
                         "Ctrl+D - Dashboard\n"
                         "Ctrl+P - Show All Kippets\n"
                         "Ctrl+W - Close Window\n"
                         "Ctrl+Q - Quit Kippets"));
        QCOMPARE(shown()[1].buttons, QStringList{"OK"});
    }

    void preferencesAndUpdatesOnlyReport() {
        LogCapture log;
        trigger("preferences");
        trigger("checkForUpdates");
        QCOMPARE(shown().size(), 1);
        QCOMPARE(shown()[0].title, QString("Preferences"));
        QCOMPARE(shown()[0].text, QString("Preferences coming soon!"));
        QVERIFY(!app->registry().dashboardWindow());
        QVERIFY(log.lines().contains(
            "⚠️ [Updates] Update checker unavailable — cannot check for updates"));
    }

    void showAllKippets() {
        trigger("showAllKippets");
        QCOMPARE(shown().size(), 1);
        QCOMPARE(shown()[0].title, QString("No Active Kippets"));
        QCOMPARE(shown()[0].text, QString("Create a new kippet to get started!"));
        QVERIFY(app->manager().allKippets().isEmpty());
        QVERIFY(app->registry().floatingWindows().isEmpty());

        Kippet* desk = app->addKippet("Desk", {100, 300});
        Kippet* tucked = app->addKippet("Tucked", {500, 300});
        app->registry().showWindow(desk)->hide();
        tucked->setIsTucked(true);
        trigger("showAllKippets");
        QCOMPARE(shown().size(), 1);
        QVERIFY(app->windowOf("Desk")->isVisible());
        QVERIFY(app->windowOf("Tucked")->isVisible());
        QVERIFY(tucked->isTucked());
    }

    void newDailyKippetMakesOneEveryTime() {
        trigger("newDailyKippet");
        trigger("newDailyKippet");
        const QList<Kippet*> kippets = app->manager().allKippets();
        QCOMPARE(kippets.size(), 2);
        QVERIFY(kippets[0]->isDailyKippet() && kippets[1]->isDailyKippet());
        QCOMPARE(kippets[0]->name(), kippets[1]->name());
    }

    void ctrlNOnAPanelAsksForANewKippetWithOrWithoutTheDashboard() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = PanelDriver::showActive(*app, desk);
        app->dialogs().queueTextAnswer(std::nullopt);
        press(window, Qt::Key_N);
        QCOMPARE(shown().size(), 1);
        QCOMPARE(shown()[0].title, QString("Create New Kippet"));

        app->registry().showDashboard();
        app->registry().dashboardWindow()->close();
        QVERIFY(waitActive(window));
        app->dialogs().queueTextAnswer(QString("Receipts"));
        press(window, Qt::Key_N);
        QCOMPARE(shown().size(), 2);
        QVERIFY(app->byName("Receipts"));

        // The panel's own Ctrl+V stays its own: one paste request.
        QVERIFY(waitActive(window));
        press(window, Qt::Key_V);
        QCOMPARE(app->notifications().count(NotificationName::kippetWindowPasteRequested), 1);
    }

    void theNoteEditorKeepsCtrlN() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = PanelDriver::showActive(*app, desk);
        window->showNoteEditor();
        NoteEditorWindow* editor = window->noteWindow();
        QVERIFY(editor && waitActive(editor));
        press(editor, Qt::Key_N);
        QVERIFY(!window->noteWindow());
        QVERIFY(shown().isEmpty());
    }

    void ctrlDOnAPullTabShowsTheDashboard() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        app->registry().showWindow(desk);
        app->registry().tuckSingleKippet(desk);
        QPointer<WindowTab> tab = tabs->last;
        QVERIFY(tab && waitActive(tab));
        press(tab, Qt::Key_D);
        QVERIFY(app->registry().dashboardWindow());
        QVERIFY(app->registry().dashboardWindow()->isVisible());
    }

    void ctrlWClosesTheDashboardButNoPanel() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = PanelDriver::showActive(*app, desk);
        press(window, Qt::Key_W);
        QVERIFY(window->isVisible());
        QCOMPARE(app->registry().registeredWindow(desk->id()), window);

        app->registry().showDashboard();
        DashboardWindow* dashboard = app->registry().dashboardWindow();
        QVERIFY(waitActive(dashboard));
        press(dashboard, Qt::Key_W);
        QVERIFY(!dashboard->isVisible());
        QVERIFY(window->isVisible());
    }

    // Minimize and Zoom act on the active titled window, never on a frameless panel; Bring All
    // to Front raises every shown window and the active one last, so it stays in front.
    void minimizeZoomAndBringAllToFront() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* panel = PanelDriver::showActive(*app, desk);
        trigger("minimize");
        trigger("zoom");
        QVERIFY(!panel->isMinimized() && !panel->isMaximized());

        app->registry().showDashboard();
        DashboardWindow* dashboard = app->registry().dashboardWindow();
        QVERIFY(waitActive(dashboard));
        trigger("zoom");
        QVERIFY(dashboard->isMaximized());
        trigger("zoom");
        QVERIFY(!dashboard->isMaximized());
        trigger("minimize");
        QVERIFY(dashboard->isMinimized());
        QVERIFY(!panel->isMinimized());

        dashboard->showNormal();
        QVERIFY(waitActive(dashboard));
        Kippet* away = app->addKippet("Away", {600, 300});
        app->registry().showWindow(away)->hide();
        RaiseRecorder raises;
        for (QWidget* window : QApplication::topLevelWidgets())
            window->installEventFilter(&raises);
        trigger("bringAllToFront");
        QVERIFY(raises.order.contains(panel));
        QVERIFY(!raises.order.contains(app->windowOf("Away")));
        QCOMPARE(raises.order.last(), dashboard);
        QCOMPARE(QApplication::activeWindow(), dashboard);
        QVERIFY(panel->isVisible() && !app->windowOf("Away")->isVisible());
    }

    void editActionsGoToTheFocusedField() {
        app->registry().showDashboard();
        DashboardWindow* dashboard = app->registry().dashboardWindow();
        QVERIFY(waitActive(dashboard));
        auto* field = new QLineEdit(dashboard);
        field->setText("receipts");
        field->show();
        field->setFocus();
        field->deselect();
        trigger("selectAll");
        QCOMPARE(field->selectedText(), QString("receipts"));
        trigger("cut");
        QCOMPARE(field->text(), QString());
        trigger("undo");
        QCOMPARE(field->text(), QString("receipts"));
    }

    void theLaunchInstallsTheMenusAndAReopenUnhides() {
        menus.reset();
        app->preferences().setBool("onboarding_completed", true);
        app->relaunch();
        AppMenus* installed = app->delegate().mainMenu();
        QVERIFY(installed);
        QCOMPARE(app->registry().applicationMenu(), installed);
        DashboardWindow* dashboard = app->registry().dashboardWindow();
        QVERIFY(dashboard && dashboard->isVisible());
        QCOMPARE(dashboard->menuBar()->actions().size(), 5);
        installed->hideApplication();
        QVERIFY(!dashboard->isVisible());
        app->delegate().handleReopenRequest();
        QVERIFY(dashboard->isVisible());
        QCOMPARE(app->registry().dashboardWindow(), dashboard);
    }

    void hideKeepsTheWindowsForTheReopen() {
        Kippet* desk = app->addKippet("Desk", {100, 300});
        FloatingKippetWindow* window = PanelDriver::showActive(*app, desk);
        app->registry().showDashboard();
        trigger("hide");
        QVERIFY(!window->isVisible());
        QVERIFY(!app->registry().dashboardWindow()->isVisible());
        QVERIFY(menus->unhideApplication());
        QVERIFY(window->isVisible());
        QVERIFY(app->registry().dashboardWindow()->isVisible());
        QVERIFY(!menus->unhideApplication());
    }

    // Ctrl+Q with a note the store refused: the quit writes it once more, and only when that
    // fails too does it ask; going back keeps the app and the text.
    void quitAsksBeforeLeavingAnUnsavedNoteBehind() {
        NoteEditorWindow* editor = openNote();
        QVERIFY(editor);
        QVERIFY(app->fillDiskOn(fullDisk));
        QTest::keyClicks(editor->view()->textView(), QStringLiteral("call mum"));

        app->dialogs().queueAnswer(1);
        QCOMPARE(exitCodeAfter([&] { press(editor, Qt::Key_Q); }), stillRunning);
        QCOMPARE(shown().size(), 1);
        QCOMPARE(shown().last().title, QStringLiteral("Some changes are not saved"));
        QCOMPARE(shown().last().text,
                 QStringLiteral("Kippets could not save the note of “Desk”: the disk is full. If "
                                "you quit now, what was not saved is lost."));
        QCOMPARE(shown().last().buttons,
                 (QStringList{QStringLiteral("Quit Anyway"), QStringLiteral("Go Back")}));
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->view()->textView()->toPlainText(), QStringLiteral("call mum"));

        // The disk has room again: the quit's own write stores the note and nothing is asked.
        QVERIFY(app->failStore(QStringLiteral("DROP TRIGGER full")));
        QCOMPARE(exitCodeAfter([&] { press(editor, Qt::Key_Q); }), 0);
        QCOMPARE(shown().size(), 1);
        QCOMPARE(app->store().fetchKippet(app->byName("Desk")->id())->noteText,
                 QStringLiteral("call mum"));
    }

    void quitAnywayLeavesTheUnsavedNoteBehind() {
        NoteEditorWindow* editor = openNote();
        QVERIFY(editor);
        QVERIFY(app->fillDiskOn(fullDisk));
        QTest::keyClicks(editor->view()->textView(), QStringLiteral("call mum"));
        LogCapture log;

        app->dialogs().queueAnswer(0);
        QCOMPARE(exitCodeAfter([&] { press(editor, Qt::Key_Q); }), 0);
        QCOMPARE(shown().size(), 1);
        QVERIFY(log.contains(QStringLiteral(
            "⚠️ [UnsavedEdits] Quit without saving the note of “Desk”: the disk is full")));
        QCOMPARE(app->store().fetchKippet(app->byName("Desk")->id())->noteText, QString());
    }

    // SQLite meets damage while the app runs: the note's panel says the store is damaged and
    // nothing is written again every second; Ctrl+Q leaves at once while the final alert shows,
    // with the alert's own status, and no question is asked any more.
    void damageMetWhileRunningIsSaidAndCtrlQStillQuits() {
        app->addKippet("Desk", {100, 300});
        const QString store = app->store().container()->storePath();
        app->stop();
        const QString damage = DamagedPages::overwriteRootPages(store, {"kippets_by_id"}, true);
        QVERIFY2(damage.isEmpty(), qPrintable(damage));
        menus.reset();
        app->preferences().setBool("onboarding_completed", true);
        app->launch();
        FloatingKippetWindow* window = PanelDriver::showActive(*app, app->byName("Desk"));
        window->showNoteEditor();
        NoteEditorWindow* editor = window->noteWindow();
        QVERIFY(editor && waitActive(editor));

        // A new kippet's row reaches the damaged index.
        QVERIFY_THROWS_EXCEPTION(std::exception, app->addKippet("Travel"));
        AppHarness::settle();
        QVERIFY(app->store().refusal());
        QCOMPARE(shown().size(), 1);
        QCOMPARE(shown().last().title, QStringLiteral("Kippets Must Quit"));

        QTest::keyClicks(editor->view()->textView(), QStringLiteral("call mum"));
        auto* notice = editor->findChild<UnsavedNotice*>(QStringLiteral("NoteNotSavedNotice"));
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("This note is not saved: the store is damaged."));
        int writes = 0;
        UnsavedEdits::Edit todo;
        todo.key = QStringLiteral("todo:bread");
        todo.label = QStringLiteral("the todo “bread”");
        todo.write = [&writes] {
            ++writes;
            throw KippetsError(QStringLiteral("Store context not available"));
        };
        QVERIFY(app->unsavedEdits().save(todo));
        testClock().advance(std::chrono::seconds(5));
        AppHarness::settle();
        QCOMPARE(writes, 1);
        QCOMPARE(app->unsavedEdits().kept(QStringLiteral("todo:bread"))->reason,
                 QStringLiteral("the store is damaged"));
        // Nothing destroys anything any more.
        app->dialogs().queueAnswer(0);
        QVERIFY(!app->dialogs().confirmDestructive(QStringLiteral("Delete “Desk”?"),
                                                   QStringLiteral("This cannot be undone."),
                                                   QStringLiteral("Delete")));
        QCOMPARE(shown().size(), 1);

        QCOMPARE(exitCodeAfter([&] { press(editor, Qt::Key_Q); }), 1);
        QCOMPARE(shown().size(), 1);
    }

    // The final alert, like every other, shows what it is given as it is.
    void theFinalAlertIsPlainText() {
        Dialogs dialogs;
        dialogs.showFinalAlert(QStringLiteral("Kippets Must Quit"),
                               QStringLiteral("The store “/home/<b>me</b>/Kippets.sqlite” is "
                                              "damaged"),
                               [] {});
        QMessageBox* box = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<QMessageBox*>(widget))
                box = found;
        QVERIFY(box);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->text(),
                 QStringLiteral("The store “/home/<b>me</b>/Kippets.sqlite” is damaged"));
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The final alert comes while the user types: the keys under way do not close it, only
    // Return, Enter, Escape or a click do, after a moment; Ctrl+Q closes it at once from any
    // window, and every later quit leaves as its answer does. Ctrl+C copies it.
    void theFinalAlertClosesOnlyOnPurpose() {
        QWidget panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        for (const Qt::Key closing : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Q}) {
            Dialogs dialogs;
            int left = 0;
            dialogs.showFinalAlert(QStringLiteral("Kippets Must Quit"),
                                   QStringLiteral("The store is damaged"), [&left] { ++left; });
            QMessageBox* box = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible())
                    box = found;
            QVERIFY(box && QTest::qWaitForWindowExposed(box));
            const QPointer<QMessageBox> shown(box);
            if (closing == Qt::Key_Q) {
                // From the panel the alert blocks, as from the alert.
                press(&panel, Qt::Key_Q);
                QVERIFY(!shown || !shown->isVisible());
                QCOMPARE(left, 1);
                dialogs.leaveAfterFinalAlert();
                QCOMPARE(left, 2);
                continue;
            }
            // Keys typed on as it comes: none closes it.
            for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Escape}) {
                press(box, key, Qt::NoModifier);
                QVERIFY(shown && shown->isVisible());
            }
            // Ctrl+C copies its words, as any message box's, and closes nothing.
            QGuiApplication::clipboard()->clear();
            press(box, Qt::Key_C);
            QCOMPARE(QGuiApplication::clipboard()->text(),
                     QStringLiteral("---------------------------\nKippets Must Quit\n"
                                    "---------------------------\nThe store is damaged\n"
                                    "---------------------------\nOK   \n"
                                    "---------------------------\n"));
            QVERIFY(shown && shown->isVisible());
            // A moment later, still no key presses its button.
            testClock().advance(std::chrono::milliseconds(1500));
            for (const Qt::Key key : {Qt::Key_Space, Qt::Key_A}) {
                press(box, key, Qt::NoModifier);
                QVERIFY(shown && shown->isVisible());
            }
            QCOMPARE(left, 0);
            press(box, closing, Qt::NoModifier);
            QVERIFY(!shown || !shown->isVisible());
            QCOMPARE(left, 1);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

QTEST_MAIN(AppMenusTest)
#include "AppMenusTest.moc"
