#include "app/DailyKippet.h"
#include "app/MenuBarManager.h"
#include "editors/NoteEditorWindow.h"
#include "editors/TodoEditorWindow.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "platform/NotificationCenter.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/GeometryPrinting.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelDriver.h"

#include <QPointer>
#include <QTest>
#include <QWindow>

using namespace PanelDriver;

namespace {
int editorPosts(AppHarness& app) {
    return app.notifications().count(QStringLiteral("EditorWindowStateChanged"));
}

// The note editor's frame as the kippet keeps it; empty without one.
RectD storedNoteFrame(const Kippet* kippet) {
    const auto frame = kippet->note().windowFrame;
    return frame ? RectD(frame->originX, frame->originY, frame->width, frame->height) : RectD();
}

QVariant lastPostedKippet(AppHarness& app) {
    return app.notifications()
        .named(QStringLiteral("EditorWindowStateChanged"))
        .last()
        .userInfo.value(QStringLiteral("kippetId"));
}
} // namespace

class KippetEditorSlotsTest : public QObject {
    Q_OBJECT
private slots:
    void showingAnOpenEditorFrontsItWithoutAPost() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);

        type(window, Qt::Key_N);
        QPointer<NoteEditorWindow> editor = window->noteWindow();
        QVERIFY(editor);
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->kippet(), kippet);
        QCOMPARE(editorPosts(app), 1);
        QCOMPARE(lastPostedKippet(app).toUuid(), kippet->id());

        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        type(window, Qt::Key_N);
        QCOMPARE(window->noteWindow(), editor.data());
        QVERIFY(QTest::qWaitForWindowActive(editor));
        QCOMPARE(editorPosts(app), 1);
        QCOMPARE(window->findChildren<NoteEditorWindow*>().size(), 1);
        QCOMPARE(editor->accentColor(), kippet->color().toQColor());
    }

    void aToggleClosesWithOnePost() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);

        window->toggleNoteEditor();
        QPointer<NoteEditorWindow> note = window->noteWindow();
        QVERIFY(note);
        note->move(300, 200);
        const RectD frame = note->frame();
        window->toggleNoteEditor();
        QVERIFY(!window->noteWindow());
        QVERIFY(!note || !note->isVisible());
        QCOMPARE(editorPosts(app), 2);
        QCOMPARE(storedNoteFrame(kippet), frame);

        window->toggleTodoEditor();
        QPointer<TodoEditorWindow> todo = window->todoWindow();
        QVERIFY(todo);
        todo->move(600, 200);
        window->toggleTodoEditor();
        QVERIFY(!window->todoWindow());
        QCOMPARE(editorPosts(app), 4);
        QCOMPARE(lastPostedKippet(app).toUuid(), kippet->id());
        // The todo editor's frame is never stored.
        QCOMPARE(storedNoteFrame(kippet), frame);

        // Closing an editor again does nothing.
        if (todo)
            todo->close();
        QCOMPARE(editorPosts(app), 4);
        AppHarness::settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!note);
        QVERIFY(!todo);
    }

    void closingThePanelClosesBothEditorsFirst() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const QUuid id = kippet->id();
        QPointer<FloatingKippetWindow> window = showActive(app, kippet);
        type(window, Qt::Key_N);
        type(window, Qt::Key_T);
        window->noteWindow()->move(420, 300);
        const RectD noteFrame = window->noteWindow()->frame();
        QCOMPARE(editorPosts(app), 2);

        struct Seen {
            bool noteOpen;
            bool todoOpen;
            bool registered;
        };
        QList<Seen> seen;
        QObject observer;
        MenuBarManager& registry = app.registry();
        NotificationCenter::shared().observe(
            QStringLiteral("EditorWindowStateChanged"), &observer,
            [&seen, &window, &registry, id](const NotificationCenter::Notification&) {
                seen.append({window && window->noteWindow(), window && window->todoWindow(),
                             registry.registeredWindow(id) != nullptr});
            });
        window->close();
        QCOMPARE(seen.size(), 2);
        QVERIFY(!seen[0].noteOpen);
        QVERIFY(seen[0].todoOpen);
        QVERIFY(seen[0].registered);
        QVERIFY(!seen[1].noteOpen);
        QVERIFY(!seen[1].todoOpen);
        QVERIFY(seen[1].registered);
        QVERIFY(!registry.registeredWindow(id));
        QCOMPARE(editorPosts(app), 4);

        Kippet* stored = PanelDriver::stored(app, QStringLiteral("Inbox"));
        QCOMPARE(storedNoteFrame(stored), noteFrame);
    }

    void anEditorClosedByTheWindowManagerPostsOnce() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        window->showTodoEditor();
        window->showNoteEditor();
        QVERIFY(QTest::qWaitForWindowExposed(window->todoWindow()));
        QCOMPARE(editorPosts(app), 2);

        window->todoWindow()->windowHandle()->close();
        AppHarness::settle();
        QVERIFY(!window->todoWindow());
        QCOMPARE(editorPosts(app), 3);

        NoteEditorWindow* note = window->noteWindow();
        note->move(250, 150);
        const RectD frame = note->frame();
        note->windowHandle()->close();
        AppHarness::settle();
        QVERIFY(!window->noteWindow());
        QCOMPARE(editorPosts(app), 4);
        QCOMPARE(storedNoteFrame(kippet), frame);

        // A new editor after a close is a new panel with its own post.
        window->showTodoEditor();
        QVERIFY(window->todoWindow());
        QCOMPARE(editorPosts(app), 5);
    }

    void dailyKippetEditorsTakeTheDailyColour() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.manager().createKippet(QStringLiteral("Saturday 5.12."),
                                                    KippetColor::standardBlue(),
                                                    QStringLiteral("calendar"), true);
        kippet->setPosition({100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        window->showNoteEditor();
        window->showTodoEditor();
        AppHarness::settle();
        QCOMPARE(window->noteWindow()->accentColor(), dailyKippetColor());
        QCOMPARE(window->todoWindow()->accentColor(), dailyKippetColor());
        QVERIFY(dailyKippetColor() != kippet->color().toQColor());
    }

    void aRenameRetitlesThePanelAndItsEditorsAtOnce() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        window->showNoteEditor();
        window->showTodoEditor();
        AppHarness::settle();
        QCOMPARE(window->noteWindow()->windowTitle(), QStringLiteral("Inbox"));

        app.manager().updateKippet(kippet, QStringLiteral("Taxes 2026"), kippet->color(),
                                   kippet->icon(), std::nullopt, std::nullopt);
        QCOMPARE(window->windowTitle(), QStringLiteral("Taxes 2026"));
        QCOMPARE(window->noteWindow()->windowTitle(), QStringLiteral("Taxes 2026"));
        QCOMPARE(window->todoWindow()->windowTitle(), QStringLiteral("Taxes 2026"));
        // The X title is the window's, not only the widget's.
        QCOMPARE(window->windowHandle()->title(), QStringLiteral("Taxes 2026"));
    }

    void aFailingStoreLosesOnlyTheNoteFrame() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        window->showNoteEditor();
        QVERIFY(app.failStore(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON kippets "
                                             "BEGIN SELECT RAISE(ABORT, 'disk full'); END")));
        LogCapture log;
        window->toggleNoteEditor();
        QVERIFY(!window->noteWindow());
        QCOMPARE(editorPosts(app), 2);
        QCOMPARE(log.lines().size(), 1);
        QVERIFY2(log.lines()[0].startsWith(QStringLiteral(
                     "⚠️ [NoteEditorWindow] Could not store the note window frame: ")),
                 qPrintable(log.lines()[0]));
        QVERIFY(log.contains(QStringLiteral("disk full")));
    }
};

QTEST_MAIN(KippetEditorSlotsTest)
#include "KippetEditorSlotsTest.moc"
