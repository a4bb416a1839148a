#include "analysis/PngWriter.h"

#include <QColorSpace>
#include <QScopeGuard>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>
#include <zlib.h>

namespace {
constexpr char signature[] = "\x89PNG\r\n\x1a\n";
// Compressed bytes in one IDAT chunk, each a piece of the file of its own.
constexpr qsizetype idatBytes = 1024 * 1024;
// Pixels converted to the file's layout at a time: a strip of rows, never a copy of the whole
// picture. Fewer than 65536, which Qt converts on the calling thread: larger ones it shares out
// to pool threads, whose stacks alone would count 8 MB each against a decoder's memory bound.
constexpr qsizetype stripPixels = 65535;
// Each row is stored as its difference from the row above ("Up"): in photos and screenshots
// alike most of it is then small numbers and runs of zeros, found in one pass.
constexpr char upFilter = 2;

// Each byte of `a` less the same byte of `b`, modulo 256, without borrowing from its neighbour.
quint64 bytewiseDifference(quint64 a, quint64 b) {
    constexpr quint64 high = 0x8080808080808080ULL;
    return ((a | high) - (b & ~high)) ^ ((a ^ ~b) & high);
}

void appendNumber(QByteArray& bytes, quint32 value) {
    const quint32 bigEndian = qToBigEndian(value);
    bytes.append(reinterpret_cast<const char*>(&bigEndian), sizeof bigEndian);
}

quint32 checksum(const char* data, qsizetype size) {
    return quint32(crc32(0, reinterpret_cast<const Bytef*>(data), uInt(size)));
}

QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray bytes;
    bytes.reserve(data.size() + 12);
    appendNumber(bytes, quint32(data.size()));
    bytes.append(type, 4);
    bytes.append(data);
    appendNumber(bytes, checksum(bytes.constData() + 4, data.size() + 4));
    return bytes;
}

struct Layout {
    QImage::Format format;
    char colourType;
    int channels;
};

Layout layoutOf(const QImage& image) {
    if (image.hasAlphaChannel())
        return {QImage::Format_RGBA8888, 6, 4};
    if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_Grayscale16)
        return {QImage::Format_Grayscale8, 0, 1};
    return {QImage::Format_RGB888, 2, 3};
}

// The picture's colour profile, as Qt's own writer keeps it: without it a wide-gamut photo's
// colours would be read as sRGB's.
QByteArray profileChunk(const QImage& image) {
    const QColorSpace space = image.colorSpace();
    if (!space.isValid())
        return {};
    const QByteArray profile = space.iccProfile();
    if (profile.isEmpty())
        return {};
    uLongf packedSize = compressBound(uLong(profile.size()));
    QByteArray packed(qsizetype(packedSize), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(profile.constData()), uLong(profile.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return {};
    packed.resize(qsizetype(packedSize));
    // A name, then the compression method (zlib's, the only one).
    QByteArray data("ICC Profile");
    data.append('\0');
    data.append('\0');
    data.append(packed);
    return chunk("iCCP", data);
}

// Compressed rows, gathered into IDAT chunks of at most idatBytes each.
class IdatPieces {
public:
    explicit IdatPieces(const PngWriter::Sink& take) : take_(take) {}
    ~IdatPieces() {
        if (started_)
            deflateEnd(&stream_);
    }
    IdatPieces(const IdatPieces&) = delete;
    IdatPieces& operator=(const IdatPieces&) = delete;

    // The fastest level, and matches looked for only one byte back: runs are what filtered rows
    // repeat, and searching the window for more costs several times as much for a few percent.
    bool start() {
        started_ = deflateInit2(&stream_, 1, Z_DEFLATED, 15, 8, Z_RLE) == Z_OK;
        return started_;
    }

    bool add(const uchar* data, qsizetype size) {
        stream_.next_in = const_cast<Bytef*>(data);
        stream_.avail_in = uInt(size);
        while (stream_.avail_in > 0) {
            if (!makeRoom() || deflate(&stream_, Z_NO_FLUSH) == Z_STREAM_ERROR)
                return false;
        }
        return true;
    }

    bool finish() {
        for (;;) {
            if (!makeRoom())
                return false;
            const int status = deflate(&stream_, Z_FINISH);
            if (status == Z_STREAM_END)
                break;
            if (status != Z_OK && !(status == Z_BUF_ERROR && stream_.avail_out == 0))
                return false;
        }
        return closePiece();
    }

private:
    bool makeRoom() {
        if (!piece_.isEmpty() && stream_.avail_out > 0)
            return true;
        if (!closePiece())
            return false;
        // Length and type before the data, its checksum after.
        piece_ = QByteArray(idatBytes + 12, Qt::Uninitialized);
        stream_.next_out = reinterpret_cast<Bytef*>(piece_.data() + 8);
        stream_.avail_out = uInt(idatBytes);
        return true;
    }

    bool closePiece() {
        if (piece_.isEmpty())
            return true;
        const qsizetype used = idatBytes - stream_.avail_out;
        if (used > 0) {
            const quint32 length = qToBigEndian(quint32(used));
            std::memcpy(piece_.data(), &length, 4);
            std::memcpy(piece_.data() + 4, "IDAT", 4);
            const quint32 sum = qToBigEndian(checksum(piece_.constData() + 4, used + 4));
            std::memcpy(piece_.data() + 8 + used, &sum, 4);
            piece_.resize(used + 12);
            if (!take_(std::exchange(piece_, QByteArray())))
                return false;
        }
        piece_ = QByteArray();
        stream_.avail_out = 0;
        return true;
    }

    const PngWriter::Sink& take_;
    z_stream stream_{};
    bool started_ = false;
    QByteArray piece_;
};
} // namespace

QByteArray PngWriter::File::joined() const {
    QByteArray bytes;
    bytes.reserve(size);
    for (const QByteArray& piece : pieces)
        bytes.append(piece);
    return bytes;
}

std::optional<PngWriter::File> PngWriter::write(const QImage& image) {
    File file;
    const bool written = write(image, [&file](QByteArray piece) {
        file.size += piece.size();
        file.pieces.append(std::move(piece));
        return true;
    });
    if (!written)
        return std::nullopt;
    return file;
}

bool PngWriter::write(const QImage& image, const Sink& take) {
    if (image.isNull())
        return false;
    const Layout layout = layoutOf(image);
    const qsizetype rowBytes = qsizetype(image.width()) * layout.channels;
    // A filtered row goes to zlib in one piece.
    if (rowBytes + 1 > std::numeric_limits<uInt>::max() / 2)
        return false;

    QByteArray header;
    appendNumber(header, quint32(image.width()));
    appendNumber(header, quint32(image.height()));
    header.append(char(8)); // bits a channel
    header.append(layout.colourType);
    header.append(3, '\0'); // deflate, adaptive filtering, no interlace
    QByteArray head(signature, sizeof signature - 1);
    head.append(chunk("IHDR", header));
    head.append(profileChunk(image));
    if (!take(std::move(head)))
        return false;

    IdatPieces idat(take);
    if (!idat.start())
        return false;
    // Rows in words of their own, so that eight bytes are filtered at once.
    const size_t words = size_t(rowBytes + 7) / 8;
    std::vector<quint64> row(words, 0);
    std::vector<quint64> above(words, 0);
    std::vector<quint64> filtered(words, 0);
    const uchar filterType = upFilter;
    const QList<QRgb> colours = image.colorTable();
    const int stripRows = int(std::max<qsizetype>(1, stripPixels / image.width()));
    for (int top = 0; top < image.height(); top += stripRows) {
        const int rows = std::min(stripRows, image.height() - top);
        QImage view(image.constScanLine(top), image.width(), rows, image.bytesPerLine(),
                    image.format());
        if (!colours.isEmpty())
            view.setColorTable(colours);
        const QImage strip =
            view.format() == layout.format ? view : view.convertToFormat(layout.format);
        if (strip.isNull())
            return false;
        for (int line = 0; line < rows; ++line) {
            std::memcpy(row.data(), strip.constScanLine(line), size_t(rowBytes));
            for (size_t word = 0; word < words; ++word)
                filtered[word] = bytewiseDifference(row[word], above[word]);
            row.swap(above);
            if (!idat.add(&filterType, 1) ||
                !idat.add(reinterpret_cast<const uchar*>(filtered.data()), rowBytes))
                return false;
        }
    }
    return idat.finish() && take(chunk("IEND", {}));
}
