#pragma once

#include "analysis/GeneratedOutputs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The structured outputs asked of the local model: their JSON schemas (written with the fields in
// their generation order, which a plain QJsonObject would sort away) and the decoding of replies.
class LocalModelSchema {
public:
    enum class Output { analysis, linkAnalysis, codeAnalysis, verdict };

    // The categories the model may choose, in order; each names the ItemCategory of that name.
    static const QStringList& categoryNames();

    static QString name(Output output);
    // The JSON schema, compact, fields in order, every field required, nothing else allowed.
    static QByteArray schema(Output output);

    // Both throw AIServiceError(invalidResponse) when the JSON does not fill the record exactly.
    static GeneratedAnalysis decodeAnalysis(const QByteArray& json, Output output);
    static SanitizerVerdict decodeVerdict(const QByteArray& json);

    // A JSON string literal of text.
    static QByteArray quoted(const QString& text);
};
