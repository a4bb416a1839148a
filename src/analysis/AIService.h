#pragma once

#include "analysis/AIMode.h"
#include "analysis/CancellationToken.h"
#include "analysis/ContentAnalyzer.h"

#include <QProcessEnvironment>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The single entry point for analysing an item and for screening a kippet's sorting
// instructions. It keeps no chain: every request builds one from the current preferences and
// key presence, so a change of mode or key applies to the next request. GUI thread only.
class AIService {
public:
    using Chain = std::vector<std::shared_ptr<ContentAnalyzer>>;
    // Builds one analyzer for a chain; the composition root sets one per analyzer kind that
    // exists in this build. An unset factory leaves its analyzer out of every chain.
    using AnalyzerFactory = std::function<std::shared_ptr<ContentAnalyzer>()>;

    static inline const QString forceHeuristicArgument = QStringLiteral("-UITestForceHeuristic");
    static inline const QString forceHeuristicVariable = QStringLiteral("KIPPETS_FORCE_HEURISTIC");

    AIService();

    // The instance installed by the composition root (main or a test fixture).
    static AIService& shared();
    static void install(AIService* service);

    void setLocalModelFactory(AnalyzerFactory factory) { localModelFactory_ = std::move(factory); }
    void setCloudFactory(AnalyzerFactory factory) { cloudFactory_ = std::move(factory); }
    void setImageFactory(AnalyzerFactory factory) { imageFactory_ = std::move(factory); }
    // Whether a cloud API key is stored; by default the cloud analyzer's own answer.
    void setKeyPresence(std::function<bool()> hasKey) { hasKey_ = std::move(hasKey); }
    // Makes sure the key's presence is known before a chain that may need the key is built:
    // resumes with true once it is, false when it could not be learnt this time (a key store
    // that did not answer). Unset: the presence is taken as known.
    using KeyPresenceAnswer = std::function<QCoro::Task<bool>()>;
    void setKeyPresenceAnswer(KeyPresenceAnswer answer) { keyPresenceAnswer_ = std::move(answer); }
    // Resumes once the local model's availability has been learnt (its first probe answered or
    // given up), so that an on-device request made just after start is not sent down the chain
    // without it. Unset: the availability is taken as known.
    using LocalModelAnswer = std::function<QCoro::Task<void>()>;
    void setLocalModelAnswer(LocalModelAnswer answer) { localModelAnswer_ = std::move(answer); }
    // A fixed chain used unchanged instead of the one the preferences select.
    void setInjectedProviders(std::optional<Chain> chain) { injectedProviders_ = std::move(chain); }

    // Throws AIServiceError or CancellationError. Colour and unknown items get the classifier's
    // answer without a chain.
    QCoro::Task<ContentAnalysis> analyzeContent(KippetItem item,
                                                std::optional<QString> customInstructions,
                                                CancellationToken cancellation = {});
    // The cleaned instructions. A refusal, whichever analyzer gives it, throws
    // AIServiceError(instructionsRejected); when no model can screen (the classifier does not
    // count, so mode "off" never screens), AIServiceError(notScreened).
    QCoro::Task<QString> sanitizeInstructions(QString text);

    Chain currentProviders() const { return providers(true); }
    Chain makeProviders(AIMode mode, bool preferCloudForImages) const;

    bool isForcedHeuristic() const;
    static bool isForcedHeuristic(const QStringList& arguments,
                                  const QProcessEnvironment& environment);

private:
    bool hasKey() const;
    // Without a known key presence the first analysis mode is not fixed on a guess.
    Chain providers(bool keyPresenceKnown) const;
    // The chain the preferences select may hold the cloud analyzer.
    bool mayUseCloud(KippetItemType type) const;
    QCoro::Task<bool> learnKeyPresence(KippetItemType type);
    // The chain the preferences select may hold the local model for this capability.
    bool mayUseLocalModel(qint64 capability, bool keyPresenceKnown) const;
    // Learns what a chain is to know first: whether a key is stored, then whether the local
    // model answers; whether the key's presence is known.
    QCoro::Task<bool> learnAvailability(KippetItemType type, qint64 capability);

    AnalyzerFactory localModelFactory_;
    AnalyzerFactory cloudFactory_;
    AnalyzerFactory imageFactory_;
    std::function<bool()> hasKey_;
    KeyPresenceAnswer keyPresenceAnswer_;
    LocalModelAnswer localModelAnswer_;
    std::optional<Chain> injectedProviders_;
};
