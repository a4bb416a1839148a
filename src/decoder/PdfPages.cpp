#include "decoder/PdfPages.h"

#include "analysis/DecoderProtocol.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

namespace {
// A page of text in the standard fonts and in fonts the document does not carry, which the
// library looks for among the system's.
QByteArray fallbackFontsDocument() {
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R /Resources << "
        "/Font << /F1 5 0 R /F2 6 0 R /F3 7 0 R /F4 8 0 R >> >> >>",
        "",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>",
        "<< /Type /Font /Subtype /TrueType /BaseFont /Arial >>",
    };
    const QByteArray content = "BT /F1 12 Tf 10 80 Td (Ag) Tj /F2 12 Tf 30 0 Td (Ag) Tj "
                               "/F3 12 Tf 30 0 Td (Ag) Tj /F4 12 Tf 30 0 Td (Ag) Tj ET";
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype index = 0; index < objects.size(); ++index) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(index + 1) + " 0 obj\n";
        if (index == 3) {
            pdf += "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
                   "\nendstream";
        } else {
            pdf += objects[index];
        }
        pdf += "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// A page as Qt writes it: embedded font subsets, shapes and a compressed picture.
QByteArray writtenDocument() {
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    QPainter painter(&writer);
    painter.drawText(QPointF(100, 100), QStringLiteral("Ag"));
    painter.fillRect(QRect(100, 200, 300, 100), Qt::red);
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    painter.drawImage(QPoint(100, 400), picture);
    painter.end();
    return pdf;
}
} // namespace

PdfPages::PdfPages() : library_(std::make_unique<QPdfDocument>()) {}

PdfPages::~PdfPages() = default;

void PdfPages::warmUp() {
    for (const QByteArray& pdf : {writtenDocument(), fallbackFontsDocument()})
        render(pdf, 0, QSize(64, 64), 64 * 64 * 4);
    // What stays open holds nothing of the warm-up.
    document_.reset();
    bytes_.clear();
}

bool PdfPages::open(const QByteArray& pdf) {
    if (document_ && bytes_ == pdf)
        return document_->status() == QPdfDocument::Status::Ready;
    document_.reset();
    buffer_.close();
    bytes_ = pdf;
    buffer_.setBuffer(&bytes_);
    if (!buffer_.open(QIODevice::ReadOnly))
        return false;
    document_ = std::make_unique<QPdfDocument>();
    // Bytes at hand are read at once; the status moves on through events only for bytes still on
    // their way, which these never are.
    document_->load(&buffer_);
    while (document_->status() == QPdfDocument::Status::Loading)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return document_->status() == QPdfDocument::Status::Ready && document_->pageCount() > 0;
}

std::optional<QList<QSizeF>> PdfPages::pageSizes(const QByteArray& pdf) {
    if (!open(pdf))
        return std::nullopt;
    const int count = std::min(document_->pageCount(), DecoderProtocol::maxPdfPages);
    QList<QSizeF> sizes;
    sizes.reserve(count);
    const auto side = [](qreal points) {
        return std::isfinite(points)
                   ? std::clamp(points, DecoderProtocol::minPageSide, DecoderProtocol::maxPageSide)
                   : DecoderProtocol::minPageSide;
    };
    for (int page = 0; page < count; ++page) {
        const QSizeF points = document_->pagePointSize(page);
        sizes.append(QSizeF(side(points.width()), side(points.height())));
    }
    return sizes;
}

std::optional<QImage> PdfPages::render(const QByteArray& pdf, int page, QSize bound, qint64 limit) {
    if (bound.isEmpty() || !open(pdf) || page < 0 || page >= document_->pageCount())
        return std::nullopt;
    const QSizeF points = document_->pagePointSize(page);
    if (!(points.width() > 0 && points.height() > 0))
        return std::nullopt;
    const qreal scale = std::min(bound.width() / points.width(), bound.height() / points.height());
    const QSize size(std::clamp(int(std::floor(points.width() * scale)), 1, bound.width()),
                     std::clamp(int(std::floor(points.height() * scale)), 1, bound.height()));
    if (qint64(size.width()) * size.height() * 4 > limit)
        return std::nullopt;
    const QImage drawn = document_->render(page, size);
    if (drawn.isNull())
        return std::nullopt;
    // Pages are drawn on transparency; a page is white wherever the document paints nothing.
    QImage white(size, QImage::Format_RGB32);
    white.fill(Qt::white);
    QPainter painter(&white);
    painter.drawImage(QPoint(0, 0), drawn);
    painter.end();
    return white;
}
