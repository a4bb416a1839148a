#include "analysis/ItemAnalysisStep.h"
#include "model/JsonCoding.h"

#include "analysis/AIService.h"
#include "analysis/HeuristicAnalyzer.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"

namespace {
QString categoryCaseName(ItemCategory category) {
    static const char* const names[] = {
        "notes",         "links",    "images",     "pdfs",          "spreadsheets",
        "presentations", "colors",   "code",       "designAssets",  "documents",
        "media",         "archives", "references", "uncategorized", "waitingForAnalysis"};
    return QString::fromLatin1(names[static_cast<int>(category)]);
}
QString orNil(const std::optional<QString>& text) {
    return text.value_or(QStringLiteral("nil"));
}

// The item as stored in the kippet, with only the outcome's fields changed.
struct Outcome {
    ItemCategory category;
    std::optional<QString> customCategory;
    std::optional<QString> aiTitle;
    std::optional<QString> aiDescription;
    std::optional<QStringList> aiTags;
};

// Replaces the kippet's first entry with the item's id; false when the item is gone.
bool writeOutcome(Kippet& kippet, const QUuid& itemId, const Outcome& outcome) {
    std::optional<KippetItem> stored = kippet.item(itemId);
    if (!stored)
        return false;
    stored->category = outcome.category;
    stored->customCategory = outcome.customCategory;
    stored->isProcessing = false;
    stored->metadata.aiTitle = outcome.aiTitle;
    stored->metadata.aiDescription = outcome.aiDescription;
    stored->metadata.aiTags = outcome.aiTags;
    kippet.replaceItem(*stored);
    KippetManager::shared().requestSave(&kippet, itemId);
    return true;
}

void logStart(const Kippet& kippet, const KippetItem& item, bool enabled) {
    Log::line(QStringLiteral("🔍 [analyzeItem] Starting analysis for item: %1 (type: %2, id: %3)")
                  .arg(item.metadata.name, rawValue(item.type), JsonCoding::encodeUuid(item.id)));
    const std::optional<QString> sanitized = kippet.sanitizedInstructions();
    Log::line(QStringLiteral("🔍 [analyzeItem] Kippet: %1, customInstructions: %2, "
                             "sanitizedInstructions: %3")
                  .arg(kippet.name(),
                       kippet.customInstructions() ? QStringLiteral("SET") : QStringLiteral("nil"),
                       sanitized ? QStringLiteral("SET (%1...)").arg(sanitized->left(50))
                                 : QStringLiteral("nil")));
    Log::line(QStringLiteral("🔍 [analyzeItem] AI enabled: %1")
                  .arg(enabled ? QStringLiteral("true") : QStringLiteral("false")));
}

void applyHeuristic(Kippet& kippet, const KippetItem& item) {
    Log::line(QStringLiteral("🔍 [analyzeItem] AI disabled, using heuristic categorization"));
    const ContentAnalysis result = heuristicAnalysis(item);
    const std::optional<KippetItem> stored = kippet.item(item.id);
    if (!stored) {
        Log::line(QStringLiteral(
            "⚠️ [analyzeItem] Item not found in kippet after heuristic analysis"));
        return;
    }
    writeOutcome(kippet, item.id,
                 {result.category, std::nullopt, std::nullopt, result.description, result.tags});
    Log::line(QStringLiteral("✅ [analyzeItem] Heuristic result - category: %1")
                  .arg(rawValue(result.category)));
}

void applySuccess(Kippet& kippet, const KippetItem& item, const ContentAnalysis& result) {
    Log::line(QStringLiteral("✅ [analyzeItem] AI analysis returned - category: %1, customCategory: "
                             "%2, title: %3, description: %4")
                  .arg(rawValue(result.category), orNil(result.customCategory), orNil(result.title),
                       result.description.left(80)));
    const std::optional<KippetItem> stored = kippet.item(item.id);
    if (!stored) {
        Log::line(
            QStringLiteral("⚠️ [analyzeItem] Item %1 not found in kippet after AI analysis")
                .arg(JsonCoding::encodeUuid(item.id)));
        return;
    }
    const std::optional<QString> title = result.title ? result.title : stored->metadata.aiTitle;
    writeOutcome(kippet, item.id,
                 {result.category, result.customCategory, title, result.description, result.tags});
    Log::line(QStringLiteral("✅ [analyzeItem] Item updated successfully - category: %1, "
                             "customCategory: %2, isProcessing: false")
                  .arg(rawValue(result.category), orNil(result.customCategory)));
    const KippetItem written = *kippet.item(item.id);
    Log::line(QStringLiteral("✅ [analyzeItem] Stored item verification - category: %1, "
                             "customCategory: %2, title: %3")
                  .arg(categoryCaseName(written.category), orNil(written.customCategory),
                       orNil(written.metadata.aiTitle)));
    Log::line(QStringLiteral("✅ Analysis complete"));
}

// Parks the item as waiting and hands it to the manager, which retries it later.
// `why`, when given, tells the user what the item waits for.
void parkForRetry(Kippet& kippet, const KippetItem& item,
                  const std::optional<QString>& why = std::nullopt) {
    const std::optional<KippetItem> stored = kippet.item(item.id);
    if (!stored)
        return;
    writeOutcome(kippet, item.id,
                 {ItemCategory::waitingForAnalysis, std::nullopt, stored->metadata.aiTitle,
                  why ? why : stored->metadata.aiDescription, stored->metadata.aiTags});
    KippetManager::shared().analyzeItem(item, &kippet);
}

void applyLastingFailure(Kippet& kippet, const KippetItem& item, const AIServiceError& error) {
    Log::line(QStringLiteral("⛔ [analyzeItem] Non-retryable error, showing user-friendly message"));
    const std::optional<KippetItem> stored = kippet.item(item.id);
    if (!stored)
        return;
    writeOutcome(kippet, item.id,
                 {ItemCategory::uncategorized, std::nullopt, stored->metadata.aiTitle,
                  error.userFacingMessage(), stored->metadata.aiTags});
}
} // namespace

bool ItemAnalysisStep::isAnalysisEnabled() {
    return Preferences::shared().boolValue(QStringLiteral("ai_enabled")).value_or(true);
}

QCoro::Task<void> ItemAnalysisStep::analyzeItem(QPointer<Kippet> kippet, KippetItem item) {
    if (!kippet)
        co_return;
    const bool enabled = isAnalysisEnabled();
    logStart(*kippet, item, enabled);
    if (!enabled) {
        applyHeuristic(*kippet, item);
        co_return;
    }
    const std::optional<QString> instructions = kippet->sanitizedInstructions();
    Log::line(QStringLiteral("🔍 [analyzeItem] Calling AIService.analyzeContent with "
                             "customInstructions: %1")
                  .arg(instructions ? QStringLiteral("YES") : QStringLiteral("NO")));
    try {
        const ContentAnalysis result =
            co_await AIService::shared().analyzeContent(item, instructions);
        // The kippet may have been deleted, or the item removed, while the analysis ran.
        if (kippet)
            applySuccess(*kippet, item, result);
    } catch (const AIServiceError& error) {
        Log::line(QStringLiteral("❌ [analyzeItem] AIServiceError: %1 (retryable: %2)")
                      .arg(error.errorDescription(),
                           error.isRetryable() ? QStringLiteral("true") : QStringLiteral("false")));
        if (!kippet)
            co_return;
        if (error.isRetryable()) {
            Log::line(
                QStringLiteral("🔄 [analyzeItem] Setting to waitingForAnalysis, scheduling retry"));
            parkForRetry(*kippet, item,
                         error.errorCase() == AIServiceError::Case::keyringLocked
                             ? std::optional<QString>(error.userFacingMessage())
                             : std::nullopt);
        } else {
            applyLastingFailure(*kippet, item, error);
        }
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ [analyzeItem] Unknown error: ") + KippetsError::textOf(error));
        if (kippet)
            parkForRetry(*kippet, item);
    }
}
