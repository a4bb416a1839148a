#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <memory>
#include <optional>

class QPdfDocument;

// The decoder's PDF reader: the document of the last request stays open, so that the pages of one
// PDF, asked for one after another as the preview scrolls, cost one parse.
class PdfPages {
public:
    PdfPages();
    ~PdfPages();
    PdfPages(const PdfPages&) = delete;
    PdfPages& operator=(const PdfPages&) = delete;

    // The library, its codecs and the fonts a page without its own falls back on are loaded now,
    // while files can still be opened: once the decoder is locked down, nothing more can be.
    void warmUp();
    // Each page's size in points, the first DecoderProtocol::maxPdfPages pages.
    std::optional<QList<QSizeF>> pageSizes(const QByteArray& pdf);
    // The page drawn on white at the largest size within `bound`, of at most `limit` bytes.
    std::optional<QImage> render(const QByteArray& pdf, int page, QSize bound, qint64 limit);

private:
    bool open(const QByteArray& pdf);

    // Qt PDF closes its library when its last document goes, and with it every font the library
    // found: this empty one, made before the lockdown and kept, holds the library open.
    std::unique_ptr<QPdfDocument> library_;
    QByteArray bytes_;
    QBuffer buffer_;
    std::unique_ptr<QPdfDocument> document_;
};
