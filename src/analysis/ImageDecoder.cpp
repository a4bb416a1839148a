#include "analysis/ImageDecoder.h"

#include "analysis/BoundedInflater.h"
#include "analysis/ImageStructure.h"
#include "analysis/SvgSanitizer.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
bool startsWith(const QByteArray& bytes, const char* signature, qsizetype length) {
    return bytes.size() >= length && std::memcmp(bytes.constData(), signature, length) == 0;
}

// HEIF images: an ISO media file whose first box is "ftyp" with a brand of still images or
// sequences coded with HEVC.
bool isHeif(const QByteArray& bytes) {
    if (bytes.size() < 12 || bytes.mid(4, 4) != "ftyp")
        return false;
    static const QList<QByteArray> brands = {"heic", "heix", "hevc", "hevx",
                                             "heim", "heis", "mif1", "msf1"};
    return brands.contains(bytes.mid(8, 4));
}

// What of an SVG is read to tell it: its prolog, comments and doctype come before the root.
constexpr qsizetype svgHeadBytes = 4096;
// An SVG document beyond this is a bomb, not a drawing: it is refused, and inflating stops
// there.
constexpr qint64 maxSvgDocumentBytes = 8LL * 1024 * 1024;

// XML text, after an optional byte-order mark and white space, whose head holds an svg element.
bool isSvgText(const QByteArray& bytes) {
    QByteArrayView text(bytes.constData(), std::min(bytes.size(), svgHeadBytes));
    if (text.startsWith("\xef\xbb\xbf"))
        text = text.sliced(3);
    text = text.trimmed();
    return text.startsWith('<') && text.contains("<svg");
}

// The gzip body inflated to at most `limit` bytes; nothing when it is not gzip, is broken, or,
// when `whole` is asked for, does not end within the limit.
std::optional<QByteArray> inflatedGzip(const QByteArray& bytes, qint64 limit, bool whole) {
    if (!bytes.startsWith("\x1f\x8b"))
        return std::nullopt;
    const auto inflater = BoundedInflater::forEncoding("gzip");
    QByteArray output;
    const BoundedInflater::State state = inflater->feed(bytes, output, limit);
    if (state == BoundedInflater::State::failed ||
        (whole && state != BoundedInflater::State::finished))
        return std::nullopt;
    return output;
}

// The SVG text a taken SVG or compressed SVG holds; nothing for a bomb or a broken stream.
std::optional<QByteArray> svgDocument(const QByteArray& bytes) {
    if (!bytes.startsWith("\x1f\x8b"))
        return bytes.size() <= maxSvgDocumentBytes ? std::optional(bytes) : std::nullopt;
    // The head tells cheaply what is no SVG at all; an SVG must inflate whole within bounds.
    const std::optional<QByteArray> head = inflatedGzip(bytes, svgHeadBytes, false);
    if (!head || !isSvgText(*head))
        return std::nullopt;
    return inflatedGzip(bytes, maxSvgDocumentBytes, true);
}

bool isSvgz(const QByteArray& bytes) {
    const std::optional<QByteArray> document = svgDocument(bytes);
    return document && isSvgText(*document);
}

// Icons and cursors: a reserved zero, the type (1 icon, 2 cursor) and at least one image.
std::optional<QByteArray> iconFormat(const QByteArray& bytes) {
    if (bytes.size() < 6 || bytes[0] != 0 || bytes[1] != 0 || bytes[3] != 0 ||
        (bytes[4] == 0 && bytes[5] == 0))
        return std::nullopt;
    if (bytes[2] == 1)
        return QByteArray("ico");
    if (bytes[2] == 2)
        return QByteArray("cur");
    return std::nullopt;
}

// The formats of Qt's other readers that a signature tells.
std::optional<QByteArray> otherSignatureFormat(const QByteArray& bytes) {
    if (auto icon = iconFormat(bytes))
        return icon;
    if (startsWith(bytes, "icns", 4))
        return QByteArray("icns");
    if (startsWith(bytes, "\x8aMNG\r\n\x1a\n", 8))
        return QByteArray("mng");
    if (startsWith(bytes, "/* XPM */", 9))
        return QByteArray("xpm");
    if (bytes.size() >= 3 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '6' &&
        QChar::isSpace(bytes[2])) {
        static const char* const kinds[] = {"pbm", "pgm", "ppm"};
        return QByteArray(kinds[(bytes[1] - '1') % 3]);
    }
    // A TGA file carries its signature at its end, in the footer of version 2.
    if (bytes.size() > 44 && bytes.endsWith(QByteArrayView("TRUEVISION-XFILE.\0", 18)))
        return QByteArray("tga");
    if (isSvgText(bytes))
        return QByteArray("svg");
    if (isSvgz(bytes))
        return QByteArray("svgz");
    return std::nullopt;
}

std::optional<QByteArray> signatureFormat(const QByteArray& bytes) {
    if (startsWith(bytes, "\x89PNG\r\n\x1a\n", 8))
        return QByteArray("png");
    if (startsWith(bytes, "\xff\xd8\xff", 3))
        return QByteArray("jpeg");
    if (startsWith(bytes, "GIF87a", 6) || startsWith(bytes, "GIF89a", 6))
        return QByteArray("gif");
    if (bytes.size() >= 12 && startsWith(bytes, "RIFF", 4) && bytes.mid(8, 4) == "WEBP")
        return QByteArray("webp");
    if (startsWith(bytes, "BM", 2))
        return QByteArray("bmp");
    if (startsWith(bytes, "II*\0", 4) || startsWith(bytes, "MM\0*", 4))
        return QByteArray("tiff");
    if (isHeif(bytes))
        return QByteArray("heic");
    return otherSignatureFormat(bytes);
}

bool readerInstalled(const QByteArray& format) {
    static const QList<QByteArray> installed = QImageReader::supportedImageFormats();
    // A compressed SVG is inflated here, within bounds, and read as the text it holds.
    return installed.contains(format == "svgz" ? QByteArray("svg") : format);
}

bool isSvg(const QByteArray& format) {
    return format == "svg" || format == "svgz";
}

bool hasSeveralSizes(const QByteArray& format) {
    return format == "ico" || format == "cur" || format == "icns";
}

// The format of bytes that a reader may be given: what they declare of their own framing must
// lie within them, or a reader would reserve what a length claims before it finds out.
std::optional<QByteArray> decodableFormat(const QByteArray& bytes) {
    std::optional<QByteArray> format = ImageDecoder::formatOf(bytes);
    if (!format || !ImageStructure::fitsItsBytes(bytes, *format))
        return std::nullopt;
    return format;
}

// A reader bound to the one format: it never asks other plugins, whatever the bytes hold.
struct BoundReader {
    QBuffer buffer;
    QImageReader reader;
    BoundReader(const QByteArray& bytes, const QByteArray& format) {
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setFormat(format);
        reader.setAutoDetectImageFormat(false);
        reader.setDecideFormatFromContent(false);
    }
};

// Of an icon file's pictures, the largest the limit allows: a thumbnail from its 16-pixel
// picture would be a blur. The reader is left at that picture.
void jumpToLargest(QImageReader& reader, qint64 limit) {
    int best = 0;
    qint64 bestArea = -1;
    for (int index = 0; index < reader.imageCount(); ++index) {
        if (!reader.jumpToImage(index))
            break;
        const QSize size = reader.size();
        const qint64 area = qint64(size.width()) * size.height();
        if (size.isValid() && area > bestArea && area * 4 <= limit) {
            best = index;
            bestArea = area;
        }
    }
    reader.jumpToImage(best);
}

// The drawing a taken SVG or compressed SVG holds, rewritten to read nothing outside itself; the
// pictures it embeds take at most half the limit, so that they and the rendering together stay
// within it.
std::optional<SvgSanitizer::Drawing> safeDrawing(const QByteArray& bytes, qint64 limit) {
    const std::optional<QByteArray> document = svgDocument(bytes);
    if (!document)
        return std::nullopt;
    return SvgSanitizer::sanitize(*document, limit / 2);
}

// How a picture is sized while it is read: at its own size, at the least size that covers a box
// (larger or smaller for a drawing, only smaller for pixels), or at the largest that fits within
// one (never enlarged).
struct Sizing {
    enum class Kind { own, covering, within } kind = Kind::own;
    QSize box;

    double factor(QSizeF size) const {
        const double across = box.width() / size.width();
        const double down = box.height() / size.height();
        switch (kind) {
        case Kind::own:
            return 1;
        case Kind::covering:
            return std::max(across, down);
        case Kind::within:
            return std::min(1.0, std::min(across, down));
        }
        return 1;
    }
};

// A drawing, rendered at the size asked for, and within the limit in any case, less what its
// pictures take: a drawing has no pixels of its own to refuse.
std::optional<QImage> renderSvg(const QByteArray& bytes, Sizing sizing, qint64 limit) {
    const std::optional<SvgSanitizer::Drawing> drawing = safeDrawing(bytes, limit);
    if (!drawing)
        return std::nullopt;
    BoundReader bound(drawing->document, "svg");
    const QSize size = bound.reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    QSizeF target(size);
    target *= sizing.factor(target);
    const double bytesNeeded = target.width() * target.height() * 4;
    const double bytesLeft = double(limit - drawing->imageBytes);
    if (bytesNeeded > bytesLeft)
        target *= std::sqrt(bytesLeft / bytesNeeded);
    bound.reader.setScaledSize(
        QSize(std::max(1, int(target.width())), std::max(1, int(target.height()))));
    QImage image = bound.reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

// Pixels (or a drawing) read at the size `sizing` asks for, upright as the orientation tag says;
// the limit applies to the size the header declares.
std::optional<QImage> decodeSized(const QByteArray& bytes, Sizing sizing, qint64 limit) {
    const std::optional<QByteArray> format = decodableFormat(bytes);
    if (!format)
        return std::nullopt;
    if (isSvg(*format))
        return renderSvg(bytes, sizing, limit);
    BoundReader bound(bytes, *format);
    if (hasSeveralSizes(*format))
        jumpToLargest(bound.reader, limit);
    // Every taken format declares its size in its header; one that does not is not decoded.
    const QSize size = bound.reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() * 4 > limit)
        return std::nullopt;
    if (sizing.kind != Sizing::Kind::own) {
        bound.reader.setAutoTransform(true);
        // The scaled size is of the stored picture, before it is turned upright.
        if (bound.reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
            sizing.box.transpose();
        const double factor = sizing.factor(QSizeF(size));
        if (factor < 1) {
            bound.reader.setScaledSize(QSize(std::max(1, qRound(size.width() * factor)),
                                             std::max(1, qRound(size.height() * factor))));
        }
    }
    QImage image = bound.reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}
} // namespace

std::optional<QByteArray> ImageDecoder::formatOf(const QByteArray& bytes) {
    std::optional<QByteArray> format = signatureFormat(bytes);
    if (format && !readerInstalled(*format))
        return std::nullopt;
    return format;
}

std::optional<QSize> ImageDecoder::declaredSize(const QByteArray& bytes) {
    const std::optional<QByteArray> format = decodableFormat(bytes);
    if (!format)
        return std::nullopt;
    std::optional<QByteArray> document = bytes;
    if (isSvg(*format)) {
        const std::optional<SvgSanitizer::Drawing> drawing = safeDrawing(bytes, maxDecodedBytes);
        document = drawing ? std::optional(drawing->document) : std::nullopt;
    }
    if (!document)
        return std::nullopt;
    BoundReader bound(*document, isSvg(*format) ? QByteArray("svg") : *format);
    if (hasSeveralSizes(*format))
        jumpToLargest(bound.reader, maxDecodedBytes);
    const QSize size = bound.reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    return size;
}

std::optional<QImage> ImageDecoder::decode(const QByteArray& bytes, qint64 limit) {
    return decodeSized(bytes, Sizing{}, limit);
}

std::optional<QImage> ImageDecoder::decodeCovering(const QByteArray& bytes, QSize cover,
                                                   qint64 limit) {
    if (cover.isEmpty())
        return std::nullopt;
    return decodeSized(bytes, Sizing{Sizing::Kind::covering, cover}, limit);
}

std::optional<QImage> ImageDecoder::decodeWithin(const QByteArray& bytes, QSize bound,
                                                 qint64 limit) {
    if (bound.isEmpty())
        return std::nullopt;
    return decodeSized(bytes, Sizing{Sizing::Kind::within, bound}, limit);
}
