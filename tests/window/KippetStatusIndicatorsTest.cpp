#include "analysis/LocalModelServer.h"
#include "model/Kippet.h"
#include "model/KippetNote.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "support/TestFonts.h"
#include "ui/Symbols.h"
#include "window/CollapsedStateIndicator.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/KippetIconBadge.h"
#include "window/MiniStateIndicator.h"
#include "window/PanelDriver.h"
#include "window/ShimmerSymbol.h"

#include <QLabel>
#include <QScreen>
#include <QTest>

using namespace PanelDriver;
using namespace std::chrono_literals;

namespace {
KippetItem textItem(const QString& text, ItemCategory category, bool isProcessing = false) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::text;
    item.content = text.toUtf8();
    item.metadata.name = text;
    item.category = category;
    item.isProcessing = isProcessing;
    item.addedDate = QDateTime::currentDateTimeUtc();
    return item;
}

void recategorise(Kippet* kippet, KippetItem item, ItemCategory category) {
    item.category = category;
    item.isProcessing = false;
    kippet->replaceItem(item);
}

CollapsedStateIndicator* collapsedStatus(FloatingKippetWindow* window) {
    return viewOf(window)->currentLayout()->findChild<CollapsedStateIndicator*>();
}

// The texts the status shows, top to bottom: its labels, or the name drawn under the badge.
QStringList shown(const CollapsedStateIndicator* status) {
    QStringList texts;
    for (const QLabel* label : status->findChildren<QLabel*>()) {
        if (label->isVisible() && !label->text().isEmpty())
            texts.append(label->text());
    }
    if (!status->shownName().isEmpty())
        texts.append(status->shownName());
    return texts;
}

QString bubble(const CollapsedStateIndicator* status) {
    const std::optional<int> count = status->shownCount();
    return count ? QString::number(*count) : QString();
}

// What the panel shows on the screen: its backing store, which only the repainted parts renew.
QImage onScreen(QWidget* window) {
    AppHarness::settle();
    return window->screen()->grabWindow(window->winId()).toImage();
}

// Pixels of a colour (not grey, white or black) in the area.
int colouredPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y).hsvSaturation() > 40)
                ++count;
        }
    }
    return count;
}

// The bounding box of the pixels that differ between two pictures of the same size.
QRect changed(const QImage& before, const QImage& after) {
    QRect box;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

void setActive(Kippet* kippet, bool isActive) {
    NotificationCenter::shared().post(
        QStringLiteral("KippetWindowActiveStateChanged"), {},
        {{QStringLiteral("kippetId"), QVariant::fromValue(kippet->id())},
         {QStringLiteral("isActive"), isActive}});
}
} // namespace

class KippetStatusIndicatorsTest : public QObject {
    Q_OBJECT
private slots:
    // Badge and name are centred as one block, so the bubble's place follows the name's line
    // height: measured in one font.
    void initTestCase() { TestFonts::useDejaVuSans(); }

    void anAnalysedItemShowsAnalyzingThenImportingThenTheCount() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        CollapsedStateIndicator* status = collapsedStatus(window);
        QVERIFY(status);

        const KippetItem item = textItem(QStringLiteral("a"), ItemCategory::uncategorized, true);
        kippet->addItem(item);
        QCOMPARE(shown(status), QStringList({QStringLiteral("Analyzing Content..."),
                                             QStringLiteral("AI is categorizing your items")}));
        recategorise(kippet, item, ItemCategory::notes);
        QCOMPARE(shown(status), QStringList({QStringLiteral("Importing Content..."),
                                             QStringLiteral("Your file is being prepared")}));
        testClock().advance(1999ms);
        QCOMPARE(status->state(), StateIndicator::State::importing);
        testClock().advance(1ms);
        QCOMPARE(status->state(), StateIndicator::State::idle);
        QCOMPARE(shown(status), QStringList({QStringLiteral("Inbox")}));
        QCOMPARE(bubble(status), QStringLiteral("1"));
    }

    // The resting look is painted by the status itself: leaving it must not leave parts of the
    // badge on the screen beside the symbol, in the collapsed tile and in the mini one.
    void noBadgeStaysOnTheScreenWhileAnalysing() {
        for (const bool mini : {false, true}) {
            AppHarness app;
            start(app);
            Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
            kippet->setColor(KippetColor::fromQColor(QColor(230, 40, 40)));
            kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::links));
            FloatingKippetWindow* window = showActive(app, kippet);
            if (mini)
                window->enterMiniView();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            StateIndicator* status = viewOf(window)->currentLayout()->findChild<StateIndicator*>();
            QVERIFY(status);
            QCOMPARE(status->state(), StateIndicator::State::idle);
            // Inside the panel's border and its rounded corners, which take the kippet's colour
            // too.
            const QRect area = QRect(status->mapTo(window, QPoint(0, 0)), status->size())
                                   .intersected(window->rect().adjusted(16, 16, -16, -16));
            QVERIFY(colouredPixels(onScreen(window), area) > 100);

            kippet->addItem(textItem(QStringLiteral("b"), ItemCategory::uncategorized, true));
            QCOMPARE(status->state(), StateIndicator::State::analyzing);
            auto* symbol = status->findChild<ShimmerSymbol*>();
            QVERIFY(symbol);
            const QImage shown = onScreen(window);
            const QRect glyph(symbol->mapTo(window, QPoint(0, 0)), symbol->size());
            QRegion outside(area);
            outside -= glyph;
            int coloured = 0;
            for (const QRect& part : outside)
                coloured += colouredPixels(shown, part);
            QCOMPARE(coloured, 0);
        }
    }

    // The count bubble shares the badge's bottom-right corner, then moves 6 right and 6 down:
    // for the badge at x 82-138, y 58-114 of the tile it covers x 122-144, y 98-120.
    void theCountBubbleSitsAtTheBadgesCorner() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        setActive(kippet, false);
        CollapsedStateIndicator* status = collapsedStatus(window);
        QVERIFY(!status->shownCount());
        const QImage without = window->grab().toImage();
        kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::links));
        testClock().advance(2s);
        QCOMPARE(bubble(status), QStringLiteral("1"));
        const QRect bubbleFrame = changed(without, window->grab().toImage());
        // The disc's antialiased rim may leave its outermost pixels unchanged.
        QVERIFY2(std::abs(bubbleFrame.left() - 122) <= 1 &&
                     std::abs(bubbleFrame.right() + 1 - 144) <= 1 &&
                     std::abs(bubbleFrame.top() - 98) <= 1 &&
                     std::abs(bubbleFrame.bottom() + 1 - 120) <= 1,
                 qPrintable(QStringLiteral("x %1-%2, y %3-%4")
                                .arg(bubbleFrame.left())
                                .arg(bubbleFrame.right() + 1)
                                .arg(bubbleFrame.top())
                                .arg(bubbleFrame.bottom() + 1)));
    }

    void aFailedAnalysisShowsFor12SecondsAndGoesWhenResolved() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        CollapsedStateIndicator* status = collapsedStatus(window);
        const KippetItem item = textItem(QStringLiteral("a"), ItemCategory::uncategorized);
        kippet->addItem(item);
        QCOMPARE(status->state(), StateIndicator::State::idle);

        recategorise(kippet, item, ItemCategory::waitingForAnalysis);
        QCOMPARE(shown(status), QStringList({QStringLiteral("AI Analysis Failed"),
                                             QStringLiteral("Will continue when available")}));
        testClock().advance(11s);
        QCOMPARE(status->state(), StateIndicator::State::analysisFailed);
        testClock().advance(1s);
        QCOMPARE(status->state(), StateIndicator::State::idle);

        // Waiting again later, then resolved before its time: gone at once.
        recategorise(kippet, item, ItemCategory::uncategorized);
        recategorise(kippet, item, ItemCategory::waitingForAnalysis);
        QCOMPARE(status->state(), StateIndicator::State::analysisFailed);
        testClock().advance(3s);
        recategorise(kippet, item, ItemCategory::links);
        QCOMPARE(status->state(), StateIndicator::State::idle);
        QVERIFY(!status->tracker().showAnalysisFailedState());
    }

    void eachSortedArrivalKeepsImportingForTwoSeconds() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        CollapsedStateIndicator* status = collapsedStatus(showActive(app, kippet));
        kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::links));
        QCOMPARE(status->state(), StateIndicator::State::importing);
        testClock().advance(1s);
        kippet->addItem(textItem(QStringLiteral("b"), ItemCategory::notes));
        testClock().advance(1500ms);
        QCOMPARE(status->state(), StateIndicator::State::importing);
        testClock().advance(500ms);
        QCOMPARE(status->state(), StateIndicator::State::idle);
        QCOMPARE(bubble(status), QStringLiteral("2"));

        // Removing raises nothing.
        kippet->removeItem(kippet->items().first().id);
        QCOMPARE(status->state(), StateIndicator::State::idle);
        QCOMPARE(bubble(status), QStringLiteral("1"));
    }

    void itemsPresentAtAppearanceRaiseNothing() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::links));
        kippet->addItem(textItem(QStringLiteral("b"), ItemCategory::waitingForAnalysis));
        CollapsedStateIndicator* status = collapsedStatus(showActive(app, kippet));
        QCOMPARE(status->state(), StateIndicator::State::idle);
        // Another item waiting while one already waits: the waiting set did not start.
        const KippetItem item = textItem(QStringLiteral("c"), ItemCategory::uncategorized);
        kippet->addItem(item);
        recategorise(kippet, item, ItemCategory::waitingForAnalysis);
        QCOMPARE(status->state(), StateIndicator::State::importing);
        testClock().advance(2s);
        QCOMPARE(status->state(), StateIndicator::State::idle);
    }

    void analysingHidesAndStopsTheOtherStates() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        CollapsedStateIndicator* status = collapsedStatus(showActive(app, kippet));
        kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::links));
        QCOMPARE(status->state(), StateIndicator::State::importing);
        kippet->addItem(textItem(QStringLiteral("b"), ItemCategory::uncategorized, true));
        QCOMPARE(status->state(), StateIndicator::State::analyzing);
        QVERIFY(!status->tracker().showImportState());
    }

    void anEmptyKippetIsReadyOnlyWhileActive() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        CollapsedStateIndicator* status = collapsedStatus(window);
        setActive(kippet, true);
        QCOMPARE(shown(status), QStringList({QStringLiteral("Ready for Content"),
                                             QStringLiteral("Drop files, paste, or import")}));
        setActive(kippet, false);
        QCOMPARE(status->state(), StateIndicator::State::idle);
        QCOMPARE(shown(status), QStringList({QStringLiteral("Inbox")}));
        QVERIFY(!status->shownCount());

        // A note alone counts as one item: no Ready, the bubble shows "1".
        setActive(kippet, true);
        KippetNote note = kippet->note();
        note.text = QStringLiteral("Remember the milk");
        kippet->setNote(note);
        QCOMPARE(status->state(), StateIndicator::State::idle);
        QCOMPARE(bubble(status), QStringLiteral("1"));
        QVERIFY(status->showsBadge());
        QCOMPARE(status->accessibleName(), QStringLiteral("Inbox"));
    }

    void theMiniStatusShowsOnlyTheBadgeWhenIdle() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        window->enterMiniView();
        auto* status = viewOf(window)->currentLayout()->findChild<MiniStateIndicator*>();
        QVERIFY(status);
        setActive(kippet, true);
        QCOMPARE(status->state(), StateIndicator::State::idle);
        QCOMPARE(status->findChildren<KippetIconBadge*>().size(), 1);
        QVERIFY(status->findChildren<QLabel*>().isEmpty());

        const KippetItem item = textItem(QStringLiteral("a"), ItemCategory::uncategorized, true);
        kippet->addItem(item);
        QCOMPARE(status->state(), StateIndicator::State::analyzing);
        QVERIFY(status->findChildren<KippetIconBadge*>().isEmpty());
        recategorise(kippet, item, ItemCategory::images);
        QCOMPARE(status->state(), StateIndicator::State::importing);
        testClock().advance(2s);
        QCOMPARE(status->findChildren<KippetIconBadge*>().size(), 1);
        QVERIFY(status->findChildren<QLabel*>().isEmpty());
    }

    void aModeSwitchStartsTheStatusAfresh() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::links));
        QCOMPARE(collapsedStatus(window)->state(), StateIndicator::State::importing);
        window->toggleMiniView();
        window->toggleMiniView();
        QCOMPARE(collapsedStatus(window)->state(), StateIndicator::State::idle);
    }

    void theStatusSymbolsAreBundled() {
        for (const char* name :
             {"sparkles", "square.and.arrow.down.fill", "exclamationmark.triangle.fill",
              "arrow.down.doc", "plus.circle.fill", "xmark.circle.fill", "doc.on.clipboard",
              "note.text", "square.and.arrow.down", "checklist"})
            QCOMPARE(Symbols::resolve(QString::fromLatin1(name)), QString::fromLatin1(name));
    }
};

QTEST_MAIN(KippetStatusIndicatorsTest)
#include "KippetStatusIndicatorsTest.moc"
