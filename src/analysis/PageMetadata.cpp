#include "analysis/PageMetadata.h"

#include "model/Utf8.h"

// The title and description are found as the patterns "<title>(.*?)</title>" and
// "<meta[^>]*name="description"[^>]*content="([^"]*)"" find them, but by a scan that reads each
// part of the page a bounded number of times. A backtracking engine tries each "<meta" anew up to
// the page's end: a page of many unfinished tags held the GUI thread for a second or more.
namespace {
// The next place of a text at or after a position that never moves back between calls: each
// stretch of the page is searched once, however many tags start before it.
struct ForwardSearch {
    const QString& page;
    QStringView needle;
    // -2: not searched yet; -1: none from the last position on.
    qsizetype found = -2;

    qsizetype from(qsizetype position) {
        if (found != -1 && found < position)
            found = page.indexOf(needle, position);
        return found;
    }
};

std::optional<QString> titleOf(const QString& html) {
    static constexpr QStringView open = u"<title>";
    static constexpr QStringView close = u"</title>";
    ForwardSearch closing{html, close};
    // The pattern's "." takes anything but a line feed.
    ForwardSearch lineEnd{html, u"\n"};
    for (qsizetype start = html.indexOf(open); start >= 0; start = html.indexOf(open, start + 1)) {
        const qsizetype inner = start + open.size();
        const qsizetype end = closing.from(inner);
        if (end < 0)
            return std::nullopt;
        const qsizetype lineFeed = lineEnd.from(inner);
        if (lineFeed >= 0 && lineFeed < end)
            continue;
        QString title = html.mid(start, end + close.size() - start);
        title.remove(QStringLiteral("<title>")).remove(QStringLiteral("</title>"));
        title = title.trimmed();
        if (title.isEmpty())
            return std::nullopt;
        return title;
    }
    return std::nullopt;
}

std::optional<QString> descriptionOf(const QString& html) {
    static constexpr QStringView meta = u"<meta";
    static constexpr QStringView name = u"name=\"description\"";
    static constexpr QStringView content = u"content=\"";
    // A tag's attributes run to its first ">"; the content's value may run past it.
    ForwardSearch tagEnd{html, u">"};
    ForwardSearch names{html, name};
    ForwardSearch contents{html, content};
    ForwardSearch quotes{html, u"\""};
    for (qsizetype start = html.indexOf(meta); start >= 0; start = html.indexOf(meta, start + 1)) {
        const qsizetype attributes = start + meta.size();
        const qsizetype end = tagEnd.from(attributes);
        const qsizetype named = names.from(attributes);
        // What no later tag can have either ends the search.
        if (named < 0)
            return std::nullopt;
        if (end >= 0 && named + name.size() > end)
            continue;
        const qsizetype valued = contents.from(named + name.size());
        if (valued < 0)
            return std::nullopt;
        if (end >= 0 && valued + content.size() > end)
            continue;
        if (quotes.from(valued + content.size()) < 0)
            return std::nullopt;
        // This tag matches. Its value is read as the pattern's match was: from the first content
        // attribute of the tag, which may stand before the name.
        const qsizetype first = html.indexOf(content, attributes);
        const qsizetype closingQuote = html.indexOf(QLatin1Char('"'), first + content.size());
        QString description = html.mid(first, closingQuote + 1 - first);
        description.remove(QStringLiteral("content=\"")).remove(QLatin1Char('"'));
        return description.trimmed();
    }
    return std::nullopt;
}
} // namespace

PageMetadata PageMetadata::fromHtml(const QString& html) {
    // The patterns matched nothing in text that is not UTF-16 (a lone surrogate).
    if (!html.isValidUtf16())
        return {};
    return PageMetadata{titleOf(html), descriptionOf(html)};
}

std::optional<PageMetadata> PageMetadata::fromPage(const QByteArray& body) {
    const std::optional<QString> html = decodeUtf8(body);
    if (!html)
        return std::nullopt;
    return fromHtml(*html);
}
