#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <optional>

// What the app and its decoder processes say to each other over their socket. A request is a
// fixed header and the image bytes; an answer is a fixed header and, for an image, its pixels row
// after row as QImage lays them out. Both headers are little-endian, fields of fixed width.
// The app trusts nothing an answer says: a header that does not add up is no answer at all.
class DecoderProtocol {
public:
    enum class Ask : quint32 {
        decode = 1,       // the picture at its own size
        covering = 2,     // the least size that covers the given one, never enlarged
        within = 3,       // the largest size that fits within the given one, never enlarged
        declaredSize = 4, // only the size the picture declares
    };
    enum class Answer : quint32 { image = 1, size = 2, refused = 3 };

    struct Request {
        Ask ask = Ask::decode;
        QSize size;
        qint64 limit = 0;
        QByteArray bytes;
    };

    struct AnswerHeader {
        Answer answer = Answer::refused;
        QSize size;
        QImage::Format format = QImage::Format_Invalid;
        qint64 bytesPerLine = 0;
        int dotsPerMeterX = 0;
        int dotsPerMeterY = 0;
        qint64 pixelBytes = 0;
    };

    static constexpr qsizetype requestHeaderBytes = 32;
    static constexpr qsizetype answerHeaderBytes = 40;
    // Larger image bytes are not sent to a decoder at all.
    static constexpr qint64 maxRequestBytes = 512LL * 1024 * 1024;
    // Sides beyond this are no picture Qt paints.
    static constexpr int maxSide = 1 << 16;

    static QByteArray requestHeader(const Request& request);
    // The request a header announces, its bytes still to be read; nothing when it is not one.
    static std::optional<Request> readRequestHeader(const QByteArray& header);

    static QByteArray answerHeader(const AnswerHeader& answer);
    // The answer a header gives to `request`, when it is one that request may get: an image no
    // larger than the request's limit, in a format the app draws, its rows as QImage lays them.
    static std::optional<AnswerHeader> readAnswerHeader(const QByteArray& header,
                                                        const Request& request);

    // The formats a decoder answers in; others are converted before they are sent.
    static bool isSentFormat(QImage::Format format);
    static qint64 bytesPerLine(QImage::Format format, int width);
};
