#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <QtGlobal>
#include <optional>

// What the app and its decoder processes say to each other over their socket. A request is a
// fixed header and the image bytes; an answer is a fixed header and, for an image, its pixels row
// after row as QImage lays them out, or, for an encoded picture, the bytes of its file. Both
// headers are little-endian, fields of fixed width.
// The app trusts nothing an answer says: a header that does not add up is no answer at all, and
// neither is one larger than what was asked for.
class DecoderProtocol {
public:
    enum class Ask : quint32 {
        decode = 1,       // the picture at its own size
        covering = 2,     // the least size that covers the given one, never enlarged
        within = 3,       // the largest size that fits within the given one, never enlarged
        declaredSize = 4, // only the size the picture declares
        pdfPageCount = 5, // a PDF's pages: how many, and each one's size in points
        pdfPage = 6,      // one page of a PDF on white, the largest size within the given one
        // The picture at its own size as the bytes of a PNG file (of a JPEG file when PNG
        // fails), so that a picture kept whole never has to be held as pixels in the app.
        encoded = 7,
    };
    // `pages` follows its header with each page's width and height in points, two float32s.
    // `decoded` comes before the answer to an `encoded` request, once the picture is decoded and
    // its file is being written: from then on the time spent is the writing's, not the picture's.
    enum class Answer : quint32 {
        image = 1,
        size = 2,
        refused = 3,
        pages = 4,
        encoded = 5,
        decoded = 6,
    };

    struct Request {
        Ask ask = Ask::decode;
        QSize size;
        qint64 limit = 0;
        QByteArray bytes;
        // The page of a PDF asked for, from 0.
        int page = 0;
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

    static constexpr qsizetype requestHeaderBytes = 40;
    static constexpr qsizetype answerHeaderBytes = 40;
    // Larger image bytes are not sent to a decoder at all.
    static constexpr qint64 maxRequestBytes = 512LL * 1024 * 1024;
    // Sides beyond this are no picture Qt paints.
    static constexpr int maxSide = 1 << 16;
    // A longer PDF shows its first pages only: the app lays every page out in one column.
    static constexpr int maxPdfPages = 10000;
    // Sides of a PDF page in points beyond these are no page (a PDF's own bound is 14,400 units of
    // up to 75,000 points each; a viewer has no use for more).
    static constexpr double minPageSide = 1.0;
    static constexpr double maxPageSide = 200000.0;
    // The least size that covers a box is as long as the picture is elongated: past this many
    // times the box on either side, a covering answer is the middle of that strip, all a card
    // shows of it.
    static constexpr int maxCoverStretch = 16;
    // The status a decoder ends with, having answered nothing, when it could not put up every one
    // of its walls (see Lockdown): it decodes nothing without them.
    static constexpr int wallsDownStatus = 69;

    static QByteArray requestHeader(const Request& request);
    // The request a header announces, its bytes still to be read; nothing when it is not one.
    static std::optional<Request> readRequestHeader(const QByteArray& header);

    static QByteArray answerHeader(const AnswerHeader& answer);
    // The answer a header gives to `request`, when it is one that request may get: an image no
    // larger than the request's limit and the size it asked for (see fitsRequest), in a format
    // the app draws, its rows as QImage lays them; or encoded bytes within encodedBytesBound of
    // the picture's size.
    static std::optional<AnswerHeader> readAnswerHeader(const QByteArray& header,
                                                        const Request& request);

    // Whether the bytes are a PDF by their signature, as readers find it: within the first
    // kilobyte.
    static bool isPdf(const QByteArray& bytes);
    static QByteArray pageSizes(const QList<QSizeF>& sizes);
    // The page sizes a `pages` answer of `count` pages carries; nothing when one is no page's.
    static std::optional<QList<QSizeF>> readPageSizes(const QByteArray& bytes, int count);
    // Whether pixels of `size` are an answer `request` may get: within the limit, and for
    // `within` inside the box; for `covering` inside it across or down (the least size that
    // covers a box matches it on one side, and a picture too small to cover it is not enlarged,
    // so it is no larger than the box on one side either), and within coverBound on both.
    static bool fitsRequest(QSize size, const Request& request);
    // The largest a covering answer to `box` may be on each side.
    static QSize coverBound(QSize box);
    // The most bytes a picture of `size` takes as a file: PNG stores its pixels (four bytes each
    // at most, as they are sent) uncompressed at worst, with a byte a row and the framing of its
    // chunks.
    static qint64 encodedBytesBound(QSize size);

    // The formats a decoder answers in; others are converted before they are sent.
    static bool isSentFormat(QImage::Format format);
    static qint64 bytesPerLine(QImage::Format format, int width);
};
