#include "analysis/AIService.h"

#include "analysis/AIPreferences.h"
#include "analysis/AIServiceError.h"
#include "analysis/CancellationError.h"
#include "analysis/HeuristicAnalyzer.h"
#include "analysis/OpenAIAnalyzer.h"
#include "platform/Log.h"
#include "platform/Preferences.h"

#include <QCoreApplication>
#include <exception>

namespace {
AIService*& installedService() {
    static AIService* service = nullptr;
    return service;
}

qint64 requiredCapability(KippetItemType type) {
    switch (type) {
    case KippetItemType::file:
        return AnalyzerCapabilities::file;
    case KippetItemType::text:
    case KippetItemType::note:
        return AnalyzerCapabilities::text;
    case KippetItemType::url:
        return AnalyzerCapabilities::link;
    case KippetItemType::image:
        return AnalyzerCapabilities::image;
    case KippetItemType::code:
        return AnalyzerCapabilities::code;
    case KippetItemType::color:
    case KippetItemType::unknown:
        break;
    }
    return AnalyzerCapabilities::all;
}

bool isUsable(const ContentAnalyzer& analyzer, qint64 capability) {
    return analyzer.capabilities().contains(capability) && !analyzer.unavailableReason();
}

QString describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return KippetsError::textOf(error);
    } catch (...) {
    }
    return QStringLiteral("Unknown error");
}

bool isCancellation(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
    }
    return false;
}

bool isKeyringLocked(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const AIServiceError& error) {
        return error.errorCase() == AIServiceError::Case::keyringLocked;
    } catch (...) {
    }
    return false;
}

QString orNil(const std::optional<QString>& text) {
    return text ? *text : QStringLiteral("nil");
}
} // namespace

AIService::AIService() = default;

AIService& AIService::shared() {
    Q_ASSERT_X(installedService(), "AIService::shared", "no analysis service installed");
    return *installedService();
}

void AIService::install(AIService* service) {
    installedService() = service;
}

bool AIService::isForcedHeuristic(const QStringList& arguments,
                                  const QProcessEnvironment& environment) {
    return arguments.contains(forceHeuristicArgument) ||
           (environment.contains(forceHeuristicVariable) &&
            environment.value(forceHeuristicVariable) == QLatin1String("1"));
}

bool AIService::isForcedHeuristic() const {
    return isForcedHeuristic(QCoreApplication::arguments(),
                             QProcessEnvironment::systemEnvironment());
}

bool AIService::hasKey() const {
    return hasKey_ ? hasKey_() : OpenAIAnalyzer::defaultHasKey();
}

AIService::Chain AIService::providers(bool keyPresenceKnown) const {
    if (injectedProviders_)
        return *injectedProviders_;
    Preferences& defaults = Preferences::shared();
    if (!keyPresenceKnown && !defaults.stringValue(AIPreferences::modeKey)) {
        // The first use would store a mode chosen by a key presence nobody knows yet.
        return makeProviders(AIMode::onDevice,
                             defaults.boolOr(AIPreferences::preferCloudForImagesKey, false));
    }
    const AIPreferences preferences(defaults, hasKey());
    return makeProviders(preferences.mode(), preferences.preferCloudForImages());
}

bool AIService::mayUseCloud(KippetItemType type) const {
    if (injectedProviders_ || isForcedHeuristic())
        return false;
    Preferences& defaults = Preferences::shared();
    const std::optional<QString> mode = defaults.stringValue(AIPreferences::modeKey);
    if (!mode)
        return true; // the first use picks the mode by whether a key is stored
    switch (aiModeFromRaw(*mode)) {
    case AIMode::byok:
        return true;
    case AIMode::onDevice:
        return (type == KippetItemType::image || type == KippetItemType::unknown) &&
               defaults.boolOr(AIPreferences::preferCloudForImagesKey, false);
    case AIMode::off:
        break;
    }
    return false;
}

QCoro::Task<bool> AIService::learnKeyPresence(KippetItemType type) {
    if (!keyPresenceAnswer_ || !mayUseCloud(type))
        co_return true;
    co_return co_await keyPresenceAnswer_();
}

bool AIService::mayUseLocalModel(qint64 capability, bool keyPresenceKnown) const {
    if (!localModelAnswer_ || !localModelFactory_ || injectedProviders_ || isForcedHeuristic())
        return false;
    const std::optional<QString> mode = Preferences::shared().stringValue(AIPreferences::modeKey);
    // Unset, the mode becomes the cloud's only when a key is known to be stored.
    const bool onDevice =
        mode ? aiModeFromRaw(*mode) == AIMode::onDevice : !keyPresenceKnown || !hasKey();
    if (!onDevice)
        return false;
    const std::shared_ptr<ContentAnalyzer> local = localModelFactory_();
    return local && local->capabilities().contains(capability);
}

QCoro::Task<bool> AIService::learnAvailability(KippetItemType type, qint64 capability) {
    const bool keyPresenceKnown = co_await learnKeyPresence(type);
    if (mayUseLocalModel(capability, keyPresenceKnown))
        co_await localModelAnswer_();
    co_return keyPresenceKnown;
}

AIService::Chain AIService::makeProviders(AIMode mode, bool preferCloudForImages) const {
    Chain chain;
    const auto add = [&chain](const AnalyzerFactory& factory) {
        if (!factory)
            return;
        if (auto analyzer = factory())
            chain.push_back(std::move(analyzer));
    };
    if (!isForcedHeuristic()) {
        if (mode == AIMode::onDevice) {
            // The local model joins only while it can run at all; the others are skipped per
            // request when they report themselves unavailable.
            if (localModelFactory_) {
                auto local = localModelFactory_();
                if (local && !local->unavailableReason())
                    chain.push_back(std::move(local));
            }
            if (preferCloudForImages)
                add(cloudFactory_);
            add(imageFactory_);
        } else if (mode == AIMode::byok) {
            add(cloudFactory_);
        }
    }
    chain.push_back(std::make_shared<HeuristicAnalyzer>());
    return chain;
}

QCoro::Task<ContentAnalysis> AIService::analyzeContent(KippetItem item,
                                                       std::optional<QString> customInstructions,
                                                       CancellationToken cancellation) {
    const QString typeName = rawValue(item.type);
    Log::line(
        QStringLiteral("🤖 [AIService.analyzeContent] type: %1, name: %2, customInstructions: %3")
            .arg(typeName, item.metadata.name,
                 customInstructions ? QStringLiteral("SET") : QStringLiteral("nil")));
    if (item.type == KippetItemType::color || item.type == KippetItemType::unknown) {
        ContentAnalysis analysis = heuristicAnalysis(item);
        Log::line(QStringLiteral("🤖 [AIService.analyzeContent] short-circuit heuristic for %1 - "
                                 "category: %2")
                      .arg(typeName, rawValue(analysis.category)));
        co_return analysis;
    }
    const qint64 capability = requiredCapability(item.type);
    // A key stored in an earlier run, or a local model that is running, counts from the first
    // analysis: wait for their answers rather than fall back to the classifier meanwhile.
    const bool keyPresenceKnown = co_await learnAvailability(item.type, capability);
    const Chain chain = providers(keyPresenceKnown);
    std::exception_ptr lastFailure;
    for (const std::shared_ptr<ContentAnalyzer>& analyzer : chain) {
        if (cancellation.isCancelled())
            throw CancellationError();
        if (!isUsable(*analyzer, capability))
            continue;
        const QString id = rawValue(analyzer->id());
        std::exception_ptr failure;
        std::optional<ContentAnalysis> analysis;
        try {
            analysis = co_await analyzer->analyze(item, customInstructions);
        } catch (...) {
            failure = std::current_exception();
        }
        if (cancellation.isCancelled() || (failure && isCancellation(failure)))
            throw CancellationError();
        // A keyring locked since the chain was built holds the key all the same: the request
        // waits for the unlock, as one does behind a keyring locked at start, rather than take
        // a lesser answer for good.
        if (failure && isKeyringLocked(failure))
            std::rethrow_exception(failure);
        if (analysis) {
            Log::line(
                QStringLiteral("🤖 [AIService.analyzeContent] provider %1 result - category: "
                               "%2, customCategory: %3, title: %4")
                    .arg(id, rawValue(analysis->category), orNil(analysis->customCategory),
                         orNil(analysis->title)));
            co_return *analysis;
        }
        Log::line(
            QStringLiteral("⚠️ [AIService.analyzeContent] provider %1 failed: %2 — falling "
                           "through")
                .arg(id, describe(failure)));
        lastFailure = failure;
    }
    if (lastFailure)
        std::rethrow_exception(lastFailure);
    throw AIServiceError::providerUnavailable(AnalyzerUnavailableReason::unknown);
}

QCoro::Task<QString> AIService::sanitizeInstructions(QString text) {
    // Screening must not pass text through unscreened because the key's answer is late.
    const bool keyPresenceKnown =
        co_await learnAvailability(KippetItemType::unknown, AnalyzerCapabilities::instructions);
    const Chain chain = providers(keyPresenceKnown);
    for (const std::shared_ptr<ContentAnalyzer>& analyzer : chain) {
        // The classifier accepts any text unread; calling that screened would let unchecked
        // instructions steer a model later.
        if (analyzer->id() == AnalyzerID::heuristic ||
            !isUsable(*analyzer, AnalyzerCapabilities::instructions))
            continue;
        const QString screened = co_await analyzer->sanitize(text);
        // Some analyzers answer a refusal with this verdict instead of an error; callers must
        // never store it as the kippet's instructions.
        if (screened.trimmed() == QLatin1String("REJECTED"))
            throw AIServiceError(AIServiceError::Case::instructionsRejected);
        co_return screened;
    }
    throw AIServiceError(AIServiceError::Case::notScreened);
}
