#include "analysis/PastedImageEncoder.h"

#include "analysis/IsolatedImageDecoder.h"
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
    // Pasted bytes are decoded only by a format the intake takes, chosen by their signature.
    const QImage image =
        pasted.image.isNull()
            ? IsolatedImageDecoder::shared()->decode(pasted.encodedBytes).value_or(QImage())
            : pasted.image;
    if (image.isNull())
        return encodeJpeg(image);
    Log::line(QStringLiteral("  ✅ Created bitmap"));
    const std::optional<QByteArray> png = encodeAs(image, "PNG", -1);
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
