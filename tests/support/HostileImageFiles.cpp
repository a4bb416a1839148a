#include "support/HostileImageFiles.h"

#include "support/Compressed.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QPainter>
#include <QtEndian>
#include <zlib.h>

namespace HostileImageFiles {
namespace {
const QByteArray svgOpening = "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                              "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"64\" "
                              "height=\"64\">";

QByteArray bigEndian16(int value) {
    QByteArray bytes(2, '\0');
    qToBigEndian<quint16>(quint16(value), bytes.data());
    return bytes;
}

// The segments of a JPEG: marker, offset and length of each, up to its end.
struct Segment {
    int marker;
    qsizetype at;
    qsizetype length; // with the marker, up to the next segment (a scan with its data)
};

QList<Segment> segmentsOf(const QByteArray& jpeg) {
    QList<Segment> segments;
    qsizetype at = 2;
    while (at + 3 < jpeg.size()) {
        const int marker = uchar(jpeg[at + 1]);
        if (marker == 0xd9)
            break;
        qsizetype end = at + 2 + ((uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]));
        if (marker == 0xda) // the entropy-coded data runs to the next marker
            while (end + 1 < jpeg.size() &&
                   !(uchar(jpeg[end]) == 0xff && uchar(jpeg[end + 1]) != 0 &&
                     (uchar(jpeg[end + 1]) < 0xd0 || uchar(jpeg[end + 1]) > 0xd7)))
                ++end;
        segments.append({marker, at, end - at});
        at = end;
    }
    return segments;
}

qsizetype firstScanAt(const QList<Segment>& segments) {
    for (const Segment& segment : segments)
        if (segment.marker == 0xda)
            return segment.at;
    qFatal("the JPEG holds no scan");
}

QByteArray pngChunk(const char* type, const QByteArray& data) {
    const QByteArray typed = QByteArray(type, 4) + data;
    QByteArray check(4, '\0');
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))),
        check.data());
    QByteArray length(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), length.data());
    return length + typed + check;
}
} // namespace

QByteArray progressiveJpeg(QSize size, int scans) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(30, 140, 90));
    painter.fillRect(QRect(QPoint(0, 0), size / 2), QColor(200, 40, 40));
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(image))
        qFatal("cannot write a progressive JPEG");
    const QList<Segment> segments = segmentsOf(jpeg);
    const int written = jpegScans(jpeg);
    if (written < 2 || segments.last().marker != 0xda)
        qFatal("the JPEG writer wrote no progressive scans");
    const Segment last = segments.last();
    const QByteArray scan = jpeg.mid(last.at, last.length);
    QByteArray result = jpeg.left(last.at + last.length);
    for (int i = written; i < scans; ++i)
        result += scan;
    return result + "\xff\xd9";
}

int jpegScans(const QByteArray& jpeg) {
    int scans = 0;
    for (const Segment& segment : segmentsOf(jpeg))
        scans += segment.marker == 0xda;
    return scans;
}

QByteArray jpegWithEmptyCommentAfterFirstScan(QSize size, int scans) {
    QByteArray jpeg = progressiveJpeg(size, scans);
    for (const Segment& segment : segmentsOf(jpeg))
        if (segment.marker == 0xda)
            return jpeg.insert(segment.at + segment.length, QByteArray("\xff\xfe\x00\x00", 4));
    qFatal("the JPEG holds no scan");
}

QByteArray jpegWithScansBehindStuffedZeros(QSize size, int scans) {
    const QByteArray jpeg = progressiveJpeg(size, scans);
    const QList<Segment> segments = segmentsOf(jpeg);
    QByteArray result = jpeg.left(firstScanAt(segments));
    // Whole scans per pair, so that each scan's data stays as written; the length's first byte
    // stays below FF, which decoders would take for a fill byte.
    constexpr qsizetype mostPerPair = 0xfe00;
    QByteArray pending;
    const auto flush = [&] {
        result += QByteArray("\xff\x00", 2) + bigEndian16(int(pending.size() + 2)) + pending;
        pending.clear();
    };
    for (const Segment& segment : segments) {
        if (segment.at < firstScanAt(segments))
            continue;
        if (segment.length > mostPerPair)
            qFatal("a scan too long to hide behind one pair");
        if (pending.size() + segment.length > mostPerPair)
            flush();
        pending += jpeg.mid(segment.at, segment.length);
    }
    flush();
    return result + "\xff\xd9";
}

QByteArray svgOfEntityMultipliedPaths(int references, int paths) {
    QByteArray document = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY p \"";
    for (int i = 0; i < paths; ++i)
        document += "<path d='M0 0h9'/>";
    document += "\">]>" + svgOpening;
    for (int i = 0; i < references; ++i)
        document += "&p;";
    return document + "</svg>";
}

QByteArray svgzOfManyTspans(int spans) {
    QByteArray document = svgOpening + "<text x=\"0\" y=\"10\">";
    for (int i = 0; i < spans; ++i)
        document += "<tspan>a</tspan>";
    return Compressed::gzipped(document + "</text></svg>");
}

QByteArray svgOfDefaultedImages(int images, const QByteArray& picture) {
    QByteArray document = "<!DOCTYPE svg [<!ATTLIST image href CDATA \"data:image/png;base64," +
                          picture.toBase64() + "\">]>" + svgOpening +
                          "<rect width=\"64\" height=\"64\" fill=\"#ff0000\"/>";
    for (int i = 0; i < images; ++i)
        document += "<image width=\"64\" height=\"64\"/>";
    return document + "</svg>";
}

QByteArray paddedHugePng(int bytes) {
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(30000, header.data());
    qToBigEndian<quint32>(30000, header.data() + 4);
    header[8] = 8; // bits per sample
    header[9] = 6; // RGBA
    const QByteArray start = QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header);
    const QByteArray end = pngChunk("IEND", {});
    const qsizetype padding = std::max<qsizetype>(0, bytes - start.size() - end.size() - 12);
    return start + pngChunk("kpAd", QByteArray(padding, 'k')) + end;
}

QByteArray svgWithManyAttributes(int attributes) {
    QByteArray document = svgOpening + "<rect width=\"64\" height=\"64\" fill=\"#ff0000\"";
    for (int i = 0; i < attributes; ++i)
        document += " a" + QByteArray::number(i) + "=\"0\"";
    return document + "/></svg>";
}

QByteArray svgzOfDashedPaths(int paths) {
    QByteArray document = svgOpening;
    for (int i = 0; i < paths; ++i)
        document += "<path d=\"M0 0H999\" stroke=\"red\" stroke-dasharray=\"0.001 0.001\"/>";
    return Compressed::gzipped(document + "</svg>");
}
} // namespace HostileImageFiles
