#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

// A picture as the bytes of a file in `format`, as another application would leave it on the
// clipboard or on disk: the input the decoder tests hand to the decoder.
inline QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}
