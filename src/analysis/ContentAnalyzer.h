#pragma once

#include "analysis/AIServiceError.h"
#include "analysis/AnalyzerCapabilities.h"
#include "analysis/AnalyzerID.h"
#include "analysis/ContentAnalysis.h"
#include "model/KippetItem.h"

#include <QCoroTask>
#include <QString>
#include <optional>

// The contract every analyzer fulfils. All calls happen on the GUI thread; analyze and sanitize
// are coroutines that throw AIServiceError. Arguments are taken by value because they must
// outlive the coroutine's suspensions.
class ContentAnalyzer {
public:
    virtual ~ContentAnalyzer() = default;

    virtual AnalyzerID id() const = 0;
    virtual AnalyzerCapabilities capabilities() const = 0;
    // Absent when usable now. Cheap and synchronous: asked before every use.
    virtual std::optional<AnalyzerUnavailableReason> unavailableReason() const = 0;
    // customInstructions is the kippet's already screened sorting rule, absent when none.
    virtual QCoro::Task<ContentAnalysis> analyze(KippetItem item,
                                                 std::optional<QString> customInstructions) = 0;
    // Screens a kippet's custom sorting instructions and returns the cleaned text; a refusal
    // throws AIServiceError(instructionsRejected); an analyzer that cannot screen throws
    // AIServiceError(unsupportedFeature).
    virtual QCoro::Task<QString> sanitize(QString instructions) = 0;
};
