#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {
ContentAnalysis linkResult() {
    ContentAnalysis result;
    result.category = ItemCategory::links;
    result.customCategory = QStringLiteral("Reading");
    result.title = QStringLiteral("A Good Read");
    result.description = QStringLiteral("An article worth keeping.");
    result.tags = {QStringLiteral("article"), QStringLiteral("web")};
    result.confidence = 0.9;
    return result;
}

KippetItem pasteText(IntakeFixture& h, const QString& text) {
    QMimeData data;
    data.setText(text);
    TaskRunner::finish(h.intake->pasteFromPasteboard(data));
    return h.kippet->items().constLast();
}

KippetItem current(const Kippet& kippet, const QUuid& id) {
    return kippet.item(id).value_or(KippetItem());
}

KippetItemModel storedRow(IntakeFixture& h, const QUuid& kippetId, const QUuid& itemId) {
    IntakeFixture::settle();
    const std::optional<KippetModel> kippet = h.store().fetchKippet(kippetId);
    for (const KippetItemModel& row : kippet->items)
        if (row.id == itemId)
            return row;
    return {};
}
} // namespace

class AnalysisSchedulingTest : public QObject {
    Q_OBJECT
private slots:
    void successStoresEveryFieldOfTheResult() {
        IntakeFixture h;
        h.kippet->setSanitizedInstructions(QStringLiteral("Sort reading material apart"));
        h.analyzer->answer(linkResult());
        const KippetItem item = pasteText(h, QStringLiteral("https://example.org/article"));
        QCOMPARE(h.analyzer->receivedInstructions,
                 QList<std::optional<QString>>{QStringLiteral("Sort reading material apart")});
        const KippetItemModel row = storedRow(h, h.kippet->id(), item.id);
        QCOMPARE(row.categoryRaw, QStringLiteral("Links"));
        QCOMPARE(row.customCategory, std::optional<QString>(QStringLiteral("Reading")));
        QCOMPARE(row.metadataAiTitle, std::optional<QString>(QStringLiteral("A Good Read")));
        QCOMPARE(row.metadataAiDescription,
                 std::optional<QString>(QStringLiteral("An article worth keeping.")));
        QCOMPARE(row.metadataAiTags, std::optional<QStringList>(QStringList{
                                         QStringLiteral("article"), QStringLiteral("web")}));
        QVERIFY(!row.isProcessing);
        QVERIFY(!current(*h.kippet, item.id).isProcessing);
    }

    void timeoutWaitsAndIsRetriedAfterSixtySecondsOfTheClock() {
        IntakeFixture h;
        h.analyzer->answer(
            ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::timeout)));
        h.analyzer->answer(linkResult());
        const KippetItem item = pasteText(h, QStringLiteral("Call the plumber"));
        QCOMPARE(current(*h.kippet, item.id).category, ItemCategory::waitingForAnalysis);
        QVERIFY(!current(*h.kippet, item.id).metadata.aiDescription);
        QCOMPARE(storedRow(h, h.kippet->id(), item.id).categoryRaw,
                 QStringLiteral("Waiting for Analysis"));
        QVERIFY(h.manager().hasPendingRetry(item.id));

        testClock().advance(59s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 1);
        testClock().advance(1s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 2);
        const KippetItem retried = current(*h.kippet, item.id);
        QCOMPARE(retried.category, ItemCategory::links);
        QVERIFY(!retried.customCategory); // a retry keeps no custom category
        QCOMPARE(retried.metadata.aiTitle, std::optional<QString>(QStringLiteral("A Good Read")));
        QVERIFY(!h.manager().hasPendingRetry(item.id));
        QCOMPARE(storedRow(h, h.kippet->id(), item.id).categoryRaw, QStringLiteral("Links"));
    }

    void passingFailuresAreRetriedEveryMinuteWithoutEnd() {
        IntakeFixture h;
        // The last scripted answer repeats: every attempt fails.
        h.analyzer->answer(ScriptedAnalyzer::failing(AIServiceError::apiError(503)));
        const KippetItem item = pasteText(h, QStringLiteral("Flaky"));
        testClock().advance(180s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 4);
        QCOMPARE(current(*h.kippet, item.id).category, ItemCategory::waitingForAnalysis);
        QVERIFY(h.manager().hasPendingRetry(item.id));
    }

    void missingKeyLeavesTheMessageAndIsNotRetried() {
        IntakeFixture h;
        h.analyzer->answer(
            ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::noAPIKey)));
        const KippetItem item = pasteText(h, QStringLiteral("No key here"));
        const KippetItem after = current(*h.kippet, item.id);
        QCOMPARE(after.category, ItemCategory::uncategorized);
        QCOMPARE(after.metadata.aiDescription,
                 std::optional<QString>(QStringLiteral("Cannot analyze - no API key configured")));
        QVERIFY(!after.isProcessing);
        QVERIFY(!h.manager().hasPendingRetry(item.id));
        testClock().advance(120s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 1);
        QCOMPARE(storedRow(h, h.kippet->id(), item.id).metadataAiDescription,
                 std::optional<QString>(QStringLiteral("Cannot analyze - no API key configured")));
    }

    void analysisSwitchedOffUsesTheClassifier() {
        IntakeFixture h;
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
        const KippetItem item = pasteText(h, QStringLiteral("Just a note"));
        const KippetItem after = current(*h.kippet, item.id);
        QCOMPARE(after.category, ItemCategory::notes);
        QCOMPARE(after.metadata.aiDescription, std::optional<QString>(QStringLiteral("Note")));
        QVERIFY(!after.metadata.aiTitle);
        QVERIFY(h.analyzer->analyzedItems.isEmpty());
        QCOMPARE(storedRow(h, h.kippet->id(), item.id).categoryRaw, QStringLiteral("Notes"));
    }

    void savedKeyMakesWaitingItemsTryAgainAtOnce() {
        IntakeFixture h;
        h.analyzer
            ->answer(ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::networkError)))
            .answer(ScriptedAnalyzer::resultFrom(QStringLiteral("retry")));
        const KippetItem item = pasteText(h, QStringLiteral("Later"));
        testClock().advance(10s);
        h.manager().retryWaitingAnalyses();
        testClock().advance(0ms);
        QCOMPARE(h.analyzer->analyzedItems.size(), 2);
        QCOMPARE(current(*h.kippet, item.id).category, ItemCategory::documents);
        // The fresh retry finds the item analysed and ends without another call.
        testClock().advance(60s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 2);
        QVERIFY(!h.manager().hasPendingRetry(item.id));
    }

    void quickRetriesAnalyseEachWaitingItemOnce() {
        IntakeFixture h;
        h.analyzer->answer(ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::timeout)))
            .answer(ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::timeout)))
            .answer(ScriptedAnalyzer::resultFrom(QStringLiteral("retry")));
        const KippetItem first = pasteText(h, QStringLiteral("First"));
        const KippetItem second = pasteText(h, QStringLiteral("Second"));
        QCOMPARE(h.analyzer->analyzedItems.size(), 2);
        // Each attempt takes a while: later retries arrive while the first ones still run.
        h.analyzer->setDelay(1s);
        for (int call = 0; call < 10; ++call) {
            h.manager().retryWaitingAnalyses();
            testClock().advance(0ms);
        }
        testClock().advance(1s);
        testClock().advance(60s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 4);
        QCOMPARE(h.analyzer->analyzedItems[2].id, first.id);
        QCOMPARE(h.analyzer->analyzedItems[3].id, second.id);
        QCOMPARE(current(*h.kippet, first.id).category, ItemCategory::documents);
        QCOMPARE(current(*h.kippet, second.id).category, ItemCategory::documents);
        QVERIFY(!h.manager().hasPendingRetry(first.id));
    }

    void aRetryAskedForDuringAnAttemptFollowsItsOutcome() {
        IntakeFixture h;
        h.analyzer->answer(
            ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::timeout)));
        const KippetItem item = pasteText(h, QStringLiteral("Flaky"));
        h.analyzer->setDelay(1s);
        h.manager().retryWaitingAnalyses();
        testClock().advance(0ms);
        QCOMPARE(h.analyzer->analyzedItems.size(), 2);
        // Asked again while the attempt runs: once it has failed, the next one follows at once.
        h.manager().retryWaitingAnalyses();
        h.analyzer->answer(ScriptedAnalyzer::resultFrom(QStringLiteral("retry")));
        testClock().advance(1s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 3);
        QCOMPARE(current(*h.kippet, item.id).category, ItemCategory::waitingForAnalysis);
        testClock().advance(1s);
        QCOMPARE(current(*h.kippet, item.id).category, ItemCategory::documents);
        testClock().advance(120s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 3);
    }

    void switchingAnalysisOffClassifiesWaitingItemsAndEndsRetries() {
        IntakeFixture h;
        h.analyzer->answer(
            ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::timeout)));
        const KippetItem item = pasteText(h, QStringLiteral("Pending"));
        h.manager().reanalyzeAll(); // "ai_enabled" unset: nothing happens
        QCOMPARE(current(*h.kippet, item.id).category, ItemCategory::waitingForAnalysis);
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
        h.manager().reanalyzeAll();
        QCOMPARE(current(*h.kippet, item.id).category, ItemCategory::notes);
        QVERIFY(!h.manager().hasPendingRetry(item.id));
        testClock().advance(120s);
        QCOMPARE(h.analyzer->analyzedItems.size(), 1);
        QCOMPARE(storedRow(h, h.kippet->id(), item.id).categoryRaw, QStringLiteral("Notes"));
    }

    void afterARestartWaitingAndInterruptedItemsAreAnalysedAgain() {
        IntakeFixture h;
        const QUuid kippetId = h.kippet->id();
        h.analyzer->answer(ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::timeout)))
            .answer(ScriptedAnalyzer::resultFrom(QStringLiteral("retry")));
        const KippetItem waiting = pasteText(h, QStringLiteral("Waiting one"));
        // The next analysis is still running when the app quits.
        h.analyzer->setDelay(1s);
        QMimeData data;
        data.setText(QStringLiteral("Interrupted one"));
        auto interruptedPaste = h.intake->pasteFromPasteboard(data);
        h.analyzer->setDelay(0ms);
        const KippetItem interrupted = h.kippet->items().constLast();
        QVERIFY(interrupted.isProcessing);
        IntakeFixture::settle();
        h.intake.reset();
        h.stop();
        h.start();

        Kippet* reloaded = h.manager().kippet(kippetId);
        QVERIFY(reloaded);
        // Without a stored key an interrupted analysis is finished by the classifier at once.
        QCOMPARE(current(*reloaded, interrupted.id).category, ItemCategory::notes);
        QVERIFY(!current(*reloaded, interrupted.id).isProcessing);
        QCOMPARE(current(*reloaded, waiting.id).category, ItemCategory::waitingForAnalysis);
        const qsizetype callsBefore = h.analyzer->analyzedItems.size();
        testClock().advance(60s);
        QCOMPARE(h.analyzer->analyzedItems.size(), callsBefore + 1);
        QCOMPARE(h.analyzer->analyzedItems.constLast().id, waiting.id);
        QCOMPARE(current(*reloaded, waiting.id).category, ItemCategory::documents);
        QCOMPARE(storedRow(h, kippetId, waiting.id).categoryRaw, QStringLiteral("Documents"));
        QCOMPARE(storedRow(h, kippetId, interrupted.id).categoryRaw, QStringLiteral("Notes"));
    }

    void kippetDeletedDuringAnalysisIsNotWrittenTo() {
        IntakeFixture h;
        const QUuid kippetId = h.kippet->id();
        h.analyzer->setDelay(1s);
        QMimeData data;
        data.setText(QStringLiteral("Orphan"));
        auto paste = h.intake->pasteFromPasteboard(data);
        QCOMPARE(h.analyzer->analyzedItems.size(), 1);
        h.manager().deleteKippet(h.kippet);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(h.intake->kippet() == nullptr);
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        testClock().advance(1s); // the analysis answers now
        TaskRunner::finish(std::move(paste));
        IntakeFixture::settle();
        QVERIFY(errors.isEmpty());
        QVERIFY(!h.store().fetchKippet(kippetId));
        QVERIFY(!QDir(h.folder() + QStringLiteral("/KippetData/") +
                      kippetId.toString(QUuid::WithoutBraces).toUpper())
                     .exists());
    }
};

QTEST_MAIN(AnalysisSchedulingTest)
#include "AnalysisSchedulingTest.moc"
