#include "analysis/DecoderProtocol.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace {
constexpr char requestMagic[4] = {'K', 'D', 'Q', '1'};
constexpr char answerMagic[4] = {'K', 'D', 'A', '1'};

class Writer {
public:
    explicit Writer(qsizetype size) : bytes_(size, '\0') {}
    void raw(const char* data, qsizetype size) {
        std::memcpy(bytes_.data() + at_, data, size);
        at_ += size;
    }
    void u32(quint32 value) {
        qToLittleEndian(value, bytes_.data() + at_);
        at_ += 4;
    }
    void u64(quint64 value) {
        qToLittleEndian(value, bytes_.data() + at_);
        at_ += 8;
    }
    QByteArray bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    qsizetype at_ = 0;
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}
    bool magic(const char (&expected)[4]) {
        const bool same = std::memcmp(bytes_.constData() + at_, expected, 4) == 0;
        at_ += 4;
        return same;
    }
    quint32 u32() {
        const quint32 value = qFromLittleEndian<quint32>(bytes_.constData() + at_);
        at_ += 4;
        return value;
    }
    qint32 i32() { return static_cast<qint32>(u32()); }
    quint64 u64() {
        const quint64 value = qFromLittleEndian<quint64>(bytes_.constData() + at_);
        at_ += 8;
        return value;
    }

private:
    const QByteArray& bytes_;
    qsizetype at_ = 0;
};

bool isSide(qint32 value) {
    return value >= 1 && value <= DecoderProtocol::maxSide;
}

bool isAsk(quint32 ask) {
    switch (static_cast<DecoderProtocol::Ask>(ask)) {
    case DecoderProtocol::Ask::decode:
    case DecoderProtocol::Ask::covering:
    case DecoderProtocol::Ask::within:
    case DecoderProtocol::Ask::declaredSize:
    case DecoderProtocol::Ask::pdfPageCount:
    case DecoderProtocol::Ask::pdfPage:
    case DecoderProtocol::Ask::encoded:
        return true;
    }
    return false;
}
} // namespace

bool DecoderProtocol::fitsRequest(QSize size, const Request& request) {
    if (!isSide(size.width()) || !isSide(size.height()) ||
        qint64(size.width()) * size.height() * 4 > request.limit)
        return false;
    const bool across = size.width() <= request.size.width();
    const bool down = size.height() <= request.size.height();
    switch (request.ask) {
    case Ask::decode:
    case Ask::encoded:
        return true;
    case Ask::within:
    case Ask::pdfPage:
        return across && down;
    case Ask::covering: {
        const QSize bound = coverBound(request.size);
        return (across || down) && size.width() <= bound.width() && size.height() <= bound.height();
    }
    case Ask::declaredSize:
    case Ask::pdfPageCount:
        break;
    }
    return false;
}

QSize DecoderProtocol::coverBound(QSize box) {
    const auto side = [](int boxSide) {
        return int(std::min<qint64>(qint64(boxSide) * maxCoverStretch, maxSide));
    };
    return QSize(side(box.width()), side(box.height()));
}

qint64 DecoderProtocol::encodedBytesBound(QSize size) {
    const qint64 pixels = qint64(std::max(0, size.width())) * std::max(0, size.height()) * 4;
    return pixels + pixels / 64 + qint64(std::max(0, size.height())) * 4 + 64 * 1024;
}

bool DecoderProtocol::isSentFormat(QImage::Format format) {
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_Grayscale8:
        return true;
    default:
        return false;
    }
}

qint64 DecoderProtocol::bytesPerLine(QImage::Format format, int width) {
    const qint64 bits = qint64(width) * (format == QImage::Format_Grayscale8 ? 8 : 32);
    // QImage aligns every row to 32 bits.
    return ((bits + 31) / 32) * 4;
}

QByteArray DecoderProtocol::requestHeader(const Request& request) {
    Writer writer(requestHeaderBytes);
    writer.raw(requestMagic, 4);
    writer.u32(static_cast<quint32>(request.ask));
    writer.u32(static_cast<quint32>(request.size.width()));
    writer.u32(static_cast<quint32>(request.size.height()));
    writer.u64(static_cast<quint64>(request.limit));
    writer.u64(static_cast<quint64>(request.bytes.size()));
    writer.u32(static_cast<quint32>(request.page));
    writer.u32(0); // reserved
    return writer.bytes();
}

std::optional<DecoderProtocol::Request>
DecoderProtocol::readRequestHeader(const QByteArray& header) {
    if (header.size() != requestHeaderBytes)
        return std::nullopt;
    Reader reader(header);
    if (!reader.magic(requestMagic))
        return std::nullopt;
    Request request;
    const quint32 ask = reader.u32();
    if (!isAsk(ask))
        return std::nullopt;
    request.ask = static_cast<Ask>(ask);
    const qint32 width = reader.i32();
    const qint32 height = reader.i32();
    request.size = QSize(width, height);
    request.limit = static_cast<qint64>(reader.u64());
    const quint64 length = reader.u64();
    request.page = reader.i32();
    if (request.limit < 0 || length > quint64(maxRequestBytes))
        return std::nullopt;
    if ((request.ask == Ask::covering || request.ask == Ask::within ||
         request.ask == Ask::pdfPage) &&
        (!isSide(width) || !isSide(height)))
        return std::nullopt;
    if (request.page < 0 || request.page >= maxPdfPages)
        return std::nullopt;
    request.bytes.resize(static_cast<qsizetype>(length));
    return request;
}

QByteArray DecoderProtocol::answerHeader(const AnswerHeader& answer) {
    Writer writer(answerHeaderBytes);
    writer.raw(answerMagic, 4);
    writer.u32(static_cast<quint32>(answer.answer));
    writer.u32(static_cast<quint32>(answer.size.width()));
    writer.u32(static_cast<quint32>(answer.size.height()));
    writer.u32(static_cast<quint32>(answer.format));
    writer.u32(static_cast<quint32>(answer.bytesPerLine));
    writer.u32(static_cast<quint32>(answer.dotsPerMeterX));
    writer.u32(static_cast<quint32>(answer.dotsPerMeterY));
    writer.u64(static_cast<quint64>(answer.pixelBytes));
    return writer.bytes();
}

std::optional<DecoderProtocol::AnswerHeader>
DecoderProtocol::readAnswerHeader(const QByteArray& header, const Request& request) {
    if (header.size() != answerHeaderBytes)
        return std::nullopt;
    Reader reader(header);
    if (!reader.magic(answerMagic))
        return std::nullopt;
    AnswerHeader answer;
    const quint32 kind = reader.u32();
    const qint32 width = reader.i32();
    const qint32 height = reader.i32();
    const quint32 format = reader.u32();
    const quint32 bytesPerLine = reader.u32();
    answer.dotsPerMeterX = reader.i32();
    answer.dotsPerMeterY = reader.i32();
    const quint64 pixelBytes = reader.u64();
    answer.size = QSize(width, height);
    if (kind == quint32(Answer::refused))
        return pixelBytes == 0 ? std::optional(answer) : std::nullopt;
    if (kind == quint32(Answer::size)) {
        answer.answer = Answer::size;
        const bool fits = request.ask == Ask::declaredSize && isSide(width) && isSide(height);
        return fits && pixelBytes == 0 ? std::optional(answer) : std::nullopt;
    }
    if (kind == quint32(Answer::pages)) {
        answer.answer = Answer::pages;
        answer.pixelBytes = static_cast<qint64>(std::min<quint64>(pixelBytes, quint64(1) << 62));
        const bool fits = request.ask == Ask::pdfPageCount && width >= 1 && width <= maxPdfPages &&
                          height == 0 && answer.pixelBytes == qint64(width) * 8;
        return fits ? std::optional(answer) : std::nullopt;
    }
    if (kind == quint32(Answer::decoded)) {
        answer.answer = Answer::decoded;
        const bool fits = request.ask == Ask::encoded && fitsRequest(answer.size, request);
        return fits && pixelBytes == 0 ? std::optional(answer) : std::nullopt;
    }
    if (kind == quint32(Answer::encoded)) {
        answer.answer = Answer::encoded;
        answer.pixelBytes = static_cast<qint64>(std::min<quint64>(pixelBytes, quint64(1) << 62));
        const bool fits = request.ask == Ask::encoded && fitsRequest(answer.size, request) &&
                          answer.pixelBytes > 0 &&
                          answer.pixelBytes <= encodedBytesBound(answer.size);
        return fits ? std::optional(answer) : std::nullopt;
    }
    if (kind != quint32(Answer::image) || request.ask == Ask::declaredSize ||
        request.ask == Ask::pdfPageCount || request.ask == Ask::encoded)
        return std::nullopt;
    answer.answer = Answer::image;
    if (format >= QImage::NImageFormats || !fitsRequest(answer.size, request))
        return std::nullopt;
    answer.format = static_cast<QImage::Format>(format);
    if (!isSentFormat(answer.format))
        return std::nullopt;
    answer.bytesPerLine = bytesPerLine;
    answer.pixelBytes = static_cast<qint64>(std::min<quint64>(pixelBytes, quint64(1) << 62));
    if (answer.bytesPerLine != DecoderProtocol::bytesPerLine(answer.format, width) ||
        answer.pixelBytes != answer.bytesPerLine * height)
        return std::nullopt;
    return answer;
}

bool DecoderProtocol::isPdf(const QByteArray& bytes) {
    return bytes.left(1024).contains("%PDF-");
}

QByteArray DecoderProtocol::pageSizes(const QList<QSizeF>& sizes) {
    Writer writer(sizes.size() * 8);
    for (const QSizeF& size : sizes) {
        const float width = float(size.width());
        const float height = float(size.height());
        quint32 bits[2];
        std::memcpy(&bits[0], &width, 4);
        std::memcpy(&bits[1], &height, 4);
        writer.u32(bits[0]);
        writer.u32(bits[1]);
    }
    return writer.bytes();
}

std::optional<QList<QSizeF>> DecoderProtocol::readPageSizes(const QByteArray& bytes, int count) {
    if (count < 1 || count > maxPdfPages || bytes.size() != qsizetype(count) * 8)
        return std::nullopt;
    Reader reader(bytes);
    QList<QSizeF> sizes;
    sizes.reserve(count);
    const auto side = [&]() -> std::optional<double> {
        const quint32 bits = reader.u32();
        float value = 0;
        std::memcpy(&value, &bits, 4);
        // NaN fails both comparisons.
        if (!(value >= minPageSide && value <= maxPageSide))
            return std::nullopt;
        return double(value);
    };
    for (int page = 0; page < count; ++page) {
        const std::optional<double> width = side();
        const std::optional<double> height = side();
        if (!width || !height)
            return std::nullopt;
        sizes.append(QSizeF(*width, *height));
    }
    return sizes;
}
