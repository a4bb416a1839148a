#include "app/DailyKippet.h"
#include "app/TuckCommands.h"
#include "dashboard/CreateKippetSheet.h"
#include "dashboard/CustomInstructionsSheet.h"
#include "dashboard/DashboardHarness.h"
#include "dashboard/KippetCardView.h"
#include "dashboard/KippetContextMenu.h"
#include "dashboard/KippetEditing.h"
#include "dashboard/KippetRow.h"
#include "platform/Animations.h"
#include "store/StoreContainer.h"
#include "window/CollapsedStateIndicator.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <memory>

using namespace std::chrono_literals;

namespace {
QStringList* capturedMessages = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (capturedMessages)
        capturedMessages->append(message);
}

const QString
    deleteQuestion("Are you sure you want to delete this kippet? This action cannot be undone.");

QStringList itemsOf(QMenu* menu) {
    QStringList items;
    for (QAction* action : menu->actions())
        items.append(action->isSeparator() ? QString("---") : action->text());
    return items;
}

// Pixels of the widget drawn in the destructive red.
int redPixels(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            count += pixel.red() > 170 && pixel.green() < 110 && pixel.blue() < 110;
        }
    return count;
}

// What the delete question looked like when a key was pressed in it, where the keyboard was.
struct KeyedBox {
    // Whether the box showed with the keyboard in it at all: without it nothing else was seen.
    bool reached = false;
    QString focused;
    int redOnDelete = 0;
    int redOnCancel = 0;
    bool stayed = false;
};

// Once the next modal box has the keyboard, presses the keys where the keyboard is. A box the
// keys did not close is closed, so the test goes on to fail instead of waiting.
void pressInNextBox(QObject* context, QList<Qt::Key> keys, KeyedBox& seen) {
    QMetaObject::invokeMethod(
        context,
        [keys, &seen] {
            QPointer<QMessageBox> box;
            seen.reached = QTest::qWaitFor([&box] {
                box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                return box && QApplication::activeWindow() == box && QApplication::focusWidget();
            });
            if (!seen.reached) {
                if (box)
                    box->reject();
                return;
            }
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == "Delete")
                    seen.redOnDelete = redPixels(button);
                if (button->text() == "Cancel")
                    seen.redOnCancel = redPixels(button);
            }
            seen.focused = QApplication::focusWidget()->property("text").toString();
            for (Qt::Key key : keys)
                if (box && box->isVisible())
                    QTest::keyClick(QApplication::focusWidget(), key);
            seen.stayed = box && box->isVisible();
            if (seen.stayed)
                box->reject();
        },
        Qt::QueuedConnection);
}

QAction* actionNamed(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// Another program's connection moves the kippets table away for as long as this lives, as a
// damaged or foreign store file would look: every read of a kippet row fails.
class KippetsTableMoved {
public:
    explicit KippetsTableMoved(const QString& path) {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", name);
        other.setDatabaseName(path);
        moved = other.open() && run("ALTER TABLE kippets RENAME TO kippets_elsewhere");
    }
    ~KippetsTableMoved() {
        run("ALTER TABLE kippets_elsewhere RENAME TO kippets");
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    bool moved = false;

private:
    bool run(const char* sql) { return QSqlQuery(QSqlDatabase::database(name, false)).exec(sql); }
    const QString name = "KippetsTableMoved";
};
} // namespace

// A kippet's card and row on the dashboard: the click that opens and closes, the context menu,
// deletion and the alerts, over the real manager, store and window registry.
class KippetTileTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<DashboardHarness> h;

    void click(KippetTile* tile) {
        QTest::mouseClick(tile, Qt::LeftButton, {}, tile->rect().center());
        DashboardHarness::settle();
    }
    QMenu* menuOf(const QString& name) { return h->tileOf(name)->buildContextMenu(); }
    void useList() { h->view()->setDisplayMode(DisplayMode::list); }

private slots:
    void init() { h = std::make_unique<DashboardHarness>(); }
    void cleanup() {
        TuckCommands::install(TuckCommands{[] {}, [](Kippet*) {}, [] {}, [] {}, [] { return 0; }});
        h.reset();
    }

    void clickReopensAndCloses_data() {
        QTest::addColumn<bool>("asList");
        QTest::newRow("card") << false;
        QTest::newRow("row") << true;
    }
    void clickReopensAndCloses() {
        QFETCH(bool, asList);
        Kippet* kippet = h->closedKippet("Desk");
        h->open();
        if (asList)
            useList();
        KippetTile* tile = h->tileOf("Desk");
        QVERIFY(asList ? bool(qobject_cast<KippetRow*>(tile))
                       : bool(qobject_cast<KippetCardView*>(tile)));
        QVERIFY(!tile->isOpen());
        QCOMPARE(tile->statusText(), QString(""));

        click(tile);
        QVERIFY(h->manager().activeKippets().contains(kippet));
        FloatingKippetWindow* window = h->registry().registeredWindow(kippet->id());
        QVERIFY(window && window->isVisible());
        tile = h->tileOf("Desk");
        QVERIFY(tile->isOpen());
        QCOMPARE(tile->statusText(), QString("Kippet is open"));
        QCOMPARE(KippetTile::activeToolTip, QString("Active"));

        click(tile);
        QVERIFY(!h->manager().activeKippets().contains(kippet));
        QVERIFY(!h->registry().registeredWindow(kippet->id()));
        QVERIFY(!h->tileOf("Desk")->isOpen());
        QVERIFY(h->alerts().isEmpty());
    }

    // The card's preview is the collapsed window's status of the kippet, in colour while the
    // kippet is closed and without any while it is open.
    void cardPreviewIsTheCollapsedStatusGreyWhileOpen() {
        Kippet* kippet = h->closedKippet("Desk");
        h->open();
        auto* card = qobject_cast<KippetCardView*>(h->tileOf("Desk"));
        QVERIFY(card && card->preview() && card->preview()->isVisible());
        QCOMPARE(card->preview()->kippet(), kippet);
        QVERIFY(!card->preview()->isActive());
        const auto colouredPixels = [](KippetCardView* shown) {
            const QImage image =
                shown->grab(shown->preview()->parentWidget()->geometry()).toImage();
            int coloured = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    coloured += QColor(image.pixel(x, y)).hsvSaturation() > 60 ? 1 : 0;
            return coloured;
        };
        QVERIFY(colouredPixels(card) > 0);
        click(card);
        card = qobject_cast<KippetCardView*>(h->tileOf("Desk"));
        QVERIFY(card->isOpen());
        QCOMPARE(colouredPixels(card), 0);
        click(card);
        card = qobject_cast<KippetCardView*>(h->tileOf("Desk"));
        QVERIFY(colouredPixels(card) > 0);
    }

    // A change of the open state moves the look over with a spring; it ends at the new state.
    void openingAnimatesToTheOpenLook() {
        h->closedKippet("Desk");
        h->open();
        KippetTile* tile = h->tileOf("Desk");
        QCOMPARE(tile->openness(), 0.0);
        Animations::setEnabled(true);
        click(tile);
        tile = h->tileOf("Desk");
        QVERIFY(tile->isOpen());
        const qreal started = tile->openness();
        QTRY_COMPARE(tile->openness(), 1.0);
        Animations::setEnabled(false);
        QVERIFY(started < 1.0);
        // A tile made for an open kippet shows the open look at once.
        useList();
        QCOMPARE(h->tileOf("Desk")->openness(), 1.0);
    }

    void dailyKippetUsesTheDailyColour() {
        Kippet* daily = h->manager().createKippet("Daily", KippetColor::fromHex("FF453A").value(),
                                                  "calendar", true);
        h->manager().closeKippet(daily);
        h->open();
        QCOMPARE(h->tileOf("Daily")->kippetColor(), dailyKippetColor());
        QCOMPARE(dailyKippetColor(), QColor::fromRgbF(0.2f, 0.2f, 0.2f));
    }

    void countHoldsItemsTodosAndANoteWithText() {
        Kippet* kippet = h->closedKippet("Desk");
        for (int i = 0; i < 3; ++i) {
            KippetItem item;
            item.type = KippetItemType::text;
            item.content = QByteArray("pasted ") + QByteArray::number(i);
            item.metadata.name = QString("Text %1").arg(i);
            h->manager().addItem(item, kippet);
        }
        h->open();
        QCOMPARE(h->tileOf("Desk")->countText(), QString("3"));
        h->manager().addTodo("Call Anna", kippet);
        h->manager().updateNote("   ", kippet);
        QCOMPARE(h->tileOf("Desk")->countText(), QString("4"));
        h->manager().updateNote("Quarterly numbers", kippet);
        QCOMPARE(h->tileOf("Desk")->countText(), QString("5"));
        useList();
        QCOMPARE(h->tileOf("Desk")->countText(), QString("5"));
    }

    void rowTellsTheTimeSinceCreationAndFollowsTheClock() {
        h->createKippet("Desk");
        h->open();
        useList();
        auto* row = qobject_cast<KippetRow*>(h->tileOf("Desk"));
        QVERIFY(row);
        QCOMPARE(row->detailText(), QString("Created 0 seconds"));
        testClock().advance(2h + 5min + 10s);
        QCOMPARE(row->detailText(), QString("Created 2 hours, 5 minutes"));
        testClock().advance(22h);
        QCOMPARE(row->detailText(), QString("Created 1 day"));
    }

    void rowsOfOldKippetsStartNoNegativeTimer() {
        // On the system clock, whose timers are Qt's: a year-old kippet's next change, a month
        // away, must not reach a timer as a negative interval.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        testClock().setNow(now.addYears(-2));
        h->createKippet("Two years");
        testClock().setNow(now.addYears(-1).addDays(-3));
        h->createKippet("A year");
        testClock().setNow(now.addDays(-40));
        h->createKippet("Forty days");
        Clock::install(nullptr);
        QStringList messages;
        capturedMessages = &messages;
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        h->open();
        useList();
        DashboardHarness::settle();
        qInstallMessageHandler(previous);
        capturedMessages = nullptr;
        Clock::install(&testClock());
        QCOMPARE(h->shownNames().size(), 3);
        for (const QString& message : messages)
            QVERIFY2(!message.contains("negative", Qt::CaseInsensitive), qPrintable(message));
        QCOMPARE(qobject_cast<KippetRow*>(h->tileOf("Two years"))->detailText(),
                 QString("Created 2 years"));
    }

    void everyRowChangesWhenItsTextDoes() {
        const QDateTime start(QDate(2026, 1, 15), QTime(9, 30), QTimeZone::utc());
        testClock().setNow(start.addDays(-1));
        h->createKippet("One day");
        testClock().setNow(start.addDays(-40));
        h->createKippet("Forty days");
        testClock().setNow(start.addYears(-2));
        h->createKippet("Two years");
        testClock().setNow(start.addDays(-363));
        h->createKippet("Almost a year");
        testClock().setNow(start);
        h->open();
        useList();
        const auto text = [this](const QString& name) {
            return qobject_cast<KippetRow*>(h->tileOf(name))->detailText();
        };
        QCOMPARE(text("One day"), QString("Created 1 day"));
        QCOMPARE(text("Forty days"), QString("Created 1 month, 1 week"));
        // 2024 was a leap year: two years and a day.
        QCOMPARE(text("Two years"), QString("Created 2 years"));
        QCOMPARE(text("Almost a year"), QString("Created 12 months"));

        // Each change comes when it is due, not before: an hour, two, four and 29 days on.
        testClock().advance(1h - 1s);
        QCOMPARE(text("One day"), QString("Created 1 day"));
        testClock().advance(1s);
        QCOMPARE(text("One day"), QString("Created 1 day, 1 hour"));
        testClock().advance(std::chrono::hours(24 * 2) - 1h - 1s);
        QCOMPARE(text("Almost a year"), QString("Created 12 months"));
        testClock().advance(1s);
        QCOMPARE(text("Almost a year"), QString("Created 1 year"));
        testClock().advance(std::chrono::hours(24 * 2) - 1s);
        QCOMPARE(text("Forty days"), QString("Created 1 month, 1 week"));
        testClock().advance(1s);
        QCOMPARE(text("Forty days"), QString("Created 1 month, 2 weeks"));
        testClock().advance(std::chrono::hours(24 * 25) - 1s);
        QCOMPARE(text("Two years"), QString("Created 2 years"));
        testClock().advance(1s);
        QCOMPARE(text("Two years"), QString("Created 2 years, 1 month"));
    }

    void deleteAsksAndCancelKeeps() {
        Kippet* kippet = h->closedKippet("Desk");
        const QString folder = h->manager().itemsDirectory(kippet);
        const QUuid id = kippet->id();
        h->open();
        h->app.dialogs().queueAnswer(1);
        actionNamed(menuOf("Desk"), "Delete")->trigger();
        QCOMPARE(h->alerts().size(), 1);
        QCOMPARE(h->alerts().first().title, deleteQuestion);
        QCOMPARE(h->alerts().first().buttons, (QStringList{"Delete", "Cancel"}));
        QVERIFY(h->app.byName("Desk"));

        h->app.dialogs().queueAnswer(0);
        actionNamed(menuOf("Desk"), "Delete")->trigger();
        QVERIFY(!h->app.byName("Desk"));
        QVERIFY(!h->row(id).has_value());
        QVERIFY(!QDir(folder).exists());
        QCOMPARE(h->alerts().size(), 2);
        QVERIFY(h->shownNames().isEmpty());
    }

    void returnAndEscapeCancelTheDeleteQuestion_data() {
        QTest::addColumn<QList<Qt::Key>>("keys");
        QTest::addColumn<bool>("deletes");
        QTest::newRow("Return") << QList<Qt::Key>{Qt::Key_Return} << false;
        QTest::newRow("Enter") << QList<Qt::Key>{Qt::Key_Enter} << false;
        QTest::newRow("Escape") << QList<Qt::Key>{Qt::Key_Escape} << false;
        QTest::newRow("Tab, Return") << QList<Qt::Key>{Qt::Key_Tab, Qt::Key_Return} << false;
        QTest::newRow("Tab, Space") << QList<Qt::Key>{Qt::Key_Tab, Qt::Key_Space} << true;
    }
    void returnAndEscapeCancelTheDeleteQuestion() {
        QFETCH(QList<Qt::Key>, keys);
        QFETCH(bool, deletes);
        h->closedKippet("Desk");
        h->open();
        h->app.dialogs().setRecordingOnly(false);
        KeyedBox seen;
        QMenu* menu = menuOf("Desk");
        pressInNextBox(this, keys, seen);
        actionNamed(menu, "Delete")->trigger();
        QVERIFY(seen.reached);
        QVERIFY(!seen.stayed);
        QCOMPARE(h->app.byName("Desk") == nullptr, deletes);
        QCOMPARE(seen.focused, QString("Cancel"));
        QVERIFY2(seen.redOnDelete > 10, qPrintable(QString::number(seen.redOnDelete)));
        QCOMPARE(seen.redOnCancel, 0);
        QCOMPARE(h->alerts().size(), 1);
        QCOMPARE(h->alerts().first().title, deleteQuestion);
        QCOMPARE(h->alerts().first().buttons, (QStringList{"Delete", "Cancel"}));
        QCOMPARE(h->alerts().first().defaultButton, 1);
        QCOMPARE(h->alerts().first().destructiveButton, 0);
    }

    void failuresShowTheStoresMessage() {
        Kippet* kippet = h->createKippet("Desk");
        h->open();
        // A close the store refuses is shown; the window goes all the same.
        h->failStore("UPDATE", "kippets");
        click(h->tileOf("Desk"));
        QCOMPARE(h->alerts().size(), 1);
        QCOMPARE(h->alerts().first().title, QString("Error"));
        QVERIFY2(h->alerts().first().text.contains("refused"),
                 qPrintable(h->alerts().first().text));
        QVERIFY(h->manager().activeKippets().contains(kippet));
        QVERIFY(!h->registry().registeredWindow(kippet->id()));
        QCOMPARE(kippet->lastClosedDate(), std::nullopt);
        h->healStore();
        h->manager().closeKippet(kippet);

        h->failStore("DELETE", "kippets");
        h->app.dialogs().queueAnswer(0);
        actionNamed(menuOf("Desk"), "Delete")->trigger();
        QCOMPARE(h->alerts().size(), 3);
        QCOMPARE(h->alerts().last().title, QString("Error"));
        QVERIFY(h->alerts().last().text.contains("refused"));
        QCOMPARE(h->app.byName("Desk"), kippet);
        QVERIFY(h->row(kippet->id()).has_value());
        QCOMPARE(h->shownNames(), QStringList{"Desk"});
    }

    void aFailedReopenShowsTheStoresMessageUntilOK_data() {
        QTest::addColumn<bool>("fromRowMenu");
        QTest::newRow("card click") << false;
        QTest::newRow("row menu") << true;
    }
    void aFailedReopenShowsTheStoresMessageUntilOK() {
        QFETCH(bool, fromRowMenu);
        Kippet* kippet = h->closedKippet("Desk");
        h->open();
        if (fromRowMenu)
            useList();
        h->app.dialogs().setRecordingOnly(false);
        QWidget* dashboard = h->view()->window();
        const KippetsTableMoved moved(h->store().container()->storePath());
        QVERIFY(moved.moved);

        if (fromRowMenu)
            actionNamed(menuOf("Desk"), "Reopen Kippet")->trigger();
        else
            click(h->tileOf("Desk"));
        const QList<QMessageBox*> shown = dashboard->findChildren<QMessageBox*>();
        QCOMPARE(shown.size(), 1);
        const QPointer<QMessageBox> alert = shown.first();
        QVERIFY(alert->isVisible());
        QCOMPARE(alert->windowTitle(), QString("Error"));
        QCOMPARE(alert->text(), QString("no such table: kippets Unable to fetch row"));
        QVERIFY(!h->manager().activeKippets().contains(kippet));

        QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!alert);
        QVERIFY(dashboard->findChildren<QMessageBox*>().isEmpty());
        QVERIFY(!h->registry().registeredWindow(kippet->id()));
        QVERIFY(!h->tileOf("Desk")->isOpen());
    }

    void menuOfOpenAndClosedKippets() {
        h->createKippet("Open");
        h->closedKippet("Closed");
        h->open();
        QCOMPARE(itemsOf(menuOf("Closed")),
                 (QStringList{"Reopen Kippet", "Edit Kippet", "Custom Instructions...", "---",
                              "Create Daily Kippet", "---", "Delete"}));
        QCOMPARE(itemsOf(menuOf("Open")),
                 (QStringList{"Focus Window", "Close Kippet", "Tuck Overview", "Tuck Away",
                              "Tuck Away All", "Edit Kippet", "Custom Instructions...", "---",
                              "Create Daily Kippet", "---", "Delete"}));

        int pullTabs = 1;
        TuckCommands commands = TuckCommands::shared();
        commands.tuckSingleWindowCount = [&pullTabs] { return pullTabs; };
        TuckCommands::install(commands);
        QVERIFY(!actionNamed(menuOf("Open"), "Untuck All Kippets"));
        pullTabs = 2;
        QVERIFY(actionNamed(menuOf("Open"), "Untuck All Kippets"));
    }

    void menuDrawsDeleteAsDestructive() {
        h->closedKippet("Desk");
        h->open();
        QMenu* menu = menuOf("Desk");
        menu->adjustSize();
        const QImage image = menu->grab().toImage();
        const qreal ratio = image.devicePixelRatio();
        const auto redPixels = [&](const QString& item) {
            const QRect area = menu->actionGeometry(actionNamed(menu, item));
            int count = 0;
            for (int y = int(area.top() * ratio); y < int(area.bottom() * ratio); ++y)
                for (int x = int(area.left() * ratio); x < int(area.right() * ratio); ++x) {
                    const QColor pixel = image.pixelColor(x, y);
                    count += pixel.red() > 170 && pixel.green() < 110 && pixel.blue() < 110;
                }
            return count;
        };
        QVERIFY2(redPixels("Delete") > 10, qPrintable(QString::number(redPixels("Delete"))));
        QCOMPARE(redPixels("Edit Kippet"), 0);
        QCOMPARE(redPixels("Reopen Kippet"), 0);
        delete menu;
    }

    void menuCommands() {
        testClock().setNow(QDateTime(QDate(2026, 1, 15), QTime(9, 30), Qt::UTC));
        Kippet* closed = h->closedKippet("Closed");
        DashboardView* view = h->open();
        QVERIFY(actionNamed(menuOf("Closed"), "Create Daily Kippet")->isEnabled());
        h->createKippet("Thursday 15.1.");
        QVERIFY(!actionNamed(menuOf("Closed"), "Create Daily Kippet")->isEnabled());

        actionNamed(menuOf("Closed"), "Reopen Kippet")->trigger();
        QVERIFY(h->manager().activeKippets().contains(closed));
        QVERIFY(h->registry().registeredWindow(closed->id())->isVisible());

        actionNamed(menuOf("Closed"), "Close Kippet")->trigger();
        QVERIFY(!h->manager().activeKippets().contains(closed));
        QVERIFY(!h->registry().registeredWindow(closed->id()));

        actionNamed(menuOf("Closed"), "Edit Kippet")->trigger();
        QVERIFY(view->editing()->sheet());
        QCOMPARE(view->editing()->editingKippet(), closed);
        view->editing()->cancel();

        actionNamed(menuOf("Closed"), "Custom Instructions...")->trigger();
        DashboardHarness::settle();
        auto* sheet = view->findChild<CustomInstructionsSheet*>();
        QVERIFY(sheet && sheet->isVisible());
    }
};

QTEST_MAIN(KippetTileTest)
#include "KippetTileTest.moc"
