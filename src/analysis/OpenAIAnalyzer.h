#pragma once

#include "analysis/ContentAnalyzer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <functional>

class HttpClient;

// The analyzer that asks the hosted cloud model ("gpt-4o", Responses endpoint) with the user's
// own API key. It reads the key through its key operations at every call and keeps no copy; the
// key goes into the Authorization header and nowhere else (no log line, no error text).
// A value object: copies share the HttpClient. Callers keep it alive while a call runs.
class OpenAIAnalyzer : public ContentAnalyzer {
public:
    using KeyPresence = std::function<bool()>;
    using KeyLoader = std::function<QCoro::Task<std::optional<QString>>()>;

    static constexpr std::chrono::milliseconds requestTimeout{30000};
    static constexpr std::chrono::milliseconds pageFetchTimeout{60000};
    static constexpr qint64 pageByteLimit = 1048576;
    static inline const QString model = QStringLiteral("gpt-4o");

    OpenAIAnalyzer(
        HttpClient& http, KeyPresence hasKey, KeyLoader loadKey, QUrl endpoint = defaultEndpoint(),
        AnalyzerCapabilities capabilities = AnalyzerCapabilities(AnalyzerCapabilities::all));

    // The key operations the composition root wires to the key store; until it does, no key.
    // known, when given, tells whether the presence is known yet (a keyring may not have
    // answered, or be locked); unset, it always is.
    static void setDefaultKeySource(KeyPresence hasKey, KeyLoader loadKey, KeyPresence known = {});
    static bool defaultHasKey();
    // defaultHasKey once the presence is known; none before.
    static std::optional<bool> defaultKeyPresence();
    static QCoro::Task<std::optional<QString>> defaultLoadKey();
    // The provider's Responses endpoint; KIPPETS_OPENAI_BASE_URL replaces the scheme, host and
    // port (tests point it at a local server).
    static QUrl defaultEndpoint();

    AnalyzerID id() const override { return AnalyzerID::openAI; }
    AnalyzerCapabilities capabilities() const override { return capabilities_; }
    std::optional<AnalyzerUnavailableReason> unavailableReason() const override;
    QCoro::Task<ContentAnalysis> analyze(KippetItem item,
                                         std::optional<QString> customInstructions) override;
    QCoro::Task<QString> sanitize(QString instructions) override;

    // One exchange with the endpoint; returns the model's reply text. Throws AIServiceError,
    // InvalidAPIKeyError, or JsonDecodingError for a body that is not JSON.
    QCoro::Task<QString> makeAPICall(QJsonArray input, QString model, QString apiKey,
                                     QUrl endpoint);
    // The model's reply as an analysis. Throws AIServiceError(invalidResponse) or
    // JsonDecodingError.
    static ContentAnalysis parseResponse(const QString& reply);

    // The key as it may be sent: trimmed; empty throws noAPIKey, control characters throw
    // InvalidAPIKeyError.
    static QString usableKey(const std::optional<QString>& storedKey);
    static QJsonObject requestBody(const QJsonArray& input, const QString& model);
    // The two messages of every call: a system prompt and the user's content parts.
    static QJsonArray messages(const QString& systemPrompt, const QJsonArray& userParts);
    static QJsonObject textPart(const QString& text);
    static QJsonObject imagePart(const QString& imageUrl);

private:
    QCoro::Task<ContentAnalysis> analyzeText(KippetItem item, QString apiKey,
                                             std::optional<QString> customInstructions,
                                             QUrl endpoint);
    QCoro::Task<ContentAnalysis> analyzeCode(KippetItem item, QString apiKey,
                                             std::optional<QString> customInstructions,
                                             QUrl endpoint);
    QCoro::Task<ContentAnalysis> analyzeImage(KippetItem item, QString apiKey,
                                              std::optional<QString> customInstructions,
                                              QUrl endpoint);
    QCoro::Task<ContentAnalysis> analyzeFile(KippetItem item, QString apiKey,
                                             std::optional<QString> customInstructions,
                                             QUrl endpoint);
    QCoro::Task<ContentAnalysis> analyzeLink(KippetItem item, QString apiKey,
                                             std::optional<QString> customInstructions,
                                             QUrl endpoint);
    QCoro::Task<ContentAnalysis> ask(QString systemPrompt, QJsonArray userParts, QString apiKey,
                                     QUrl endpoint);

    QPointer<HttpClient> http_;
    KeyPresence hasKey_;
    KeyLoader loadKey_;
    QUrl endpoint_;
    AnalyzerCapabilities capabilities_;
};
