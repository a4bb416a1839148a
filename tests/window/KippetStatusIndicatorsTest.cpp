#include "analysis/LocalModelServer.h"
#include "app/Symbols.h"
#include "model/Kippet.h"
#include "model/KippetNote.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/CollapsedStateIndicator.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/KippetIconBadge.h"
#include "window/MiniStateIndicator.h"
#include "window/PanelDriver.h"

#include <QLabel>
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
