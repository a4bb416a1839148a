#pragma once

#include <QCoroTask>
#include <QString>
#include <QUuid>
#include <optional>

// The one road of a kippet's custom sorting instructions from what the user wrote to the kippet:
// screening through the analysis service, then storing the pair. Every sheet and presenter goes
// through it, so each outcome of the screening is stored the same way everywhere.
class CustomInstructions {
public:
    static constexpr qsizetype characterLimit = 500;

    struct Screened {
        // What to store: the trimmed text and its screened form.
        std::optional<QString> custom;
        std::optional<QString> sanitized;
        // Set when the model refused the text: the message to show, and nothing is stored.
        std::optional<QString> rejection;
    };

    // Whitespace and line breaks off both ends.
    static QString trimmed(const QString& text);

    // Blank text gives (none, none) without asking the service. Otherwise the trimmed text goes
    // to AIService::shared(): its answer gives (trimmed, answer); a refusal gives the rejection;
    // "not screened" and every other failure give (trimmed, none). Never throws.
    static QCoro::Task<Screened> screen(QString text);

    // Puts both values on the kippet with the id (looked up now: a kippet deleted meanwhile gets
    // nothing), then on its stored row when it has one (a demo kippet has none), through the
    // manager. A failed write keeps the values in memory, so the kippet's next save stores them;
    // it is logged and its text returned for the presenter's alert.
    static std::optional<QString> store(const QUuid& kippetId, const std::optional<QString>& custom,
                                        const std::optional<QString>& sanitized);
};
