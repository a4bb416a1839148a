#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The title and description a web page announces in its head, found by plain patterns (no HTML
// parser: only the start of the page is fetched and it may be cut anywhere).
struct PageMetadata {
    // Absent when the page has no single-line title element or the title is blank.
    std::optional<QString> title;
    // Absent without a description meta tag (name before content); may be empty text.
    std::optional<QString> description;

    static PageMetadata fromHtml(const QString& html);
    // The start of a fetched page as bytes: absent when they are not UTF-8 (a page in another
    // encoding, or one cut inside a character at the byte limit).
    static std::optional<PageMetadata> fromPage(const QByteArray& body);
};
