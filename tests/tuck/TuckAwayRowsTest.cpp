#include "TrayFixture.h"

#include "editors/NoteEditorWindow.h"
#include "model/KippetItem.h"
#include "platform/Animations.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/FakeFileChooser.h"
#include "support/TestEnvironment.h"
#include "support/TestFonts.h"
#include "tuck/TuckAwayActionButton.h"
#include "tuck/TuckAwayKippetActions.h"
#include "tuck/TuckAwayKippetRow.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

namespace {
TuckAwayKippetRow* rowOf(TuckAwayWindow* tray, const Kippet* kippet) {
    for (TuckAwayKippetRow* row : tray->view()->panel()->rows()) {
        if (row->kippet() == kippet)
            return row;
    }
    return nullptr;
}

void hover(QWidget* row) {
    QEnterEvent enter(QPointF(20, 10), QPointF(20, 10), QPointF(20, 10));
    QApplication::sendEvent(row, &enter);
}

// Opens the tray and returns the kippet's row.
TuckAwayKippetRow* openRow(TuckAwayWindow* tray, const Kippet* kippet) {
    if (!tray->view()->isExpanded())
        TrayFixture::clickTab(tray);
    return rowOf(tray, kippet);
}

void trigger(QMenu* menu, const QString& text) {
    QAction* action = TrayFixture::action(menu, text);
    QVERIFY2(action, qPrintable(text));
    action->trigger();
}
} // namespace

using namespace std::chrono_literals;

class TuckAwayRowsTest : public QObject {
    Q_OBJECT
private slots:
    // A row's pitch follows the line heights of its two texts: measured in one font.
    void initTestCase() { TestFonts::useDejaVuSans(); }

    void aRowShowsItsKippet() {
        TrayFixture f;
        Kippet* empty = f.app.addKippet(QStringLiteral("Empty"));
        Kippet* one = f.app.addKippet(QStringLiteral("One"));
        one->setNote(KippetNote{QStringLiteral("a note"), one->createdDate(), std::nullopt});
        TuckAwayWindow* tray = f.tuck();
        TuckAwayKippetRow* emptyRow = openRow(tray, empty);
        TuckAwayKippetRow* oneRow = rowOf(tray, one);
        QVERIFY(emptyRow && oneRow);
        QCOMPARE(emptyRow->countText(), QStringLiteral("0 items"));
        QCOMPARE(oneRow->countText(), QStringLiteral("1 items"));
        QCOMPARE(emptyRow->objectName(), QStringLiteral("TuckAwayKippetRow-") +
                                             empty->id().toString(QUuid::WithoutBraces).toUpper());
        QCOMPARE(emptyRow->iconColor(), empty->color().toQColor());

        // White badges in the cut-out with monochrome icons (on when unset).
        f.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        QCOMPARE(rowOf(tray, empty)->iconColor(), QColor(Qt::white));
        f.app.preferences().setBool(QStringLiteral("kippet_tuck_monochrome"), false);
        QCOMPARE(rowOf(tray, empty)->iconColor(), empty->color().toQColor());
    }

    void aClickBringsTheKippetBack() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Back"));
        f.registry().showWindow(kippet);
        TuckAwayWindow* tray = f.tuck();
        QVERIFY(!f.app.windowOf(QStringLiteral("Back"))->isVisible());
        TuckAwayKippetRow* row = openRow(tray, kippet);
        QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(40, 15));
        QVERIFY(!f.registry().isTuckedAway());
        QVERIFY(f.app.windowOf(QStringLiteral("Back"))->isVisible());
        QVERIFY(!kippet->isTucked());
    }

    // The tray lists kippets that also stand in a pull tab of their own: whichever way a panel
    // comes back, its tab goes with the tucked flag, and the other tabs stay.
    void aKippetThatComesBackLeavesItsPullTab() {
        TrayFixture f;
        Kippet* clicked = f.app.addKippet(QStringLiteral("Clicked"), QPointF(200, 300));
        Kippet* shown = f.app.addKippet(QStringLiteral("Shown"), QPointF(900, 300));
        Kippet* stays = f.app.addKippet(QStringLiteral("Stays"), QPointF(600, 300));
        for (Kippet* kippet : {clicked, shown, stays})
            f.registry().showWindow(kippet);
        f.registry().tuckAllKippets();
        const auto tabOf = [&f](const Kippet* kippet) {
            return QPointer<QWidget>(
                dynamic_cast<QWidget*>(f.registry().tuckSingleWindow(kippet->id())));
        };
        const QPointer<QWidget> clickedTab = tabOf(clicked);
        const QPointer<QWidget> shownTab = tabOf(shown);
        QVERIFY(clickedTab && clickedTab->isVisible() && shownTab && shownTab->isVisible());
        TuckAwayWindow* tray = f.tuck();
        LogCapture log;
        QTest::mouseClick(openRow(tray, clicked), Qt::LeftButton, {}, QPoint(40, 15));
        QVERIFY(f.app.windowOf(QStringLiteral("Clicked"))->isVisible());
        QVERIFY(!clickedTab || !clickedTab->isVisible());
        QVERIFY(!f.registry().hasTuckSingleWindow(clicked->id()));
        QVERIFY(!clicked->isTucked());
        QCOMPARE(log.lines(), (QStringList{QStringLiteral("📤 Kippets untucked"),
                                           QStringLiteral("📤 Kippet 'Clicked' untucked")}));

        // The dashboard and the menus show a panel the same way.
        f.registry().showWindow(shown);
        QVERIFY(!shownTab || !shownTab->isVisible());
        QVERIFY(!f.registry().hasTuckSingleWindow(shown->id()));
        QVERIFY(tabOf(stays) && tabOf(stays)->isVisible());
        QVERIFY(!f.app.windowOf(QStringLiteral("Stays"))->isVisible());
        QCOMPARE(f.registry().tuckSingleWindowCount(), 1);
        AppHarness::settle();
        QVERIFY(!f.app.store().fetchKippet(clicked->id())->isTucked);
        QVERIFY(!f.app.store().fetchKippet(shown->id())->isTucked);
        // The group tuck marked it; its tab still holds it.
        QVERIFY(f.app.store().fetchKippet(stays->id())->isTucked);
    }

    void aStaleRowShowsNoClosedKippet() {
        TrayFixture f;
        Kippet* stays = f.app.addKippet(QStringLiteral("Stays"));
        Kippet* closed = f.app.addKippet(QStringLiteral("Closed"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayKippetRow* row = openRow(tray, closed);
        // Closed elsewhere while the tray shows: the row stays until the next snapshot.
        f.app.manager().closeKippet(closed);
        QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(40, 15));
        QVERIFY(!f.registry().isTuckedAway());
        QVERIFY(!f.registry().registeredWindow(closed->id()));
        QVERIFY(f.app.windowOf(QStringLiteral("Stays"))->isVisible());
        QVERIFY(stays);
    }

    void hoveringShowsTheStrip() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Hover"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayKippetRow* row = openRow(tray, kippet);
        const int closedHeight = row->sizeHint().height();
        QVERIFY(!row->actions());
        hover(row);
        QVERIFY(row->isRowHovering());
        TuckAwayKippetActions* actions = row->actions();
        QVERIFY(actions);
        QVERIFY(row->sizeHint().height() > closedHeight);
        QCOMPARE(actions->pasteButton()->toolTip(), QStringLiteral("Paste from Clipboard"));
        QCOMPARE(actions->noteButton()->toolTip(), QStringLiteral("Open Notes"));
        QCOMPARE(actions->importButton()->toolTip(), QStringLiteral("Import Files"));
        QCOMPARE(actions->todoButton()->toolTip(), QStringLiteral("Open Todos"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(row, &leave);
        QVERIFY(!row->actions());
    }

    void pastingKeepsTheKippetTucked() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Paste"));
        f.registry().showWindow(kippet);
        TuckAwayWindow* tray = f.tuck();
        TuckAwayKippetRow* row = openRow(tray, kippet);
        hover(row);
        QGuiApplication::clipboard()->setText(QStringLiteral("A line for the tray"));
        QTest::mouseClick(row->actions()->pasteButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(kippet->items().size(), 1, 20000);
        const KippetItem item = kippet->items().first();
        QCOMPARE(item.metadata.name, QStringLiteral("A line for the tray"));
        QVERIFY(!item.isProcessing);
        QVERIFY(f.registry().isTuckedAway());
        QVERIFY(kippet->isTucked());
        QVERIFY(!f.app.windowOf(QStringLiteral("Paste"))->isVisible());
        QCOMPARE(rowOf(tray, kippet)->countText(), QStringLiteral("1 items"));
    }

    void importingKeepsTheKippetTucked() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Import"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayKippetRow* row = openRow(tray, kippet);
        hover(row);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("list.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("milk, eggs");
        file.close();
        FakeFileChooser chooser;
        QTest::mouseClick(row->actions()->importButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(chooser.requests, 1, 20000);
        QCOMPARE(kippet->items().size(), 0);
        chooser.answer = QList<QUrl>{QUrl::fromLocalFile(file.fileName())};
        QTest::mouseClick(row->actions()->importButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(kippet->items().size(), 1, 20000);
        QCOMPARE(kippet->items().first().metadata.name, QStringLiteral("list.txt"));
        QCOMPARE(kippet->items().first().content, QByteArray("milk, eggs"));
        QVERIFY(f.registry().isTuckedAway());
    }

    void theNoteButtonOpensTheEditorOfAHiddenWindow() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Notes"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayKippetRow* row = openRow(tray, kippet);
        hover(row);
        TuckAwayKippetActions* actions = row->actions();
        QVERIFY(!f.registry().registeredWindow(kippet->id()));
        QVERIFY(!actions->isNoteEditorOpen());
        QTest::mouseClick(actions->noteButton(), Qt::LeftButton);
        FloatingKippetWindow* window = f.registry().registeredWindow(kippet->id());
        QVERIFY(window);
        QVERIFY(!window->isVisible());
        QVERIFY(window->noteWindow());
        QVERIFY(actions->isNoteEditorOpen());
        QVERIFY(actions->noteButton()->isActive());
        QCOMPARE(actions->noteButton()->toolTip(), QStringLiteral("Close Notes"));
        QVERIFY(!actions->isTodoEditorOpen());

        QTest::mouseClick(actions->todoButton(), Qt::LeftButton);
        QVERIFY(window->todoWindow());
        QVERIFY(actions->isTodoEditorOpen());
        QTest::mouseClick(actions->todoButton(), Qt::LeftButton);
        QVERIFY(!window->todoWindow());
        QVERIFY(!actions->isTodoEditorOpen());

        // Another kippet's editors leave this strip alone.
        Kippet* other = f.app.addKippet(QStringLiteral("Other"));
        f.registry().windowForKippet(other)->showTodoEditor();
        QVERIFY(!actions->isTodoEditorOpen());
        QVERIFY(f.registry().isTuckedAway());
    }

    void theRowMenuBringsTheWindowBack() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Menu"));
        TuckAwayWindow* tray = f.tuck();
        QMenu* menu = openRow(tray, kippet)->contextMenu();
        QStringList texts;
        for (QAction* action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{QStringLiteral("Focus Window"), QStringLiteral("Expand"),
                                     QStringLiteral("-"), QStringLiteral("Open Notes"),
                                     QStringLiteral("Open Todos"), QStringLiteral("-"),
                                     QStringLiteral("Show Dashboard"), QStringLiteral("-"),
                                     QStringLiteral("Close Kippet")}));
        trigger(menu, QStringLiteral("Focus Window"));
        QVERIFY(!f.registry().isTuckedAway());
        QVERIFY(f.app.windowOf(QStringLiteral("Menu"))->isVisible());
    }

    void expandLeavesAnExpandedKippetExpanded() {
        TrayFixture f;
        Kippet* expanded = f.app.addKippet(QStringLiteral("Expanded"));
        Kippet* collapsed = f.app.addKippet(QStringLiteral("Collapsed"));
        f.registry().showWindow(expanded)->toggleExpanded();
        QVERIFY(expanded->isExpanded());
        TuckAwayWindow* tray = f.tuck();
        trigger(openRow(tray, expanded)->contextMenu(), QStringLiteral("Expand"));
        QVERIFY(expanded->isExpanded());
        QVERIFY(!f.registry().isTuckedAway());
        TrayFixture::flushDeletes();

        tray = f.tuck();
        trigger(openRow(tray, collapsed)->contextMenu(), QStringLiteral("Expand"));
        QVERIFY(collapsed->isExpanded());
        QVERIFY(expanded->isExpanded());
    }

    void openNotesUntucks() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Notes"));
        TuckAwayWindow* tray = f.tuck();
        trigger(openRow(tray, kippet)->contextMenu(), QStringLiteral("Open Notes"));
        QVERIFY(!f.registry().isTuckedAway());
        QVERIFY(f.registry().registeredWindow(kippet->id())->noteWindow());
    }

    void closeKippetDropsTheRowAndStaysTucked() {
        TrayFixture f;
        Kippet* stays = f.app.addKippet(QStringLiteral("Stays"));
        Kippet* goes = f.app.addKippet(QStringLiteral("Goes"));
        f.registry().showWindow(goes);
        TuckAwayWindow* tray = f.tuck();
        trigger(openRow(tray, goes)->contextMenu(), QStringLiteral("Close Kippet"));
        AppHarness::settle();
        QVERIFY(!f.app.manager().activeKippets().contains(goes));
        QVERIFY(!f.registry().registeredWindow(goes->id()));
        QVERIFY(f.registry().isTuckedAway());
        QCOMPARE(f.tray(), tray);
        QCOMPARE(tray->view()->panel()->rows().size(), 1);
        QVERIFY(rowOf(tray, stays));
        QVERIFY(!rowOf(tray, goes));
        QCOMPARE(tray->view()->pullTab()->accessibleName(), QStringLiteral("Tucked kippets: 1"));
    }

    // After a close from the tray the rows that stay keep their pitch, each with its name and
    // count in the same places.
    void rowsKeepTheirPitchAfterACloseFromTheTray() {
        TrayFixture f;
        QList<Kippet*> kippets;
        for (const QString& name :
             {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")})
            kippets.append(f.app.addKippet(name));
        TuckAwayWindow* tray = f.tuck();
        openRow(tray, kippets[0]);
        // Where each row's texts sit in the row, and the step from one row to the next.
        const auto look = [tray] {
            QStringList parts;
            const QList<TuckAwayKippetRow*> rows = tray->view()->panel()->rows();
            for (qsizetype i = 0; i < rows.size(); ++i) {
                if (i > 0)
                    parts.append(QString::number(rows[i]->y() - rows[i - 1]->y()));
                QStringList tops;
                for (const QLabel* label : rows[i]->findChildren<QLabel*>()) {
                    if (!label->text().isEmpty())
                        tops.append(QString::number(label->mapTo(rows[i], QPoint()).y()));
                }
                parts.append(tops.join(u','));
            }
            return parts;
        };
        const QStringList before = look();
        QCOMPARE(before[1], QStringLiteral("42"));
        // The pointer is on the row whose menu closes its kippet: its strip comes out, and goes
        // as the menu takes the pointer.
        const auto passOver = [](QWidget* row) {
            hover(row);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(row, &leave);
            AppHarness::settle();
        };
        TuckAwayKippetRow* goes = rowOf(tray, kippets[1]);
        passOver(goes);
        trigger(goes->contextMenu(), QStringLiteral("Close Kippet"));
        AppHarness::settle();
        TrayFixture::flushDeletes();
        AppHarness::settle();
        QCOMPARE(tray->view()->panel()->rows().size(), 3);
        QCOMPARE(look(), before.mid(0, 5));
        // The pointer moves on over the rows that stay.
        for (TuckAwayKippetRow* row : tray->view()->panel()->rows())
            passOver(row);
        QCOMPARE(look(), before.mid(0, 5));
    }

    // The strip slides down from under the row and fades in over 0.15 s on the clock, and back.
    void theStripSlidesInAndOut() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Hover"));
        TuckAwayWindow* tray = f.tuck();
        TuckAwayKippetRow* row = openRow(tray, kippet);
        const int closedHeight = row->height();
        Animations::setEnabled(true);
        hover(row);
        QVERIFY(row->actions());
        QCOMPARE(row->stripShown(), 0.0);
        testClock().advance(75ms);
        AppHarness::settle();
        QVERIFY(row->stripShown() > 0.2 && row->stripShown() < 0.8);
        QVERIFY(row->height() > closedHeight);
        testClock().advance(75ms);
        AppHarness::settle();
        QCOMPARE(row->stripShown(), 1.0);
        const int openHeight = row->height();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(row, &leave);
        testClock().advance(75ms);
        AppHarness::settle();
        QVERIFY(row->actions());
        QVERIFY(row->height() < openHeight);
        testClock().advance(75ms);
        AppHarness::settle();
        QVERIFY(!row->actions());
        QCOMPARE(row->height(), closedHeight);
        Animations::setEnabled(false);
    }

    void aFailedCloseIsLogged() {
        TrayFixture f;
        Kippet* kippet = f.app.addKippet(QStringLiteral("Stuck"));
        TuckAwayWindow* tray = f.tuck();
        QMenu* menu = openRow(tray, kippet)->contextMenu();
        QVERIFY(f.app.failStore(QStringLiteral("CREATE TRIGGER stuck BEFORE UPDATE ON kippets "
                                               "BEGIN SELECT RAISE(ABORT, 'full'); END")));
        LogCapture log;
        trigger(menu, QStringLiteral("Close Kippet"));
        QVERIFY(
            log.contains(QStringLiteral("❌ [TuckAwayKippetContextMenu] Failed to close kippet: ")));
        QVERIFY(f.registry().isTuckedAway());
    }

    void theTabMenuUntucksAndMoves() {
        TrayFixture f;
        f.app.addKippet(QStringLiteral("One"));
        TuckAwayWindow* tray = f.tuck();
        QMenu* menu = tray->view()->tabContextMenu();
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Untuck Kippets"));
        QStringList moves;
        for (QAction* action : menu->actions().at(1)->menu()->actions())
            moves.append(action->text());
        QCOMPARE(moves,
                 (QStringList{QStringLiteral("Move to Top"), QStringLiteral("Move to Bottom"),
                              QStringLiteral("Move to Left"), QStringLiteral("Move to Right")}));
        trigger(menu, QStringLiteral("Move to Top"));
        QCOMPARE(tray->currentEdge(), ScreenEdge::top);
        QCOMPARE(tray->frame(), RectD(520, 599, 400, 276));
        QCOMPARE(f.registry().groupTuckedAwayEdge(), ScreenEdge::top);
        delete menu;
        menu = tray->view()->tabContextMenu();
        trigger(menu, QStringLiteral("Untuck Kippets"));
        QVERIFY(!f.registry().isTuckedAway());
    }
};

QTEST_MAIN(TuckAwayRowsTest)
#include "TuckAwayRowsTest.moc"
