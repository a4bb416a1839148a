#pragma once

#include <QString>

// Identity of an analyzer; logs print the raw value.
enum class AnalyzerID { localModel, image, openAI, heuristic };

QString rawValue(AnalyzerID id);

// Why an analyzer cannot be used right now; an absent reason means usable.
enum class AnalyzerUnavailableReason {
    deviceNotEligible,
    localModelNotRunning,
    modelNotReady,
    unsupportedLanguageOrLocale,
    missingCredentials,
    unknown
};

// The case name, as logs and error descriptions print it.
QString caseName(AnalyzerUnavailableReason reason);
