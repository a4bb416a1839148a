#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <optional>

// Decodes image bytes with only the formats Qt's readers take that a signature tells: PNG,
// JPEG, GIF, WebP, BMP, TIFF and HEIC, icons (ICO, CUR, ICNS), MNG, TGA, the netpbm family, XPM,
// and SVG, plain or compressed, each chosen by its own signature. Qt would otherwise ask every
// plugin whether it can read the bytes, and some inflate or parse a whole file to answer (a
// compressed SVG of a gigabyte, named anything). A compressed SVG is inflated here, and only as
// far as a drawing can reach; a drawing never reads a file, a pipe or an address it names, embeds
// only raster pictures that pass the checks below, and is rendered at the size asked for, the
// pictures it embeds counted in the limit. The size a raster header declares is checked before a
// pixel is allocated, and bytes whose chunks, boxes or offsets reach past their end are not
// decoded at all. Safe on any thread.
// The app decodes nothing from outside with it: it runs inside the decoder processes (see
// IsolatedImageDecoder); the app itself asks it only formatOf.
class ImageDecoder {
public:
    // Largest decoded image accepted, in bytes of 32-bit pixels, so a crafted header that claims
    // an enormous picture cannot exhaust memory.
    static constexpr qint64 maxDecodedBytes = 256LL * 1024 * 1024;

    // Qt's name of the format the bytes begin like ("png", "jpeg", "gif", "webp", "bmp",
    // "tiff", "heic", "ico", "cur", "icns", "mng", "tga", "pbm", "pgm", "ppm", "xpm", "svg",
    // "svgz"), when it is one of those taken and a reader for it is installed.
    static std::optional<QByteArray> formatOf(const QByteArray& bytes);
    // The picture's size as its header declares it, read by the format's own reader.
    static std::optional<QSize> declaredSize(const QByteArray& bytes);
    // The first image of the bytes (of an icon, its largest), or nothing when they are not a taken
    // format, declare a picture over the limit, or do not decode.
    static std::optional<QImage> decode(const QByteArray& bytes, qint64 limit = maxDecodedBytes);
    // The same, upright as its orientation tag says, and shrunk while it is read to the least
    // size that still covers `cover` (never enlarged), for a thumbnail. The limit applies to the
    // size the header declares, as above.
    static std::optional<QImage> decodeCovering(const QByteArray& bytes, QSize cover,
                                                qint64 limit = maxDecodedBytes);
    // The same, shrunk while it is read to the largest size that fits within `bound` (never
    // enlarged): what analysis looks at.
    static std::optional<QImage> decodeWithin(const QByteArray& bytes, QSize bound,
                                              qint64 limit = maxDecodedBytes);
};
