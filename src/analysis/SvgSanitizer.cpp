#include "analysis/SvgSanitizer.h"

#include "analysis/ImageDecoder.h"
#include "analysis/ImageStructure.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>

namespace {
// The most characters one entity may expand into, its nested entities included.
constexpr int maxEntityExpansion = 4096;
// The most characters all entity references of a document may expand into together.
constexpr qint64 maxExpandedCharacters = 8LL * 1024 * 1024;
// A rewritten document beyond this is refused: it only grows by the expansion above and by the
// escaping of what it holds.
constexpr qint64 maxRewrittenBytes = 24LL * 1024 * 1024;

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
        while (!reader_.atEnd()) {
            if (!step() || output_.size() > maxRewrittenBytes)
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
            writer_.writeStartDocument();
            return true;
        case QXmlStreamReader::DTD:
            return entitiesBounded(reader_, document_);
        case QXmlStreamReader::StartElement:
            startElement();
            return true;
        case QXmlStreamReader::EndElement:
            if (dropped_ > 0) {
                --dropped_;
                return true;
            }
            writer_.writeEndElement();
            styleDepth_ = std::max(0, styleDepth_ - 1);
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

    void startElement() {
        if (dropped_ > 0) {
            ++dropped_;
            return;
        }
        const QStringView name = reader_.qualifiedName();
        const bool image = localName(name).compare(u"image", Qt::CaseInsensitive) == 0;
        QXmlStreamAttributes kept;
        bool hasPicture = false;
        for (const QXmlStreamAttribute& attribute : reader_.attributes()) {
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
            return;
        }
        writer_.writeStartElement(name.toString());
        writer_.writeAttributes(kept);
        if (styleDepth_ > 0 || localName(name).compare(u"style", Qt::CaseInsensitive) == 0)
            ++styleDepth_;
    }

    void characters() {
        if (dropped_ > 0)
            return;
        const QStringView text = reader_.text();
        // A style sheet is never fetched: style text that would import one is left out.
        if (styleDepth_ > 0 && text.contains(u"@import", Qt::CaseInsensitive))
            return;
        if (reader_.isCDATA())
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
    // The depth inside a dropped element; 0 outside any.
    int dropped_ = 0;
    // The depth inside a style element; 0 outside any.
    int styleDepth_ = 0;
};
} // namespace

std::optional<SvgSanitizer::Drawing> SvgSanitizer::sanitize(const QByteArray& document,
                                                            qint64 imageBudget) {
    return Rewriter(document, imageBudget).run();
}
