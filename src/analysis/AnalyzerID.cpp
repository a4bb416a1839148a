#include "analysis/AnalyzerID.h"

QString rawValue(AnalyzerID id) {
    switch (id) {
    case AnalyzerID::localModel:
        return QStringLiteral("localModel");
    case AnalyzerID::image:
        return QStringLiteral("image");
    case AnalyzerID::openAI:
        return QStringLiteral("openAI");
    case AnalyzerID::heuristic:
        return QStringLiteral("heuristic");
    }
    return QStringLiteral("heuristic");
}

QString caseName(AnalyzerUnavailableReason reason) {
    switch (reason) {
    case AnalyzerUnavailableReason::deviceNotEligible:
        return QStringLiteral("deviceNotEligible");
    case AnalyzerUnavailableReason::localModelNotRunning:
        return QStringLiteral("localModelNotRunning");
    case AnalyzerUnavailableReason::modelNotReady:
        return QStringLiteral("modelNotReady");
    case AnalyzerUnavailableReason::unsupportedLanguageOrLocale:
        return QStringLiteral("unsupportedLanguageOrLocale");
    case AnalyzerUnavailableReason::missingCredentials:
        return QStringLiteral("missingCredentials");
    case AnalyzerUnavailableReason::unknown:
        return QStringLiteral("unknown");
    }
    return QStringLiteral("unknown");
}
