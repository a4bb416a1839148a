#pragma once

#include "analysis/AIService.h"
#include "analysis/AIServiceError.h"
#include "analysis/HeuristicAnalyzer.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/QueuedColorChooser.h"
#include "support/ScriptedAnalyzer.h"
#include "support/TestEnvironment.h"

#include <memory>

// What the sheet tests run on: the app harness (store in a temporary folder, manager, window
// registry, recorded dialogs), the real analysis service with a scripted screening model in
// front of the rule-based classifier, and a colour chooser that answers from a queue.
class SheetHarness {
public:
    SheetHarness() {
        app.start();
        screener->setScreening(QStringLiteral("Sort items by client name."));
        app.ai().setInjectedProviders(
            AIService::Chain{screener, std::make_shared<HeuristicAnalyzer>()});
    }

    KippetManager& manager() { return app.manager(); }
    StoreManager& store() { return app.store(); }
    MenuBarManager& registry() { return app.registry(); }
    const QList<Dialogs::Shown>& alerts() { return app.dialogs().shown(); }

    Kippet* createKippet(const QString& name,
                         const std::optional<QString>& instructions = std::nullopt) {
        return manager().createKippet(name, KippetColor::standardBlue(), "folder.fill", false,
                                      instructions, std::nullopt);
    }
    std::optional<KippetModel> row(const QUuid& id) { return store().fetchKippet(id); }

    // Only the rule-based classifier is left to screen, which it never does.
    void useClassifierOnly() {
        app.ai().setInjectedProviders(AIService::Chain{std::make_shared<HeuristicAnalyzer>()});
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
        app.failStore(QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON %2 BEGIN "
                                     "SELECT RAISE(ABORT, 'refused'); END")
                          .arg(statement, table));
    }
    void healStore() { app.failStore(QStringLiteral("DROP TRIGGER refuse")); }

    AppHarness app;
    std::shared_ptr<ScriptedAnalyzer> screener =
        std::make_shared<ScriptedAnalyzer>(AnalyzerID::openAI, AnalyzerCapabilities::all);
    QueuedColorChooser colors;
};
