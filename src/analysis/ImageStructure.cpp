#include "analysis/ImageStructure.h"

#include <QSet>
#include <cstring>

namespace {
// Progressive JPEGs from cameras and editors hold about ten scans; no encoder writes more than
// this many.
constexpr int maxJpegScans = 100;

// Every position and length is 64-bit, so that no sum of declared sizes can wrap.
using Size = quint64;

Size byteAt(const QByteArray& bytes, Size at) {
    return static_cast<unsigned char>(bytes.at(static_cast<qsizetype>(at)));
}

// The caller has checked that the bytes are there.
Size bigEndian(const QByteArray& bytes, Size at, int length) {
    Size value = 0;
    for (int i = 0; i < length; ++i)
        value = (value << 8) | byteAt(bytes, at + i);
    return value;
}

Size littleEndian(const QByteArray& bytes, Size at, int length) {
    Size value = 0;
    for (int i = length - 1; i >= 0; --i)
        value = (value << 8) | byteAt(bytes, at + i);
    return value;
}

// GIF data: sub-blocks of a length byte and that many bytes, up to an empty one.
bool skipSubBlocks(const QByteArray& bytes, Size& at) {
    const Size size = bytes.size();
    for (;;) {
        if (at >= size)
            return false;
        const Size length = byteAt(bytes, at++);
        if (length == 0)
            return true;
        if (length > size - at)
            return false;
        at += length;
    }
}

Size colourTableBytes(Size flags) {
    return (flags & 0x80) ? Size(3) << ((flags & 7) + 1) : 0;
}

// TIFF's field types by their size in bytes; types it does not name count as bytes.
Size tiffTypeSize(Size type) {
    switch (type) {
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18:
        return 8;
    default:
        return 1;
    }
}

struct TiffReader {
    const QByteArray& bytes;
    bool little;
    Size read(Size at, int length) const {
        return little ? littleEndian(bytes, at, length) : bigEndian(bytes, at, length);
    }
};

// One field's values (SHORT or LONG), inline or at their offset; the field is known to fit.
QList<Size> tiffValues(const TiffReader& tiff, Size entry) {
    const Size type = tiff.read(entry + 2, 2);
    const Size count = tiff.read(entry + 4, 4);
    const Size width = type == 3 ? 2 : 4;
    const Size at = count * width <= 4 ? entry + 8 : tiff.read(entry + 8, 4);
    QList<Size> values;
    // A picture has at most this many strips that matter here; more only costs time.
    for (Size i = 0; i < std::min<Size>(count, 65536); ++i)
        values.append(tiff.read(at + i * width, static_cast<int>(width)));
    return values;
}

bool stripsFit(const TiffReader& tiff, Size offsetsEntry, Size countsEntry) {
    if (!offsetsEntry || !countsEntry)
        return true;
    const QList<Size> offsets = tiffValues(tiff, offsetsEntry);
    const QList<Size> counts = tiffValues(tiff, countsEntry);
    const Size size = tiff.bytes.size();
    for (qsizetype i = 0; i < std::min(offsets.size(), counts.size()); ++i)
        if (offsets[i] > size || counts[i] > size - offsets[i])
            return false;
    return true;
}

// Boxes from begin to end; those that hold boxes are walked into, a few levels deep.
bool boxesFit(const QByteArray& bytes, Size begin, Size end, int depth) {
    for (Size at = begin; at < end;) {
        if (end - at < 8)
            return false;
        Size size = bigEndian(bytes, at, 4);
        const QByteArray type = bytes.mid(static_cast<qsizetype>(at + 4), 4);
        Size header = 8;
        if (size == 1) {
            if (end - at < 16)
                return false;
            size = bigEndian(bytes, at + 8, 8);
            header = 16;
        } else if (size == 0) {
            size = end - at; // to the end of the file
        }
        if (size < header || size > end - at)
            return false;
        Size children = 0; // where the inner boxes begin, after the box's own fields
        if (type == "meta")
            children = header + 4;
        else if (type == "iprp" || type == "ipco" || type == "dinf" || type == "moov" ||
                 type == "trak" || type == "mdia" || type == "minf" || type == "stbl")
            children = header;
        if (children && depth < 6) {
            if (children > size || !boxesFit(bytes, at + children, at + size, depth + 1))
                return false;
        }
        at += size;
    }
    return true;
}
} // namespace

bool ImageStructure::fitsItsBytes(const QByteArray& bytes, const QByteArray& format) {
    if (format == "png")
        return png(bytes);
    if (format == "jpeg")
        return jpeg(bytes);
    if (format == "gif")
        return gif(bytes);
    if (format == "webp")
        return webp(bytes);
    if (format == "bmp")
        return bmp(bytes);
    if (format == "tiff")
        return tiff(bytes);
    if (format == "heic")
        return heif(bytes);
    if (format == "mng")
        return mng(bytes);
    if (format == "ico" || format == "cur")
        return icon(bytes);
    if (format == "icns")
        return icns(bytes);
    // Text formats and those without lengths in their framing: their readers allocate only the
    // picture, whose declared size the decoder checks first. A compressed drawing is inflated
    // within bounds before anything reads it.
    static const QSet<QByteArray> unframed = {"svg", "svgz", "xpm", "pbm", "pgm", "ppm", "tga"};
    return unframed.contains(format);
}

bool ImageStructure::mng(const QByteArray& bytes) {
    return chunksFit(bytes, "MHDR", "MEND");
}

bool ImageStructure::icon(const QByteArray& bytes) {
    const Size size = bytes.size();
    if (size < 6)
        return false;
    const Size count = littleEndian(bytes, 4, 2);
    if (count == 0 || count * 16 > size - 6)
        return false;
    for (Size i = 0; i < count; ++i) {
        const Size entry = 6 + i * 16;
        const Size length = littleEndian(bytes, entry + 8, 4);
        const Size offset = littleEndian(bytes, entry + 12, 4);
        if (offset > size || length > size - offset)
            return false;
    }
    return true;
}

bool ImageStructure::icns(const QByteArray& bytes) {
    const Size size = bytes.size();
    if (size < 8)
        return false;
    const Size total = bigEndian(bytes, 4, 4);
    if (total < 8 || total > size)
        return false;
    for (Size at = 8; at < total;) {
        if (total - at < 8)
            return false;
        const Size length = bigEndian(bytes, at + 4, 4);
        if (length < 8 || length > total - at)
            return false;
        at += length;
    }
    return true;
}

bool ImageStructure::png(const QByteArray& bytes) {
    return chunksFit(bytes, "IHDR", "IEND");
}

// PNG and MNG: after the signature, chunks of length, type, data and check value.
bool ImageStructure::chunksFit(const QByteArray& bytes, const char* firstType,
                               const char* endType) {
    const Size size = bytes.size();
    Size at = 8;
    if (size < at)
        return false;
    for (bool first = true;; first = false) {
        // Length, type, data and check value.
        if (size - at < 12)
            return false;
        const Size length = bigEndian(bytes, at, 4);
        if (length > 0x7fffffff || length > size - at - 12)
            return false;
        const QByteArray type = bytes.mid(static_cast<qsizetype>(at + 4), 4);
        if (first && type != firstType)
            return false;
        at += 12 + length;
        // A file cut after a whole chunk is the decoder's to judge; it claims nothing more.
        if (type == endType || at == size)
            return true;
    }
}

// Marker segments as the JPEG standard lays them out: outside entropy-coded data, an FF byte,
// any number of fill bytes FF, and a marker code; every segment but the standalone markers
// declares its length, its own two bytes included. A stuffed zero (FF 00) and the restart
// markers belong to entropy-coded data, which follows each scan's header up to the next other
// marker. Every scan is counted up to the end of image, whatever comes between them.
bool ImageStructure::jpeg(const QByteArray& bytes) {
    const Size size = bytes.size();
    const char* const data = bytes.constData();
    int scans = 0;
    for (Size at = 2; at < size;) {
        // Entropy-coded data, or stray bytes that decoders pass over, up to the next FF.
        const void* next = std::memchr(data + at, 0xff, size - at);
        if (!next)
            return true;
        at = static_cast<const char*>(next) - data;
        while (at < size && byteAt(bytes, at) == 0xff)
            ++at;
        if (at == size)
            return true;
        const Size marker = byteAt(bytes, at++);
        if (marker == 0 || (marker >= 0xd0 && marker <= 0xd7)) {
            // Only in entropy-coded data, which has none before the first scan: taken there for
            // a segment by one reader and skipped by another, it would hide what follows.
            if (scans == 0)
                return false;
            continue;
        }
        if (marker == 0xd9)
            return true;
        if (marker == 0xd8)
            return false; // a second start of image
        if (marker == 0x01)
            continue; // standalone
        // Up to the first scan every segment must fit; after it, one cut short only ends the
        // file early, which is the decoder's to judge. A length under 2 is no segment at all:
        // decoders go on right after it, where this walk would lose its way.
        if (size - at < 2)
            return scans > 0;
        const Size length = bigEndian(bytes, at, 2);
        if (length < 2)
            return false;
        if (length > size - at)
            return scans > 0;
        // The decoder walks every block of the picture once per scan: a file of thousands of
        // scans holds it for minutes.
        if (marker == 0xda && ++scans > maxJpegScans)
            return false;
        at += length;
    }
    return true;
}

bool ImageStructure::gif(const QByteArray& bytes) {
    const Size size = bytes.size();
    if (size < 13)
        return false;
    Size at = 13 + colourTableBytes(byteAt(bytes, 10));
    if (at > size)
        return false;
    while (at < size) {
        const Size introducer = byteAt(bytes, at++);
        if (introducer == 0x3b)
            return true;
        if (introducer == 0x21) {
            ++at; // the extension's label
            if (!skipSubBlocks(bytes, at))
                return false;
        } else if (introducer == 0x2c) {
            if (size - at < 9)
                return false;
            const Size flags = byteAt(bytes, at + 8);
            at += 9 + colourTableBytes(flags) + 1; // descriptor, local colours, code size
            if (at > size || !skipSubBlocks(bytes, at))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool ImageStructure::webp(const QByteArray& bytes) {
    const Size size = bytes.size();
    if (size < 12)
        return false;
    const Size riff = littleEndian(bytes, 4, 4);
    if (riff < 4 || riff > size - 8)
        return false;
    const Size end = 8 + riff;
    for (Size at = 12; at < end;) {
        if (end - at < 8)
            return false;
        const Size length = littleEndian(bytes, at + 4, 4);
        if (length > end - at - 8)
            return false;
        at += 8 + length + (length & 1); // chunks are padded to an even length
    }
    return true;
}

bool ImageStructure::bmp(const QByteArray& bytes) {
    const Size size = bytes.size();
    if (size < 18)
        return false;
    const Size pixels = littleEndian(bytes, 10, 4);
    const Size header = littleEndian(bytes, 14, 4);
    return header >= 12 && header <= size - 14 && pixels <= size;
}

bool ImageStructure::tiff(const QByteArray& bytes) {
    const Size size = bytes.size();
    if (size < 8)
        return false;
    const TiffReader reader{bytes, bytes.at(0) == 'I'};
    QSet<Size> visited;
    for (Size directory = reader.read(4, 4); directory != 0;) {
        if (directory < 8 || directory > size - 2 || visited.contains(directory) ||
            visited.size() >= 1024)
            return false;
        visited.insert(directory);
        const Size entries = reader.read(directory, 2);
        if (2 + 12 * entries + 4 > size - directory)
            return false;
        Size stripOffsets = 0, stripCounts = 0, tileOffsets = 0, tileCounts = 0;
        for (Size i = 0; i < entries; ++i) {
            const Size entry = directory + 2 + 12 * i;
            const Size tag = reader.read(entry, 2);
            const Size bytesOfValues = tiffTypeSize(reader.read(entry + 2, 2)) *
                                       std::min<Size>(reader.read(entry + 4, 4), size + 1);
            if (bytesOfValues > 4) {
                const Size offset = reader.read(entry + 8, 4);
                if (offset > size || bytesOfValues > size - offset)
                    return false;
            }
            const Size type = reader.read(entry + 2, 2);
            const bool integers = type == 3 || type == 4;
            if (tag == 273 && integers)
                stripOffsets = entry;
            else if (tag == 279 && integers)
                stripCounts = entry;
            else if (tag == 324 && integers)
                tileOffsets = entry;
            else if (tag == 325 && integers)
                tileCounts = entry;
        }
        if (!stripsFit(reader, stripOffsets, stripCounts) ||
            !stripsFit(reader, tileOffsets, tileCounts))
            return false;
        directory = reader.read(directory + 2 + 12 * entries, 4);
    }
    return true;
}

bool ImageStructure::heif(const QByteArray& bytes) {
    return boxesFit(bytes, 0, bytes.size(), 0);
}
