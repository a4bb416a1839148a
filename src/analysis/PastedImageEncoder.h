#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

// An image taken from the clipboard, as it was there: decoded, or still encoded bytes.
struct PastedImage {
    QImage image;
    QByteArray encodedBytes;
};

// The bytes a pasted image is kept as.
struct EncodedImage {
    QByteArray bytes;
    QString fileExtension;
    QString mimeType;
};

// Encodes a pasted image as PNG, or as JPEG at quality 95 when PNG fails, checking that the bytes
// decode again. Encoded bytes from outside are decoded and encoded by a decoder process, so the
// app holds only the file it keeps. CPU-heavy: meant to run on a worker thread, on a copy of the
// image.
class PastedImageEncoder {
public:
    static std::optional<EncodedImage> encode(const PastedImage& pasted);
};
