#include "analysis/AIServiceError.h"

namespace {
QString describe(AIServiceError::Case errorCase, int statusCode, AnalyzerUnavailableReason reason) {
    using C = AIServiceError::Case;
    switch (errorCase) {
    case C::apiError:
        return QStringLiteral("API error with status code: %1").arg(statusCode);
    case C::providerUnavailable:
        return QStringLiteral("AI provider unavailable (%1)").arg(caseName(reason));
    case C::noAPIKey:
        return QStringLiteral("OpenAI API key not configured");
    case C::networkError:
        return QStringLiteral("Network error occurred");
    case C::timeout:
        return QStringLiteral("AI analysis timed out");
    case C::invalidResponse:
        return QStringLiteral("Invalid API response");
    case C::invalidContent:
        return QStringLiteral("Content cannot be analyzed");
    case C::unsupportedURLScheme:
        return QStringLiteral("Only HTTP and HTTPS URLs are supported");
    case C::instructionsRejected:
        return QStringLiteral("Custom instructions contain inappropriate content");
    case C::unsupportedFeature:
        return QStringLiteral("This feature isn't supported by the selected analyzer");
    case C::notScreened:
        return QStringLiteral("No analyzer can screen custom instructions");
    case C::keyringLocked:
        return QStringLiteral("The keyring is locked: the stored OpenAI API key could not be read");
    }
    return QString();
}
} // namespace

AIServiceError::AIServiceError(Case errorCase)
    : AIServiceError(errorCase, 0, AnalyzerUnavailableReason::unknown) {}

AIServiceError::AIServiceError(Case errorCase, int statusCode, AnalyzerUnavailableReason reason)
    : KippetsError(describe(errorCase, statusCode, reason)), case_(errorCase),
      statusCode_(statusCode), reason_(reason) {}

AIServiceError AIServiceError::apiError(int statusCode) {
    return AIServiceError(Case::apiError, statusCode, AnalyzerUnavailableReason::unknown);
}

AIServiceError AIServiceError::providerUnavailable(AnalyzerUnavailableReason reason) {
    return AIServiceError(Case::providerUnavailable, 0, reason);
}

QString AIServiceError::userFacingMessage() const {
    switch (case_) {
    case Case::apiError:
        return QStringLiteral("Cannot analyze - service error (will retry)");
    case Case::providerUnavailable:
        return QStringLiteral("Cannot analyze - AI is currently unavailable");
    case Case::noAPIKey:
        return QStringLiteral("Cannot analyze - no API key configured");
    case Case::networkError:
        return QStringLiteral("Cannot analyze - network error (will retry)");
    case Case::timeout:
        return QStringLiteral("Cannot analyze - timed out (will retry)");
    case Case::invalidResponse:
        return QStringLiteral("Cannot analyze - invalid response");
    case Case::invalidContent:
        return QStringLiteral("Cannot analyze - unsupported content type");
    case Case::unsupportedURLScheme:
        return QStringLiteral("Cannot analyze - only http:// and https:// links are supported");
    case Case::instructionsRejected:
        return QStringLiteral("Custom instructions were rejected - please revise and try again");
    case Case::unsupportedFeature:
        return QStringLiteral("Cannot analyze - unsupported by the selected AI mode");
    case Case::notScreened:
        return QStringLiteral(
            "Custom instructions saved without screening - no AI model available");
    case Case::keyringLocked:
        return QStringLiteral("Cannot analyze - keyring locked (will retry once unlocked)");
    }
    return QString();
}

bool AIServiceError::isRetryable() const {
    return case_ == Case::apiError || case_ == Case::networkError || case_ == Case::timeout ||
           case_ == Case::keyringLocked;
}

bool AIServiceError::operator==(const AIServiceError& other) const {
    if (case_ != other.case_)
        return false;
    if (case_ == Case::apiError)
        return statusCode_ == other.statusCode_;
    if (case_ == Case::providerUnavailable)
        return reason_ == other.reason_;
    return true;
}
