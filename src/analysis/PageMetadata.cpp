#include "analysis/PageMetadata.h"

#include "model/Utf8.h"

#include <QRegularExpression>

namespace {
std::optional<QString> titleOf(const QString& html) {
    static const QRegularExpression pattern(QStringLiteral("<title>(.*?)</title>"));
    const QRegularExpressionMatch match = pattern.match(html);
    if (!match.hasMatch())
        return std::nullopt;
    QString title = match.captured(0);
    title.remove(QStringLiteral("<title>")).remove(QStringLiteral("</title>"));
    title = title.trimmed();
    if (title.isEmpty())
        return std::nullopt;
    return title;
}

std::optional<QString> descriptionOf(const QString& html) {
    static const QRegularExpression tag(
        QStringLiteral("<meta[^>]*name=\"description\"[^>]*content=\"([^\"]*)\""));
    static const QRegularExpression content(QStringLiteral("content=\"([^\"]*)\""));
    const QRegularExpressionMatch tagMatch = tag.match(html);
    if (!tagMatch.hasMatch())
        return std::nullopt;
    QString description = content.match(tagMatch.captured(0)).captured(0);
    description.remove(QStringLiteral("content=\"")).remove(QLatin1Char('"'));
    return description.trimmed();
}
} // namespace

PageMetadata PageMetadata::fromHtml(const QString& html) {
    return PageMetadata{titleOf(html), descriptionOf(html)};
}

std::optional<PageMetadata> PageMetadata::fromPage(const QByteArray& body) {
    const std::optional<QString> html = decodeUtf8(body);
    if (!html)
        return std::nullopt;
    return fromHtml(*html);
}
