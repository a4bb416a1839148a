// Pages of a PDF as the preview asks for them, drawn in a decoder process against the same pages
// drawn by Qt PDF in this process. Both sides draw one page after another at a preview's width on
// white and take the wall time of the whole set, the trip to the decoder and the picture's way
// back included; the document is opened once on each side. The fastest of a few rounds counts.
#include "analysis/IsolatedImageDecoder.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr int pageCount = 20;
// The preview's column at its usual width.
constexpr QSize bound(704, 1200);

QByteArray pdf;
double fastestInMs = std::numeric_limits<double>::max();
double fastestOutMs = std::numeric_limits<double>::max();

// A report of A4 pages: a heading, paragraphs of text and a chart of shapes on each.
QByteArray report() {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QRandomGenerator random(7);
    QPainter painter(&writer);
    const QString words = QStringLiteral(
        "The quarterly figures show steady growth in every region, with the strongest gains in "
        "the northern offices and a small decline in the older product lines. ");
    for (int page = 0; page < pageCount; ++page) {
        if (page > 0)
            writer.newPage();
        QFont heading = painter.font();
        heading.setPointSize(20);
        heading.setBold(true);
        painter.setFont(heading);
        painter.drawText(QPointF(0, 30), QStringLiteral("Section %1").arg(page + 1));
        QFont body = painter.font();
        body.setPointSize(10);
        body.setBold(false);
        painter.setFont(body);
        painter.drawText(QRectF(0, 50, 500, 300), Qt::TextWordWrap, words.repeated(12));
        QLinearGradient fill(0, 380, 0, 700);
        fill.setColorAt(0, QColor::fromHsv(random.bounded(360), 140, 220));
        fill.setColorAt(1, Qt::white);
        painter.fillRect(QRectF(0, 380, 500, 320), fill);
        for (int bar = 0; bar < 12; ++bar) {
            const int height = random.bounded(40, 300);
            painter.fillRect(QRectF(20 + bar * 38, 690 - height, 28, height),
                             QColor::fromHsv(bar * 30, 200, 200));
        }
    }
    painter.end();
    return bytes;
}

// The size the decoder draws a page at: the largest within the bound.
QSize fitted(QSizeF points) {
    const qreal scale = std::min(bound.width() / points.width(), bound.height() / points.height());
    return QSize(int(std::floor(points.width() * scale)), int(std::floor(points.height() * scale)));
}

template <typename Draw> void pages(benchmark::State& state, Draw draw, double& fastest) {
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (int page = 0; page < pageCount; ++page) {
            const std::optional<QImage> image = draw(page);
            if (!image || image->width() < bound.width() - 1)
                state.SkipWithError("a page was not drawn");
            benchmark::DoNotOptimize(image);
        }
        fastest = std::min(fastest, timer.nsecsElapsed() / 1e6);
    }
}

void inProcess(benchmark::State& state) {
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    pages(
        state,
        [&](int page) -> std::optional<QImage> {
            const QSize size = fitted(document.pagePointSize(page));
            const QImage drawn = document.render(page, size);
            QImage white(size, QImage::Format_RGB32);
            white.fill(Qt::white);
            QPainter painter(&white);
            painter.drawImage(QPoint(0, 0), drawn);
            painter.end();
            return white;
        },
        fastestInMs);
}

void outOfProcess(benchmark::State& state) {
    const std::shared_ptr<IsolatedImageDecoder> decoder = IsolatedImageDecoder::shared();
    // The decoder has the document open before the first round, as once the preview shows it.
    decoder->pdfPageSizes(pdf);
    pages(
        state, [&](int page) { return decoder->renderPdfPage(pdf, page, bound); }, fastestOutMs);
}

} // namespace

BENCHMARK(inProcess)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(outOfProcess)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    pdf = report();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double ratio = fastestOutMs / fastestInMs;
    std::printf("RATIO pdf_page_in_decoder_vs_qt_pdf_in_process %.3f 1.5\n", ratio);
    return ratio <= 1.5 ? 0 : 1;
}
