#pragma once

#include "analysis/ContentAnalyzer.h"

#include <QList>
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <variant>

// A test analyzer that answers from a script: each analyze call takes the next scripted step
// (a result or an error; the last step repeats), and every call is recorded. An optional delay
// on the test clock lets a test hold an analysis or a screening in flight and advance time to
// finish it.
class ScriptedAnalyzer : public ContentAnalyzer {
public:
    using Step = std::variant<ContentAnalysis, std::exception_ptr>;

    ScriptedAnalyzer(AnalyzerID id, qint64 capabilities);

    // A result whose description names the analyzer, so tests see who answered.
    static ContentAnalysis resultFrom(const QString& who,
                                      ItemCategory category = ItemCategory::documents);
    template <typename Error> static Step failing(Error error) {
        return std::make_exception_ptr(std::move(error));
    }

    ScriptedAnalyzer& answer(Step step);
    ScriptedAnalyzer& setUnavailable(std::optional<AnalyzerUnavailableReason> reason);
    ScriptedAnalyzer& setScreening(std::variant<QString, std::exception_ptr> verdict);
    ScriptedAnalyzer& setDelay(std::chrono::milliseconds delay);
    // Runs inside analyze, before its answer (e.g. to cancel the caller's token).
    ScriptedAnalyzer& onAnalyze(std::function<void()> hook);

    AnalyzerID id() const override { return id_; }
    AnalyzerCapabilities capabilities() const override { return capabilities_; }
    std::optional<AnalyzerUnavailableReason> unavailableReason() const override;
    QCoro::Task<ContentAnalysis> analyze(KippetItem item,
                                         std::optional<QString> customInstructions) override;
    QCoro::Task<QString> sanitize(QString instructions) override;

    QList<KippetItem> analyzedItems;
    QList<std::optional<QString>> receivedInstructions;
    QStringList screenedTexts;
    mutable int availabilityChecks = 0;

private:
    AnalyzerID id_;
    AnalyzerCapabilities capabilities_;
    std::deque<Step> steps_;
    std::optional<AnalyzerUnavailableReason> unavailable_;
    std::optional<std::variant<QString, std::exception_ptr>> screening_;
    std::chrono::milliseconds delay_{0};
    std::function<void()> hook_;
};
