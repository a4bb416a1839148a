#pragma once

#include "analysis/ContentAnalyzer.h"
#include "analysis/GeneratedOutputs.h"
#include "analysis/LocalModelSchema.h"
#include "analysis/LocalModelServer.h"

#include <QPointer>
#include <chrono>

// Analyses files (by name), links (by URL), code and text with a local language model behind an
// OpenAI-compatible chat server, asking for structured output through a strict JSON schema, and
// screens a kippet's custom sorting instructions. Availability is the server's last probe.
class LocalModelAnalyzer : public ContentAnalyzer {
public:
    static const QString categorizerInstructions;
    static const QString sanitizerInstructions;
    static constexpr double temperature = 0.2;
    static constexpr int maxResponseTokens = 500;
    static constexpr qsizetype textCutOff = 1200;
    static constexpr qsizetype codeCutOff = 3700;
    static constexpr qsizetype instructionsCutOff = 500;
    // A model that has not answered by then is stuck; the item goes on to the next analyzer.
    static constexpr std::chrono::seconds requestTimeout{120};

    explicit LocalModelAnalyzer(LocalModelServer& server = LocalModelServer::shared());

    AnalyzerID id() const override { return AnalyzerID::localModel; }
    AnalyzerCapabilities capabilities() const override;
    std::optional<AnalyzerUnavailableReason> unavailableReason() const override;
    QCoro::Task<ContentAnalysis> analyze(KippetItem item,
                                         std::optional<QString> customInstructions) override;
    QCoro::Task<QString> sanitize(QString instructions) override;

    static QString makePrompt(const QString& body, const QString& kind,
                              const std::optional<QString>& customInstructions);
    // The user message: the prompt followed by the schema the reply must follow.
    static QString promptWithSchema(const QString& prompt, LocalModelSchema::Output output);
    static QByteArray requestBody(const QString& model, const QString& instructions,
                                  const QString& prompt, LocalModelSchema::Output output);
    static ContentAnalysis toContentAnalysis(const GeneratedAnalysis& output,
                                             ItemCategory category);
    static std::optional<QString> normalizedCustomCategory(const QString& text);

private:
    // The structured content of the model's reply; throws AIServiceError(invalidResponse).
    QCoro::Task<QByteArray> complete(QString instructions, QString prompt,
                                     LocalModelSchema::Output output);

    QPointer<LocalModelServer> server_;
};
