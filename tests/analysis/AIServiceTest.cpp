#include "analysis/AIService.h"
#include "analysis/CancellationError.h"
#include "analysis/HeuristicAnalyzer.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "support/ScriptedAnalyzer.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QTest>
#include <stdexcept>

namespace {
using Scripted = std::shared_ptr<ScriptedAnalyzer>;
constexpr qint64 localModelCapabilities = 47;

KippetItem itemOf(KippetItemType type, const QString& name, std::optional<QString> extension = {}) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.metadata.name = name;
    item.metadata.fileExtension = std::move(extension);
    return item;
}

QList<AnalyzerID> idsOf(const AIService::Chain& chain) {
    QList<AnalyzerID> ids;
    for (const auto& analyzer : chain)
        ids.append(analyzer->id());
    return ids;
}

} // namespace

class AIServiceTest : public QObject {
    Q_OBJECT
private:
    AIService service;
    Scripted local, cloud, image;
    bool keyStored = false;

private slots:
    void init() {
        TestEnvironment::resetPreferences();
        service = AIService();
        local = std::make_shared<ScriptedAnalyzer>(AnalyzerID::localModel, localModelCapabilities);
        cloud = std::make_shared<ScriptedAnalyzer>(AnalyzerID::openAI, AnalyzerCapabilities::all);
        image = std::make_shared<ScriptedAnalyzer>(AnalyzerID::image, AnalyzerCapabilities::image);
        service.setLocalModelFactory([this] { return local; });
        service.setCloudFactory([this] { return cloud; });
        service.setImageFactory([this] { return image; });
        keyStored = false;
        service.setKeyPresence([this] { return keyStored; });
        qunsetenv("KIPPETS_FORCE_HEURISTIC");
    }

    void chainForEachMode() {
        using ID = AnalyzerID;
        QCOMPARE(idsOf(service.makeProviders(AIMode::onDevice, false)),
                 (QList<ID>{ID::localModel, ID::image, ID::heuristic}));
        QCOMPARE(idsOf(service.makeProviders(AIMode::onDevice, true)),
                 (QList<ID>{ID::localModel, ID::openAI, ID::image, ID::heuristic}));
        QCOMPARE(idsOf(service.makeProviders(AIMode::byok, true)),
                 (QList<ID>{ID::openAI, ID::heuristic}));
        QCOMPARE(idsOf(service.makeProviders(AIMode::off, true)), (QList<ID>{ID::heuristic}));
        // A local model that cannot run is left out of the chain altogether.
        local->setUnavailable(AnalyzerUnavailableReason::localModelNotRunning);
        QCOMPARE(idsOf(service.makeProviders(AIMode::onDevice, false)),
                 (QList<ID>{ID::image, ID::heuristic}));
        // Analyzers this build lacks are left out.
        AIService bare;
        QCOMPARE(idsOf(bare.makeProviders(AIMode::onDevice, true)), (QList<ID>{ID::heuristic}));
        QCOMPARE(idsOf(bare.makeProviders(AIMode::byok, false)), (QList<ID>{ID::heuristic}));
    }

    void chainFollowsCurrentPreferencesAndKey() {
        keyStored = true;
        QCOMPARE(idsOf(service.currentProviders()),
                 (QList<AnalyzerID>{AnalyzerID::openAI, AnalyzerID::heuristic}));
        QCOMPARE(Preferences::shared().stringValue("ai_mode"), std::optional<QString>("byok"));
        Preferences::shared().setString("ai_mode", "off");
        QCOMPARE(idsOf(service.currentProviders()), (QList<AnalyzerID>{AnalyzerID::heuristic}));
    }

    void forcedHeuristic_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("variable"); // "<unset>" when absent
        QTest::addColumn<bool>("forced");
        QTest::newRow("nothing") << QStringList{"kippets"} << "<unset>" << false;
        QTest::newRow("argument") << QStringList{"kippets", "-UITestForceHeuristic"} << "<unset>"
                                  << true;
        QTest::newRow("variable 1") << QStringList{"kippets"} << "1" << true;
        QTest::newRow("variable true") << QStringList{"kippets"} << "true" << false;
        QTest::newRow("variable yes") << QStringList{"kippets"} << "yes" << false;
        QTest::newRow("variable empty") << QStringList{"kippets"} << "" << false;
        QTest::newRow("argument prefix")
            << QStringList{"kippets", "-UITestForceHeuristicX"} << "<unset>" << false;
    }

    void forcedHeuristic() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, variable);
        QFETCH(bool, forced);
        QProcessEnvironment environment;
        if (variable != "<unset>")
            environment.insert("KIPPETS_FORCE_HEURISTIC", variable);
        QCOMPARE(AIService::isForcedHeuristic(arguments, environment), forced);
    }

    void forcingThroughTheEnvironmentOverridesEveryMode() {
        qputenv("KIPPETS_FORCE_HEURISTIC", "1");
        keyStored = true;
        cloud->setScreening(QString("cleaned"));
        QCOMPARE(idsOf(service.makeProviders(AIMode::onDevice, true)),
                 (QList<AnalyzerID>{AnalyzerID::heuristic}));
        const KippetItem item = itemOf(KippetItemType::text, "note");
        QCOMPARE(TaskRunner::finish(service.analyzeContent(item, std::nullopt)),
                 heuristicAnalysis(item));
        QVERIFY(TaskRunner::failure<AIServiceError>(service.sanitizeInstructions(
                    "Group by client")) == AIServiceError(AIServiceError::Case::notScreened));
        QVERIFY(cloud->analyzedItems.isEmpty() && cloud->screenedTexts.isEmpty());
        qunsetenv("KIPPETS_FORCE_HEURISTIC");
    }

    void firstCapableAvailableAnalyzerAnswers() {
        LogCapture log;
        const KippetItem item = itemOf(KippetItemType::file, "Plan.pdf", "pdf");
        const ContentAnalysis answer = ScriptedAnalyzer::resultFrom("local");
        local->answer(answer);
        QCOMPARE(TaskRunner::finish(service.analyzeContent(item, QString("Bucket by year"))),
                 answer);
        QCOMPARE(local->receivedInstructions,
                 (QList<std::optional<QString>>{QString("Bucket by year")}));
        QVERIFY(image->analyzedItems.isEmpty());
        QCOMPARE(image->availabilityChecks, 0); // incapable analyzers are not even asked
        QVERIFY(log.contains(
            "🤖 [AIService.analyzeContent] type: file, name: Plan.pdf, customInstructions: SET"));
        QVERIFY(log.contains(
            "🤖 [AIService.analyzeContent] provider localModel result - category: Documents, "
            "customCategory: nil, title: Title by local"));
    }

    void unavailableAnalyzerIsSkipped() {
        Preferences::shared().setString("ai_mode", "byok");
        cloud->setUnavailable(AnalyzerUnavailableReason::missingCredentials);
        const ContentAnalysis result = TaskRunner::finish(
            service.analyzeContent(itemOf(KippetItemType::image, "cat.png"), std::nullopt));
        QCOMPARE(result.description, QString("Image: cat.png"));
        QVERIFY(cloud->analyzedItems.isEmpty());
    }

    void failingAnalyzerFallsThroughToTheClassifier() {
        LogCapture log;
        local->answer(
            ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::invalidResponse)));
        const KippetItem item = itemOf(KippetItemType::file, "data.csv", "csv");
        QCOMPARE(TaskRunner::finish(service.analyzeContent(item, std::nullopt)),
                 heuristicFileAnalysis(item));
        QCOMPARE(local->analyzedItems.size(), 1);
        QVERIFY(log.contains(
            "⚠️ [AIService.analyzeContent] provider localModel failed: Invalid API response "
            "— falling through"));

        // A failure of any other type falls through the same way.
        image->answer(ScriptedAnalyzer::failing(std::runtime_error("decoder crashed")));
        const KippetItem picture = itemOf(KippetItemType::image, "cat.png");
        QCOMPARE(TaskRunner::finish(service.analyzeContent(picture, std::nullopt)),
                 heuristicAnalysis(picture));
        QVERIFY(log.contains("⚠️ [AIService.analyzeContent] provider image failed: decoder "
                             "crashed — falling through"));
    }

    void chainWithoutClassifierReportsLastFailure() {
        local->answer(
            ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::networkError)));
        cloud->answer(ScriptedAnalyzer::failing(AIServiceError::apiError(503)));
        image->setUnavailable(AnalyzerUnavailableReason::unknown);
        service.setInjectedProviders(AIService::Chain{local, cloud, image});
        const auto failure = TaskRunner::failure<AIServiceError>(
            service.analyzeContent(itemOf(KippetItemType::code, "a.py"), std::nullopt));
        QVERIFY(failure && *failure == AIServiceError::apiError(503));
    }

    void chainWithNobodyCapableIsUnavailable() {
        service.setInjectedProviders(AIService::Chain{image});
        const auto failure = TaskRunner::failure<AIServiceError>(
            service.analyzeContent(itemOf(KippetItemType::text, "t"), std::nullopt));
        QVERIFY(failure && *failure == AIServiceError::providerUnavailable(
                                           AnalyzerUnavailableReason::unknown));
        service.setInjectedProviders(AIService::Chain{});
        QVERIFY(TaskRunner::failure<AIServiceError>(
            service.analyzeContent(itemOf(KippetItemType::text, "t"), std::nullopt)));
    }

    void colourAndUnknownItemsSkipTheChain() {
        LogCapture log;
        service.setInjectedProviders(AIService::Chain{cloud});
        const ContentAnalysis colour = TaskRunner::finish(
            service.analyzeContent(itemOf(KippetItemType::color, "#FF0000"), std::nullopt));
        QCOMPARE(colour.description, QString("Color swatch"));
        const ContentAnalysis unknown = TaskRunner::finish(
            service.analyzeContent(itemOf(KippetItemType::unknown, "?"), std::nullopt));
        QCOMPARE(unknown.description, QString("Unknown content"));
        QVERIFY(cloud->analyzedItems.isEmpty());
        QVERIFY(log.contains("🤖 [AIService.analyzeContent] short-circuit heuristic for color - "
                             "category: Colors"));
    }

    void cancellationStopsTheWalk() {
        CancellationToken token;
        local->onAnalyze([token]() mutable { token.cancel(); })
            .answer(ScriptedAnalyzer::failing(AIServiceError(AIServiceError::Case::networkError)));
        auto fallback =
            std::make_shared<ScriptedAnalyzer>(AnalyzerID::heuristic, AnalyzerCapabilities::all);
        service.setInjectedProviders(AIService::Chain{local, fallback});
        QVERIFY(TaskRunner::failure<CancellationError>(
            service.analyzeContent(itemOf(KippetItemType::text, "t"), std::nullopt, token)));
        QVERIFY(fallback->analyzedItems.isEmpty());

        // An analyzer that reports cancellation itself stops the walk as well.
        local = std::make_shared<ScriptedAnalyzer>(AnalyzerID::localModel, localModelCapabilities);
        local->answer(ScriptedAnalyzer::failing(CancellationError()));
        service.setInjectedProviders(AIService::Chain{local, fallback});
        QVERIFY(TaskRunner::failure<CancellationError>(
            service.analyzeContent(itemOf(KippetItemType::text, "t"), std::nullopt)));
        QVERIFY(fallback->analyzedItems.isEmpty());
    }

    void cancellingWhileAnAnalyzerWorksDropsItsAnswer() {
        CancellationToken token;
        local->setDelay(std::chrono::seconds(5));
        service.setInjectedProviders(AIService::Chain{local});
        bool cancelled = false;
        bool answered = false;
        auto watch = [&]() -> QCoro::Task<void> {
            try {
                co_await service.analyzeContent(itemOf(KippetItemType::text, "t"), std::nullopt,
                                                token);
                answered = true;
            } catch (const CancellationError&) {
                cancelled = true;
            }
        };
        QCoro::Task<void> running = watch();
        QCOMPARE(local->analyzedItems.size(), 1);
        QVERIFY(!cancelled && !answered);
        token.cancel();
        testClock().advance(std::chrono::seconds(5));
        QVERIFY(cancelled);
        QVERIFY(!answered);
    }

    void screeningRejectionIsAnErrorWhoeverGivesIt() {
        local->setScreening(QString("REJECTED"));
        QVERIFY(
            TaskRunner::failure<AIServiceError>(service.sanitizeInstructions("something rude")) ==
            AIServiceError(AIServiceError::Case::instructionsRejected));

        Preferences::shared().setString("ai_mode", "byok");
        cloud->setScreening(
            std::make_exception_ptr(AIServiceError(AIServiceError::Case::instructionsRejected)));
        QVERIFY(
            TaskRunner::failure<AIServiceError>(service.sanitizeInstructions("something rude")) ==
            AIServiceError(AIServiceError::Case::instructionsRejected));
    }

    void screeningUsesFirstQualifiedAnalyzer() {
        local->setUnavailable(AnalyzerUnavailableReason::modelNotReady);
        Preferences::shared().setBool("ai_prefer_cloud_for_images", true);
        Preferences::shared().setString("ai_mode", "onDevice");
        cloud->setScreening(QString("Group by client name"));
        QCOMPARE(TaskRunner::finish(service.sanitizeInstructions("group by client pls")),
                 QString("Group by client name"));
        QCOMPARE(cloud->screenedTexts, QStringList{"group by client pls"});
        QVERIFY(local->screenedTexts.isEmpty());
    }

    // The classifier reads no text, so whatever it would accept counts as not screened.
    void screeningWithoutAModelIsNotScreened() {
        const AIServiceError notScreened(AIServiceError::Case::notScreened);
        const auto screening = [this] {
            return TaskRunner::failure<AIServiceError>(service.sanitizeInstructions("as typed"));
        };
        // Without a key the cloud analyzer is unavailable.
        cloud->setUnavailable(AnalyzerUnavailableReason::missingCredentials);
        Preferences::shared().setString("ai_mode", "byok");
        QVERIFY(screening() == notScreened);
        // "off" never screens, even with every model ready.
        cloud->setUnavailable(std::nullopt);
        cloud->setScreening(QString("cleaned"));
        keyStored = true;
        Preferences::shared().setString("ai_mode", "off");
        QVERIFY(screening() == notScreened);
        QVERIFY(cloud->screenedTexts.isEmpty() && local->screenedTexts.isEmpty());
        service.setInjectedProviders(
            AIService::Chain{image, std::make_shared<HeuristicAnalyzer>()});
        QVERIFY(screening() == notScreened);
        QVERIFY(image->screenedTexts.isEmpty());

        QCOMPARE(notScreened.userFacingMessage(),
                 QString("Custom instructions saved without screening - no AI model available"));
        QCOMPARE(notScreened.errorDescription(),
                 QString("No analyzer can screen custom instructions"));
        QVERIFY(!notScreened.isRetryable());
        QVERIFY(!(notScreened == AIServiceError(AIServiceError::Case::instructionsRejected)));
    }
};

QTEST_GUILESS_MAIN(AIServiceTest)
#include "AIServiceTest.moc"
