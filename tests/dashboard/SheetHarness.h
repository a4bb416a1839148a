#pragma once

#include "analysis/AIService.h"
#include "analysis/AIServiceError.h"
#include "analysis/AnalyzerCapabilities.h"
#include "analysis/HeuristicAnalyzer.h"
#include "platform/Clock.h"
#include "store/ManagerHarness.h"
#include "support/QueuedColorChooser.h"
#include "support/ScriptedAnalyzer.h"
#include "support/TestEnvironment.h"

#include <QSqlQuery>
#include <memory>

// What the sheet tests run on: a store in a temporary folder with its manager, the real analysis
// service with a scripted screening model in front of the rule-based classifier, and a colour
// chooser that answers from a queue.
class SheetHarness {
public:
    SheetHarness() {
        data.start();
        AIService::install(&service);
        screener->setScreening(QStringLiteral("Sort items by client name."));
        service.setInjectedProviders(
            AIService::Chain{screener, std::make_shared<HeuristicAnalyzer>()});
    }
    ~SheetHarness() { AIService::install(nullptr); }
    SheetHarness(const SheetHarness&) = delete;
    SheetHarness& operator=(const SheetHarness&) = delete;

    KippetManager& manager() { return data.manager(); }
    StoreManager& store() { return data.store(); }

    Kippet* createKippet(const QString& name,
                         const std::optional<QString>& instructions = std::nullopt) {
        return manager().createKippet(name, KippetColor::standardBlue(), "folder.fill", false,
                                      instructions, std::nullopt);
    }

    // Only the rule-based classifier is left to screen, which it never does.
    void useClassifierOnly() {
        service.setInjectedProviders(AIService::Chain{std::make_shared<HeuristicAnalyzer>()});
    }
    void rejectScreening() {
        screener->setScreening(
            std::make_exception_ptr(AIServiceError(AIServiceError::Case::instructionsRejected)));
    }
    void failScreening() {
        screener->setScreening(
            std::make_exception_ptr(AIServiceError(AIServiceError::Case::networkError)));
    }
    // Screening waits this long on the test clock.
    void slowScreening(std::chrono::milliseconds delay) { screener->setDelay(delay); }
    void finishScreening(std::chrono::milliseconds delay) { testClock().advance(delay); }

    // The next statement of the kind on the table fails inside the store, e.g.
    // failStore("UPDATE", "kippets").
    void failStore(const QString& statement, const QString& table) {
        data.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON %2 BEGIN "
                                 "SELECT RAISE(ABORT, 'refused'); END")
                      .arg(statement, table));
    }
    void healStore() { data.exec(QStringLiteral("DROP TRIGGER refuse")); }

    ManagerHarness data;
    AIService service;
    std::shared_ptr<ScriptedAnalyzer> screener =
        std::make_shared<ScriptedAnalyzer>(AnalyzerID::localModel, AnalyzerCapabilities::all);
    QueuedColorChooser colors;
};
