#include "analysis/PastedImageEncoder.h"

#include "analysis/ImageDecoder.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/PngWriter.h"
#include "platform/Log.h"

#include <QBuffer>

namespace {
std::optional<QByteArray> encodeAs(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

// The bytes make an image again: they declare the size of the picture they were made from. Their
// header is read by a decoder process, as any image's; the pixels are the ones just encoded.
bool decodes(const QByteArray& bytes, QSize size) {
    return IsolatedImageDecoder::shared()->declaredSize(bytes) == size;
}

// Bytes from outside are decoded and encoded again by a decoder process, which answers with the
// file: the app holds the bytes it keeps, never the pixels, however large a picture they draw.
// Pasted bytes are decoded only by a format the intake takes, chosen by their signature.
std::optional<EncodedImage> encodeInDecoder(const QByteArray& bytes) {
    const std::optional<IsolatedImageDecoder::Encoded> encoded =
        IsolatedImageDecoder::shared()->encode(bytes);
    if (!encoded) {
        Log::line(QStringLiteral("  Trying JPEG fallback..."));
        Log::line(
            QStringLiteral("❌ Failed to create valid image data, falling through to Priority 2"));
        return std::nullopt;
    }
    Log::line(QStringLiteral("  ✅ Created bitmap"));
    const bool isPng = ImageDecoder::formatOf(encoded->bytes) == QByteArray("png");
    if (isPng) {
        Log::line(QStringLiteral("  ✅ Created PNG data (%1 bytes)").arg(encoded->bytes.size()));
    } else {
        Log::line(QStringLiteral("  ❌ PNG representation failed"));
        Log::line(QStringLiteral("  Trying JPEG fallback..."));
    }
    if (!decodes(encoded->bytes, encoded->size)) {
        Log::line(isPng ? QStringLiteral("  ❌ PNG data validation failed")
                        : QStringLiteral("❌ Failed to create valid image data, falling through "
                                         "to Priority 2"));
        return std::nullopt;
    }
    if (!isPng) {
        Log::line(QStringLiteral("  ✅ JPEG data is valid"));
        return EncodedImage{encoded->bytes, QStringLiteral("jpg"), QStringLiteral("image/jpeg")};
    }
    Log::line(QStringLiteral("  ✅ PNG data is valid"));
    return EncodedImage{encoded->bytes, QStringLiteral("png"), QStringLiteral("image/png")};
}

std::optional<EncodedImage> encodeJpeg(const QImage& image) {
    Log::line(QStringLiteral("  Trying JPEG fallback..."));
    const std::optional<QByteArray> jpeg = encodeAs(image, "JPEG", 95);
    if (!jpeg || !decodes(*jpeg, image.size())) {
        Log::line(
            QStringLiteral("❌ Failed to create valid image data, falling through to Priority 2"));
        return std::nullopt;
    }
    Log::line(QStringLiteral("  ✅ JPEG data is valid"));
    return EncodedImage{*jpeg, QStringLiteral("jpg"), QStringLiteral("image/jpeg")};
}
} // namespace

std::optional<EncodedImage> PastedImageEncoder::encode(const PastedImage& pasted) {
    if (pasted.image.isNull())
        return encodeInDecoder(pasted.encodedBytes);
    const QImage& image = pasted.image;
    Log::line(QStringLiteral("  ✅ Created bitmap"));
    std::optional<QByteArray> png;
    if (const std::optional<PngWriter::File> file = PngWriter::write(image))
        png = file->joined();
    if (!png) {
        Log::line(QStringLiteral("  ❌ PNG representation failed"));
        return encodeJpeg(image);
    }
    Log::line(QStringLiteral("  ✅ Created PNG data (%1 bytes)").arg(png->size()));
    if (!decodes(*png, image.size())) {
        Log::line(QStringLiteral("  ❌ PNG data validation failed"));
        return encodeJpeg(image);
    }
    Log::line(QStringLiteral("  ✅ PNG data is valid"));
    return EncodedImage{*png, QStringLiteral("png"), QStringLiteral("image/png")};
}
