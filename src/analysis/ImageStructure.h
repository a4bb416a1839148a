#pragma once

#include <QByteArray>

// The framing of an image file, walked before any decoder sees the bytes: every chunk, box,
// block, segment or offset must lie within the file. Decoders read a length as declared and
// reserve it before they notice the file is shorter, so a file of a hundred bytes can claim
// gigabytes. A JPEG of far more scans than any encoder writes is refused too: the decoder walks
// the whole picture once per scan. Only framing is checked, never pixels. Safe on any thread.
class ImageStructure {
public:
    // True when what the bytes declare of themselves fits in them, for Qt's format name ("png",
    // "jpeg", "gif", "webp", "bmp", "tiff", "heic", "mng", "ico", "cur", "icns"); true for the
    // formats without lengths in their framing ("svg", "svgz", "xpm", netpbm, "tga"); false for
    // any other format.
    static bool fitsItsBytes(const QByteArray& bytes, const QByteArray& format);

private:
    static bool png(const QByteArray& bytes);
    static bool jpeg(const QByteArray& bytes);
    static bool gif(const QByteArray& bytes);
    static bool webp(const QByteArray& bytes);
    static bool bmp(const QByteArray& bytes);
    static bool tiff(const QByteArray& bytes);
    static bool heif(const QByteArray& bytes);
    static bool mng(const QByteArray& bytes);
    static bool icon(const QByteArray& bytes);
    static bool icns(const QByteArray& bytes);
    static bool chunksFit(const QByteArray& bytes, const char* firstType, const char* endType);
};
