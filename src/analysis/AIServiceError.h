#pragma once

#include "analysis/AnalyzerID.h"
#include "platform/KippetsError.h"

// The error of the analysis subsystem: a developer description (errorDescription), a short
// user-facing status text, and whether the failure is passing (retried later).
class AIServiceError : public KippetsError {
public:
    enum class Case {
        apiError,
        providerUnavailable,
        noAPIKey,
        networkError,
        timeout,
        invalidResponse,
        invalidContent,
        unsupportedURLScheme,
        instructionsRejected,
        unsupportedFeature,
        // No model could screen custom instructions: they are kept without a screened form.
        notScreened,
        // A key is stored but the keyring is locked: whether the cloud can be asked is unknown,
        // so the item waits rather than take the fallback's answer.
        keyringLocked
    };

    explicit AIServiceError(Case errorCase);
    static AIServiceError apiError(int statusCode);
    static AIServiceError providerUnavailable(AnalyzerUnavailableReason reason);

    Case errorCase() const { return case_; }
    int statusCode() const { return statusCode_; }
    AnalyzerUnavailableReason reason() const { return reason_; }

    QString userFacingMessage() const;
    bool isRetryable() const;

    bool operator==(const AIServiceError& other) const;

private:
    AIServiceError(Case errorCase, int statusCode, AnalyzerUnavailableReason reason);

    Case case_;
    int statusCode_ = 0;
    AnalyzerUnavailableReason reason_ = AnalyzerUnavailableReason::unknown;
};
