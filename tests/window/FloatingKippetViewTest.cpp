#include "window/FloatingKippetView.h"
#include "analysis/KippetIntake.h"
#include "analysis/LocalModelServer.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "editors/NoteEditorWindow.h"
#include "model/Kippet.h"
#include "platform/NotificationCenter.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/FakeFileChooser.h"
#include "support/PanelButtons.h"
#include "support/RecordedDrag.h"
#include "support/TestEnvironment.h"
#include "window/ActionButton.h"
#include "window/CollapsedLayout.h"
#include "window/CollapsedStateIndicator.h"
#include "window/FloatingKippetWindow.h"
#include "window/ItemStateTracker.h"
#include "window/PanelDriver.h"

#include <QAccessible>
#include <QClipboard>
#include <QCursor>
#include <QDropEvent>
#include <QPointer>
#include <QTest>

using namespace PanelDriver;
using namespace std::chrono_literals;

namespace {
ActionButton* button(FloatingKippetWindow* window, const QString& name) {
    return panelButton(viewOf(window)->currentLayout(), name);
}

// As a drag ends: it enters the view (which becomes the drop's target), then drops.
bool drop(FloatingKippetWindow* window, const QMimeData& data) {
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(viewOf(window), &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent event(QPointF(40, 40), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewOf(window), &event);
    return event.isAccepted();
}

// A panel shown under the pointer takes it as come over it.
void pointerAway() {
    QCursor::setPos(QPoint(5000, 5000));
    QCoreApplication::processEvents();
}

QStringList itemNames(const Kippet* kippet) {
    QStringList names;
    for (const KippetItem& item : kippet->items())
        names.append(item.metadata.name);
    return names;
}

void postRequest(const QString& name, const QVariant& kippetId) {
    NotificationCenter::shared().post(name, {}, {{QStringLiteral("kippetId"), kippetId}});
}

const QString refuseUpdates = QStringLiteral(
    "CREATE TEMP TRIGGER refuse BEFORE UPDATE ON kippets BEGIN SELECT RAISE(ABORT, 'disk "
    "full'); END");

void send(QWidget* widget, QEvent::Type type, QPointF position, ulong timestamp) {
    QMouseEvent event(type, position, widget->mapToGlobal(position), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    event.setTimestamp(timestamp);
    QApplication::sendEvent(widget, &event);
}

void removeDeletedWidgets() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class FloatingKippetViewTest : public QObject {
    Q_OBJECT
private slots:
    void aDropOfThreeFilesAddsThemInOrder() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        const QString documents = RecordedDrag::copyDocuments(app.folder());
        const auto data = RecordedDrag::load(QStringLiteral("thunar-three-files"), documents);
        QVERIFY(drop(window, *data));
        QTRY_COMPARE(kippet->items().size(), 3);
        QCOMPARE(itemNames(kippet),
                 QStringList({QStringLiteral("picture.png"), QStringLiteral("report.pdf"),
                              QStringLiteral("Résumé 2024.txt")}));
    }

    void aDropThatYieldsNothingIsStillTaken() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        QMimeData pointerOnly;
        pointerOnly.setData(QStringLiteral("application/x-fmlist-ptr"), QByteArray(8, '\1'));
        QVERIFY(drop(window, pointerOnly));
        AppHarness::settle();
        QVERIFY(kippet->items().isEmpty());
    }

    void theBorderShowsWhileSomethingIsDraggedOver() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->setColor(KippetColor::fromQColor(QColor(Qt::red)));
        FloatingKippetWindow* window = app.registry().windowForKippet(kippet);
        window->show();
        FloatingKippetView* view = viewOf(window);
        QMimeData data;
        data.setText(QStringLiteral("hello"));
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QVERIFY(enter.isAccepted());
        AppHarness::settle();
        QVERIFY(view->isDraggingOver());
        QVERIFY(window->isBorderVisible());
        QCOMPARE(window->borderColor(), QColor(Qt::red));

        QDragLeaveEvent leave;
        QApplication::sendEvent(view, &leave);
        AppHarness::settle();
        QVERIFY(!view->isDraggingOver());
        if (view->isWindowActive())
            QVERIFY(qAbs(window->borderColor().alphaF() - 0.7f) < 0.01f);
        else
            QVERIFY(!window->isBorderVisible());
    }

    void pasteAndImportRequestsAreForOneKippetOnly() {
        AppHarness app;
        start(app);
        FakeFileChooser chooser;
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        Kippet* other = app.addKippet(QStringLiteral("Other"), {400, 100});
        showActive(app, kippet);
        QApplication::clipboard()->setText(QStringLiteral("Pasted words"));

        postRequest(QStringLiteral("KippetWindowPasteRequested"), kippet->id().toString());
        postRequest(QStringLiteral("KippetWindowPasteRequested"), QVariant::fromValue(other->id()));
        postRequest(QStringLiteral("KippetWindowImportRequested"), kippet->id().toString());
        postRequest(QStringLiteral("KippetWindowImportRequested"),
                    QVariant::fromValue(QUuid::createUuid()));
        AppHarness::settle();
        QVERIFY(kippet->items().isEmpty());
        QCOMPARE(chooser.requests, 0);

        postRequest(QStringLiteral("KippetWindowPasteRequested"),
                    QVariant::fromValue(kippet->id()));
        QTRY_COMPARE(itemNames(kippet), QStringList({QStringLiteral("Pasted words")}));
        postRequest(QStringLiteral("KippetWindowImportRequested"),
                    QVariant::fromValue(kippet->id()));
        AppHarness::settle();
        QCOMPARE(chooser.requests, 1);
        QCOMPARE(kippet->items().size(), 1);
        QVERIFY(other->items().isEmpty());
    }

    void aDemoKippetAnnouncesItsPasteFirst() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Demo"), {100, 100});
        kippet->setIsDemoMode(true);
        FloatingKippetWindow* window = showActive(app, kippet);
        QApplication::clipboard()->setText(QStringLiteral("Demo words"));
        std::optional<qsizetype> itemsAtAnnouncement;
        QObject context;
        NotificationCenter::shared().observe(QStringLiteral("DemoKippetPaste"), &context,
                                             [&](const NotificationCenter::Notification&) {
                                                 itemsAtAnnouncement = kippet->items().size();
                                             });
        QTest::mouseClick(button(window, QStringLiteral("PasteButton")), Qt::LeftButton);
        QTRY_COMPARE(kippet->items().size(), 1);
        QCOMPARE(itemsAtAnnouncement, std::optional<qsizetype>(0));
        QCOMPARE(button(window, QStringLiteral("PasteButton"))->toolTip(),
                 QStringLiteral("Paste from Clipboard (Ctrl+V)"));

        // Assistive technology reads the help text as the name and can press the button.
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(button(window, QStringLiteral("PasteButton")));
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QCOMPARE(accessible->text(QAccessible::Name),
                 QStringLiteral("Paste from Clipboard (Ctrl+V)"));
        QApplication::clipboard()->setText(QStringLiteral("More words"));
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(kippet->items().size(), 2);
    }

    void hidingEndsTheImportStateButNotTheFailedOne() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        ItemStateTracker& states = viewOf(window)->itemStates();
        KippetItem waiting;
        waiting.id = QUuid::createUuid();
        waiting.type = KippetItemType::text;
        waiting.content = "w";
        waiting.metadata.name = QStringLiteral("w");
        kippet->addItem(waiting);
        waiting.category = ItemCategory::waitingForAnalysis;
        kippet->replaceItem(waiting);
        KippetItem sorted = waiting;
        sorted.id = QUuid::createUuid();
        sorted.content = "s";
        sorted.metadata.name = QStringLiteral("s");
        sorted.category = ItemCategory::links;
        kippet->addItem(sorted);
        QVERIFY(states.showImportState());
        QVERIFY(states.showAnalysisFailedState());

        window->hide();
        QVERIFY(!states.showImportState());
        QVERIFY(states.showAnalysisFailedState());
        testClock().advance(12s);
        QVERIFY(!states.showAnalysisFailedState());
    }

    void theNotesButtonOpensAndClosesTheNoteEditor() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->setColor(KippetColor::fromQColor(QColor(Qt::darkGreen)));
        FloatingKippetWindow* window = showActive(app, kippet);
        ActionButton* notes = button(window, QStringLiteral("NotesButton"));
        QCOMPARE(notes->toolTip(), QStringLiteral("Open Notes"));
        QVERIFY(!notes->isActive());
        LogCapture log;
        QTest::mouseClick(notes, Qt::LeftButton);
        QVERIFY(window->noteWindow());
        QCOMPARE(notes->toolTip(), QStringLiteral("Close Notes"));
        QVERIFY(notes->isActive());
        QCOMPARE(notes->activeColor(), QColor(Qt::darkGreen));
        QCOMPARE(notes->symbolColor(), QColor(Qt::white));
        QVERIFY(log.contains(QStringLiteral("📝 Notes button clicked (collapsed)")));

        QTest::mouseClick(notes, Qt::LeftButton);
        QVERIFY(!window->noteWindow());
        QCOMPARE(notes->toolTip(), QStringLiteral("Open Notes"));
        QVERIFY(!notes->isActive());
    }

    void aPanelAtRestDrawsItsButtonsUntilThePointerComes() {
        AppHarness app;
        start(app);
        pointerAway();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        auto* layout = dynamic_cast<CollapsedLayout*>(viewOf(window)->currentLayout());
        QVERIFY(layout);
        const QStringList names = {"NewKippetButton", "CloseKippetButton", "PasteButton",
                                   "NotesButton",     "ImportButton",      "TodosButton"};
        // At rest the layout draws the faces and makes no buttons; asked for one, it makes them
        // hidden, with their names.
        QVERIFY(!layout->buttonsRevealed());
        QVERIFY(layout->findChildren<ActionButton*>().isEmpty());
        for (const QString& name : names) {
            QVERIFY2(button(window, name), qPrintable(name));
            QVERIFY2(!button(window, name)->isVisible(), qPrintable(name));
        }
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(button(window, QStringLiteral("ImportButton")));
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Import Files"));
        // Only the look changes: a hidden button's state change repaints the layout there.
        ActionButton* todos = button(window, QStringLiteral("TodosButton"));
        QVERIFY(!todos->isActive());
        QTest::mouseClick(todos, Qt::LeftButton);
        QVERIFY(window->todoWindow());
        QVERIFY(todos->isActive());
        QCOMPARE(todos->toolTip(), QStringLiteral("Close Todos"));

        // The pointer comes over the panel: the buttons show as themselves, in their places,
        // and a click on one of them where the user sees it goes to it.
        QTest::mouseMove(window, QPoint(110, 100));
        QTRY_VERIFY(layout->buttonsRevealed());
        for (const QString& name : names)
            QVERIFY2(button(window, name)->isVisible(), qPrintable(name));
        QCOMPARE(button(window, QStringLiteral("NewKippetButton"))->geometry(),
                 QRect(16, 12, 24, 24));
        QCOMPARE(button(window, QStringLiteral("CloseKippetButton"))->geometry(),
                 QRect(180, 12, 24, 24));
        QCOMPARE(button(window, QStringLiteral("PasteButton"))->geometry(), QRect(23, 152, 36, 36));
        QCOMPARE(button(window, QStringLiteral("TodosButton"))->geometry(),
                 QRect(161, 152, 36, 36));
        const QPoint onTodos = todos->geometry().center();
        QTest::mouseMove(layout, onTodos);
        QTRY_VERIFY(todos->isHovering());
        QTest::mouseClick(layout->childAt(onTodos), Qt::LeftButton);
        QVERIFY(!window->todoWindow());
        QVERIFY(!todos->isActive());
        QCOMPARE(todos->toolTip(), QStringLiteral("Open Todos"));
        pointerAway();
    }

    void assistiveTechnologyFindsTheButtonsOfAPanelAtRest() {
        AppHarness app;
        start(app);
        pointerAway();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        auto* layout = dynamic_cast<CollapsedLayout*>(viewOf(window)->currentLayout());
        QVERIFY(layout);
        QVERIFY(!layout->buttonsRevealed());
        // A screen reader that starts while the panel rests.
        QAccessible::setActive(true);
        const bool revealed = layout->buttonsRevealed();
        const bool pasteShown = button(window, QStringLiteral("PasteButton"))->isVisible();
        QAccessible::setActive(false);
        QVERIFY(revealed);
        QVERIFY(pasteShown);
    }

    void theCloseButtonClosesTheKippetForGood() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        QPointer<FloatingKippetWindow> window = showActive(app, kippet);
        QTest::mouseClick(button(window, QStringLiteral("CloseKippetButton")), Qt::LeftButton);
        AppHarness::settle();
        removeDeletedWidgets();
        QVERIFY(!window);
        QVERIFY(!app.manager().activeKippets().contains(kippet));
        app.restart();
        QVERIFY(!app.byName(QStringLiteral("Inbox")) ||
                !app.manager().activeKippets().contains(app.byName(QStringLiteral("Inbox"))));
    }

    void theWindowClosesEvenWhenTheStoreFails() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        QPointer<FloatingKippetWindow> window = showActive(app, kippet);
        QVERIFY(app.failStore(refuseUpdates));
        LogCapture log;
        QTest::mouseClick(button(window, QStringLiteral("CloseKippetButton")), Qt::LeftButton);
        AppHarness::settle();
        removeDeletedWidgets();
        QVERIFY(!window);
        QVERIFY(log.contains(QStringLiteral("❌ [FloatingKippetView] Failed to close kippet: ")));
        QVERIFY(log.contains(QStringLiteral("disk full")));
    }

    void customInstructionsAreSavedAndAFailureKeepsWhatIsStored() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetView* view = viewOf(showActive(app, kippet));
        view->saveCustomInstructions(QStringLiteral("Sort by project"),
                                     QStringLiteral("Sort by project."));
        QCOMPARE(app.store().fetchKippet(kippet->id())->customInstructions,
                 std::optional<QString>(QStringLiteral("Sort by project")));

        QVERIFY(app.failStore(refuseUpdates));
        LogCapture log;
        view->saveCustomInstructions(QStringLiteral("Be brief"), QStringLiteral("Be brief."));
        QCOMPARE(kippet->customInstructions(),
                 std::optional<QString>(QStringLiteral("Sort by project")));
        QCOMPARE(kippet->sanitizedInstructions(),
                 std::optional<QString>(QStringLiteral("Sort by project.")));
        QVERIFY(!view->showCustomInstructionsSheet());
        QVERIFY(!app.dialogs().shown().isEmpty());
        QCOMPARE(app.dialogs().shown().last().title, QStringLiteral("Error"));
        QVERIFY(app.dialogs().shown().last().text.contains(QStringLiteral("disk full")));
        QVERIFY(log.contains(
            QStringLiteral("❌ [saveCustomInstructions] Failed to save custom instructions: ")));
    }

    void aDoubleClickTogglesTheModeOnceEvenOnTheStatus() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        FloatingKippetView* view = viewOf(window);
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(110, 100));
        QVERIFY(kippet->isExpanded());
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(110, 100));
        QVERIFY(!kippet->isExpanded());

        // On the status: its click expands, the double click that click begins changes nothing
        // more; a later double click collapses.
        const QPoint centre(110, 100);
        QWidget* status = view->childAt(centre);
        QVERIFY(qobject_cast<CollapsedStateIndicator*>(status));
        const QPointF local = status->mapFrom(view, centre);
        send(status, QEvent::MouseButtonPress, local, 10'000);
        send(status, QEvent::MouseButtonRelease, local, 10'080);
        QVERIFY(kippet->isExpanded());
        send(view, QEvent::MouseButtonDblClick, centre, 10'160);
        QVERIFY(kippet->isExpanded());
        send(view, QEvent::MouseButtonDblClick, centre, 20'000);
        QVERIFY(!kippet->isExpanded());
    }
};

QTEST_MAIN(FloatingKippetViewTest)
#include "FloatingKippetViewTest.moc"
