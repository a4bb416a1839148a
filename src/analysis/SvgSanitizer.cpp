#include "analysis/SvgSanitizer.h"

#include "analysis/ImageDecoder.h"
#include "analysis/ImageStructure.h"

#include <QStringDecoder>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cstring>

namespace {
// The most characters one entity may expand into, its nested entities included.
constexpr int maxEntityExpansion = 4096;
// The most characters all entity references of a document may expand into together.
constexpr qint64 maxExpandedCharacters = 8LL * 1024 * 1024;
// A rewritten document beyond this is refused: it only grows by the expansion above and by the
// escaping of what it holds.
constexpr qint64 maxRewrittenBytes = 24LL * 1024 * 1024;
// Qt's reader compares each attribute of an element with all those before it, and the document
// is read twice, here and by the renderer: an element of 100,000 attributes holds a thread for
// minutes. Drawing tools write a few dozen at most.
constexpr int maxAttributesPerElement = 256;
// The reader also compares every element with every attribute the document type declares, and
// each declaration with those before it. A declaration takes three words or more.
constexpr int maxAttributeDeclarationWords = 1024;
// The renderer keeps a few kilobytes per element. Drawings people make hold thousands of
// elements; the bounds are far beyond that, the second for elements that entity references
// write in the document over and above those its own text holds.
constexpr qint64 maxElements = 200000;
constexpr qint64 maxElementsFromEntities = 10000;

// The local part of a qualified name: "href" of "xlink:href".
QStringView localName(QStringView qualifiedName) {
    const qsizetype colon = qualifiedName.lastIndexOf(u':');
    return colon < 0 ? qualifiedName : qualifiedName.sliced(colon + 1);
}

bool isReference(QStringView qualifiedName) {
    return localName(qualifiedName).compare(u"href", Qt::CaseInsensitive) == 0;
}

bool isFragment(QStringView reference) {
    return reference.trimmed().startsWith(u'#');
}

// The types of the raster pictures an image may embed, as a data: URL declares them.
bool isRasterType(const QString& type) {
    static const QStringList types = {
        QStringLiteral("image/png"),   QStringLiteral("image/apng"),
        QStringLiteral("image/jpeg"),  QStringLiteral("image/jpg"),
        QStringLiteral("image/pjpeg"), QStringLiteral("image/gif"),
        QStringLiteral("image/webp"),  QStringLiteral("image/bmp"),
        QStringLiteral("image/x-bmp"), QStringLiteral("image/x-ms-bmp")};
    return types.contains(type);
}

// What Qt's image reader could take for a drawing when it guesses a format from the bytes: it
// peeks at their first 16.
bool looksLikeDrawing(const QByteArray& bytes) {
    const QByteArray head = bytes.left(16);
    return head.startsWith("\x1f\x8b") || head.contains("<?xml") || head.contains("<svg") ||
           head.contains("<!--") || head.contains("<!DOCTYPE");
}

// The picture a data: URL holds, as the reference to write in its place, with the bytes its
// pixels take; nothing unless it is a raster picture that fits the budget. The renderer decodes
// the Base64 text after the last "base64," whatever the URL declares, so the kept reference is
// written anew from the bytes checked here.
std::optional<std::pair<QString, qint64>> embeddedPicture(QStringView reference, qint64 budget) {
    if (!reference.startsWith(u"data:"))
        return std::nullopt;
    const qsizetype typeEnd = reference.indexOf(u',');
    const qsizetype marker = reference.lastIndexOf(u"base64,");
    if (typeEnd < 0 || marker < 0)
        return std::nullopt;
    const QString type =
        reference.sliced(5, typeEnd - 5).split(u';').first().trimmed().toString().toLower();
    if (!isRasterType(type))
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromBase64(reference.sliced(marker + 7).toLatin1());
    static const QList<QByteArray> rasters = {"png", "jpeg", "gif", "webp", "bmp"};
    const std::optional<QByteArray> format = ImageDecoder::formatOf(bytes);
    if (!format || !rasters.contains(*format) || looksLikeDrawing(bytes) ||
        !ImageStructure::fitsItsBytes(bytes, *format))
        return std::nullopt;
    const std::optional<QSize> size = ImageDecoder::declaredSize(bytes);
    if (!size)
        return std::nullopt;
    const qint64 pixelBytes = qint64(size->width()) * size->height() * 4;
    if (pixelBytes > budget)
        return std::nullopt;
    return std::pair(
        QStringLiteral("data:%1;base64,%2").arg(type, QString::fromLatin1(bytes.toBase64())),
        pixelBytes);
}

// Whether the reader decodes the document as ASCII or a superset of it, so that its markup is
// the markup of its bytes and they may be scanned before the reader is given them. UTF-16 and
// UTF-32 are told by a byte-order mark, by how the first character is written, or by the
// encoding the XML declaration names; drawing tools write UTF-8.
bool readAsAscii(const QByteArray& document) {
    const std::optional<QStringConverter::Encoding> encoding =
        QStringDecoder::encodingForData(document, u'<');
    return !encoding || *encoding == QStringConverter::Utf8;
}

bool isAsciiEncodingName(QStringView name) {
    static const QStringList names = {QStringLiteral("utf-8"),     QStringLiteral("utf8"),
                                      QStringLiteral("us-ascii"),  QStringLiteral("ascii"),
                                      QStringLiteral("latin1"),    QStringLiteral("latin-1"),
                                      QStringLiteral("iso-8859-1")};
    return name.isEmpty() || names.contains(name.toString().toLower());
}

// What of the document's markup its raw bytes show, scanned once before the reader meets them:
// each start tag within its bound of attributes and the attribute declarations within theirs,
// no parameter entities (a declaration they write would escape this scan); the number of '<'
// the text holds, which bounds the elements it writes without entity references. Nothing when a
// bound is passed. Only sound for an encoding `readAsAscii` takes.
class MarkupScan {
public:
    explicit MarkupScan(QByteArrayView bytes) : bytes_(bytes) {}

    std::optional<qint64> openings() {
        qint64 openings = 0;
        for (qsizetype at = find('<', 0); at < bytes_.size(); at = find('<', at)) {
            ++openings;
            const QByteArrayView rest = bytes_.sliced(at);
            if (rest.startsWith("<!--"))
                at = after("-->", at + 4);
            else if (rest.startsWith("<![CDATA["))
                at = after("]]>", at + 9);
            else if (rest.startsWith("<?"))
                at = after("?>", at + 2);
            else if (rest.startsWith("<!"))
                at = declaration(at + 2);
            else if (rest.startsWith("</"))
                at += 2;
            else
                at = startTag(at + 1);
            if (at < 0)
                return std::nullopt;
        }
        return openings;
    }

private:
    qsizetype find(char c, qsizetype from) const {
        const qsizetype found = bytes_.indexOf(c, std::min(from, bytes_.size()));
        return found < 0 ? bytes_.size() : found;
    }
    qsizetype after(const char* end, qsizetype from) const {
        const qsizetype found = bytes_.indexOf(end, std::min(from, bytes_.size()));
        return found < 0 ? bytes_.size() : found + qsizetype(std::strlen(end));
    }
    bool isSpace(qsizetype at) const {
        if (at >= bytes_.size())
            return false;
        const char c = bytes_[at];
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }

    // Up to the end of the tag, its attributes counted by their '=' outside quoted values.
    qsizetype startTag(qsizetype at) {
        int attributes = 0;
        while (at < bytes_.size() && bytes_[at] != '>') {
            const char c = bytes_[at++];
            if (c == '"' || c == '\'')
                at = find(c, at) + 1;
            else if (c == '=' && ++attributes > maxAttributesPerElement)
                return -1;
        }
        return at;
    }

    // Up to the end of a declaration, or into the internal subset of a doctype, whose own
    // declarations the scan then meets one by one.
    qsizetype declaration(qsizetype at) {
        const QByteArrayView rest = bytes_.sliced(at);
        const bool attributes = rest.startsWith("ATTLIST");
        if (rest.startsWith("ENTITY")) {
            qsizetype name = at + 6;
            while (isSpace(name))
                ++name;
            if (name < bytes_.size() && bytes_[name] == '%')
                return -1;
        }
        bool inWord = false;
        while (at < bytes_.size() && bytes_[at] != '>' && bytes_[at] != '[') {
            const char c = bytes_[at];
            const bool space = isSpace(at);
            if (attributes && !space && !inWord && ++words_ > maxAttributeDeclarationWords)
                return -1;
            inWord = !space;
            ++at;
            if (c == '"' || c == '\'')
                at = find(c, at) + 1;
        }
        return at;
    }

    QByteArrayView bytes_;
    int words_ = 0;
};

// Whether markup that entities hold stays within the bounds the scan above checks in the text:
// every tag of a replacement text ends in it, so no entity opens a tag that the text or another
// entity goes on with, and no tag holds more attributes than the bound.
bool entityMarkupBounded(const QXmlStreamEntityDeclarations& declarations) {
    for (const QXmlStreamEntityDeclaration& declaration : declarations) {
        const QString value = declaration.value().toString();
        for (qsizetype at = value.indexOf(u'<'); at >= 0; at = value.indexOf(u'<', at)) {
            const QStringView rest = QStringView(value).sliced(at);
            const char16_t* end = u">";
            if (rest.startsWith(u"<!--"))
                end = u"-->";
            else if (rest.startsWith(u"<![CDATA["))
                end = u"]]>";
            else if (rest.startsWith(u"<?"))
                end = u"?>";
            int attributes = 0;
            qsizetype i = at + 1;
            if (end[0] == u'>') {
                for (; i < value.size() && value[i] != u'>'; ++i) {
                    const QChar c = value[i];
                    if (c == u'"' || c == u'\'') {
                        i = value.indexOf(c, i + 1);
                        if (i < 0)
                            return false;
                    } else if (c == u'=' && ++attributes > maxAttributesPerElement) {
                        return false;
                    }
                }
                if (i >= value.size())
                    return false;
                at = i + 1;
            } else {
                const qsizetype found = value.indexOf(QStringView(end), at + 2);
                if (found < 0)
                    return false;
                at = found + QStringView(end).size();
            }
        }
    }
    return true;
}

// CSS text with its escapes resolved: "@\69mport" is an import as surely as "@import" is.
QString unescapedCss(QStringView text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const auto isHexDigit = [](QChar c) {
            return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        };
        qsizetype digits = 0;
        while (digits < 6 && i + 1 + digits < text.size() && isHexDigit(text[i + 1 + digits]))
            ++digits;
        if (digits == 0) {
            result += text[++i];
            continue;
        }
        const char32_t code = text.sliced(i + 1, digits).toUInt(nullptr, 16);
        result += QString::fromUcs4(&code, 1);
        i += digits;
        if (i + 1 < text.size() && text[i + 1].isSpace())
            ++i;
    }
    return result;
}

// Whether the document's entities, expanded wherever they may be referred to, stay within
// bounds: no reference can expand beyond the longest declared value, or beyond the reader's
// limit when values refer to other entities.
bool entitiesBounded(const QXmlStreamReader& reader, const QByteArray& document) {
    const QXmlStreamEntityDeclarations declarations = reader.entityDeclarations();
    if (declarations.isEmpty())
        return true;
    qint64 longest = 0;
    for (const QXmlStreamEntityDeclaration& declaration : declarations) {
        const QStringView value = declaration.value();
        longest = value.contains(u'&') || value.contains(u'%')
                      ? qint64(maxEntityExpansion)
                      : std::max(longest, qint64(value.size()));
        if (longest == maxEntityExpansion)
            break;
    }
    const qint64 references = std::count(document.begin(), document.end(), '&');
    return references * longest <= maxExpandedCharacters;
}

class Rewriter {
public:
    Rewriter(const QByteArray& document, qint64 budget)
        : document_(document), reader_(document), writer_(&output_), budget_(budget) {
        // Qualified names and namespace declarations are copied as written.
        reader_.setNamespaceProcessing(false);
        reader_.setEntityExpansionLimit(maxEntityExpansion);
    }

    std::optional<SvgSanitizer::Drawing> run() {
        // What would cost the reader more than its bytes is refused before it reads them.
        if (!readAsAscii(document_))
            return std::nullopt;
        const std::optional<qint64> openings = MarkupScan(document_).openings();
        if (!openings)
            return std::nullopt;
        openings_ = *openings;
        while (!reader_.atEnd()) {
            if (!step() || output_.size() + styleText_.size() > maxRewrittenBytes)
                return std::nullopt;
        }
        if (reader_.hasError())
            return std::nullopt;
        return SvgSanitizer::Drawing{output_, imageBytes_};
    }

private:
    bool step() {
        switch (reader_.readNext()) {
        case QXmlStreamReader::StartDocument:
            // An encoding the declaration names applies from there on, past the scan.
            if (!isAsciiEncodingName(reader_.documentEncoding()))
                return false;
            writer_.writeStartDocument();
            return true;
        case QXmlStreamReader::DTD:
            return entitiesBounded(reader_, document_) &&
                   entityMarkupBounded(reader_.entityDeclarations());
        case QXmlStreamReader::StartElement:
            return startElement();
        case QXmlStreamReader::EndElement:
            endElement();
            return true;
        case QXmlStreamReader::Characters:
            characters();
            return true;
        case QXmlStreamReader::EndDocument:
            writer_.writeEndDocument();
            return true;
        default:
            // Comments, processing instructions (a style sheet link among them) and references
            // to entities left unexpanded: nothing the drawing shows.
            return true;
        }
    }

    bool startElement() {
        // Elements beyond those the text holds were written by entity references.
        ++elements_;
        if (elements_ > maxElements || elements_ > openings_ + maxElementsFromEntities)
            return false;
        // A style holds only text.
        if (dropped_ > 0 || inStyle_) {
            ++dropped_;
            return true;
        }
        const QStringView name = reader_.qualifiedName();
        const bool image = localName(name).compare(u"image", Qt::CaseInsensitive) == 0;
        QXmlStreamAttributes kept;
        bool hasPicture = false;
        for (const QXmlStreamAttribute& attribute : reader_.attributes()) {
            // Defaults the document type declares are left out, as browsers leave them: they
            // are not the element's own, and one declared picture would otherwise be checked
            // again for every element.
            if (attribute.isDefault())
                continue;
            if (!isReference(attribute.qualifiedName())) {
                kept.append(attribute.qualifiedName().toString(), attribute.value().toString());
                continue;
            }
            if (!image) {
                if (isFragment(attribute.value()))
                    kept.append(attribute.qualifiedName().toString(), attribute.value().toString());
                continue;
            }
            // Of an image, only a picture embedded in the document.
            if (const auto picture = embeddedPicture(attribute.value(), budget_ - imageBytes_)) {
                kept.append(attribute.qualifiedName().toString(), picture->first);
                imageBytes_ += picture->second;
                hasPicture = true;
            }
        }
        if (image && !hasPicture) {
            dropped_ = 1;
            return true;
        }
        writer_.writeStartElement(name.toString());
        writer_.writeAttributes(kept);
        inStyle_ = localName(name).compare(u"style", Qt::CaseInsensitive) == 0;
        return true;
    }

    void endElement() {
        if (dropped_ > 0) {
            --dropped_;
            return;
        }
        if (inStyle_) {
            // A style sheet is never fetched: style text that would import one is left out.
            // It is judged whole, as the pieces that comments, sections and entities cut it
            // into are written together.
            if (!unescapedCss(styleText_).contains(u"@import", Qt::CaseInsensitive))
                writer_.writeCharacters(styleText_);
            styleText_.clear();
            inStyle_ = false;
        }
        writer_.writeEndElement();
    }

    void characters() {
        if (dropped_ > 0)
            return;
        const QStringView text = reader_.text();
        if (inStyle_)
            styleText_ += text;
        else if (reader_.isCDATA())
            writer_.writeCDATA(text.toString());
        else
            writer_.writeCharacters(text.toString());
    }

    const QByteArray& document_;
    QXmlStreamReader reader_;
    QByteArray output_;
    QXmlStreamWriter writer_;
    const qint64 budget_;
    qint64 imageBytes_ = 0;
    // The '<' of the document's text, and the elements read so far.
    qint64 openings_ = 0;
    qint64 elements_ = 0;
    // The depth inside a dropped element; 0 outside any.
    int dropped_ = 0;
    // Inside a style element, whose text is gathered until it ends.
    bool inStyle_ = false;
    QString styleText_;
};
} // namespace

std::optional<SvgSanitizer::Drawing> SvgSanitizer::sanitize(const QByteArray& document,
                                                            qint64 imageBudget) {
    return Rewriter(document, imageBudget).run();
}
