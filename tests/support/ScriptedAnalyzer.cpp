#include "support/ScriptedAnalyzer.h"

#include "platform/Clock.h"

ScriptedAnalyzer::ScriptedAnalyzer(AnalyzerID id, qint64 capabilities)
    : id_(id), capabilities_(capabilities) {}

ContentAnalysis ScriptedAnalyzer::resultFrom(const QString& who, ItemCategory category) {
    ContentAnalysis analysis;
    analysis.category = category;
    analysis.title = QStringLiteral("Title by ") + who;
    analysis.description = QStringLiteral("Described by ") + who;
    analysis.tags = {who};
    analysis.confidence = 1.0;
    return analysis;
}

ScriptedAnalyzer& ScriptedAnalyzer::answer(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

ScriptedAnalyzer&
ScriptedAnalyzer::setUnavailable(std::optional<AnalyzerUnavailableReason> reason) {
    unavailable_ = reason;
    return *this;
}

ScriptedAnalyzer&
ScriptedAnalyzer::setScreening(std::variant<QString, std::exception_ptr> verdict) {
    screening_ = std::move(verdict);
    return *this;
}

ScriptedAnalyzer& ScriptedAnalyzer::setDelay(std::chrono::milliseconds delay) {
    delay_ = delay;
    return *this;
}

ScriptedAnalyzer& ScriptedAnalyzer::onAnalyze(std::function<void()> hook) {
    hook_ = std::move(hook);
    return *this;
}

std::optional<AnalyzerUnavailableReason> ScriptedAnalyzer::unavailableReason() const {
    ++availabilityChecks;
    return unavailable_;
}

QCoro::Task<ContentAnalysis> ScriptedAnalyzer::analyze(KippetItem item,
                                                       std::optional<QString> customInstructions) {
    analyzedItems.append(item);
    receivedInstructions.append(customInstructions);
    if (delay_.count() > 0)
        co_await Clock::shared().sleep(delay_);
    if (hook_)
        hook_();
    const Step step = steps_.empty() ? Step(resultFrom(rawValue(id_))) : steps_.front();
    if (steps_.size() > 1)
        steps_.pop_front();
    if (const auto* failure = std::get_if<std::exception_ptr>(&step))
        std::rethrow_exception(*failure);
    co_return std::get<ContentAnalysis>(step);
}

QCoro::Task<QString> ScriptedAnalyzer::sanitize(QString instructions) {
    screenedTexts.append(instructions);
    if (delay_.count() > 0)
        co_await Clock::shared().sleep(delay_);
    if (!screening_)
        throw AIServiceError(AIServiceError::Case::unsupportedFeature);
    if (const auto* failure = std::get_if<std::exception_ptr>(&*screening_))
        std::rethrow_exception(*failure);
    co_return std::get<QString>(*screening_);
}
