#include "app/CustomInstructions.h"

#include "analysis/AIService.h"
#include "analysis/AIServiceError.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/KippetManager.h"

QString CustomInstructions::trimmed(const QString& text) {
    return text.trimmed();
}

QCoro::Task<CustomInstructions::Screened> CustomInstructions::screen(QString text) {
    const QString written = trimmed(text);
    if (written.isEmpty())
        co_return Screened{};
    try {
        const QString screened = co_await AIService::shared().sanitizeInstructions(written);
        co_return Screened{written, screened, std::nullopt};
    } catch (const AIServiceError& error) {
        if (error.errorCase() == AIServiceError::Case::instructionsRejected)
            co_return Screened{std::nullopt, std::nullopt, error.userFacingMessage()};
    } catch (...) {
        // A screening that could not run keeps what the user wrote, unscreened.
    }
    co_return Screened{written, std::nullopt, std::nullopt};
}

std::optional<QString> CustomInstructions::store(const QUuid& kippetId,
                                                 const std::optional<QString>& custom,
                                                 const std::optional<QString>& sanitized) {
    KippetManager& manager = KippetManager::shared();
    Kippet* kippet = manager.kippet(kippetId);
    if (!kippet)
        return std::nullopt;
    try {
        manager.updateCustomInstructions(kippet, custom, sanitized);
    } catch (const std::exception& error) {
        const QString text = KippetsError::textOf(error);
        Log::line(
            QStringLiteral("❌ [saveCustomInstructions] Failed to save custom instructions: ") +
            text);
        return text;
    }
    return std::nullopt;
}
