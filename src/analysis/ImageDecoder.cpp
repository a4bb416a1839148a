#include "analysis/ImageDecoder.h"

#include "analysis/ImageStructure.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
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
    return std::nullopt;
}

bool readerInstalled(const QByteArray& format) {
    static const QList<QByteArray> installed = QImageReader::supportedImageFormats();
    return installed.contains(format);
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
    BoundReader bound(bytes, *format);
    const QSize size = bound.reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    return size;
}

std::optional<QImage> ImageDecoder::decode(const QByteArray& bytes, qint64 limit) {
    const std::optional<QByteArray> format = decodableFormat(bytes);
    if (!format)
        return std::nullopt;
    BoundReader bound(bytes, *format);
    // Every taken format declares its size in its header; one that does not is not decoded.
    const QSize size = bound.reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() * 4 > limit)
        return std::nullopt;
    QImage image = bound.reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QImage> ImageDecoder::decodeCovering(const QByteArray& bytes, QSize cover,
                                                   qint64 limit) {
    const std::optional<QByteArray> format = decodableFormat(bytes);
    if (!format || cover.isEmpty())
        return std::nullopt;
    BoundReader bound(bytes, *format);
    const QSize size = bound.reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() * 4 > limit)
        return std::nullopt;
    bound.reader.setAutoTransform(true);
    // The scaled size is of the stored picture, before it is turned upright.
    if (bound.reader.transformation().testFlag(QImageIOHandler::TransformationRotate90))
        cover.transpose();
    const double factor =
        std::max(double(cover.width()) / size.width(), double(cover.height()) / size.height());
    if (factor < 1) {
        bound.reader.setScaledSize(QSize(std::max(1, qRound(size.width() * factor)),
                                         std::max(1, qRound(size.height() * factor))));
    }
    QImage image = bound.reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}
