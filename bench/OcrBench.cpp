// Text recognition of a rendered 1280 × 800 screenshot through the image analyzer's own path
// (file bytes → QImageReader → Tesseract), against the tesseract program on the same file with the
// same language and page segmentation. Both sides include reading the image file.
#include "analysis/ImageAnalyzer.h"
#include "analysis/TesseractTextRecognizer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <limits>

namespace {

QString imagePath;
double fastestOwnMs = std::numeric_limits<double>::max();
double fastestCliMs = std::numeric_limits<double>::max();

// A window-like screenshot: a title bar, a heading and a column of body text.
QImage renderedScreenshot() {
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.fillRect(0, 0, 1280, 36, QColor(225, 225, 230));
    painter.setPen(Qt::black);
    QFont font("DejaVu Sans");
    font.setPixelSize(15);
    painter.setFont(font);
    painter.drawText(QPoint(16, 24), "Kippets — Dashboard");
    font.setPixelSize(30);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QPoint(40, 95), "Release notes for the spring update");
    font.setPixelSize(17);
    font.setBold(false);
    painter.setFont(font);
    const QString sentence =
        "Items dropped into a kippet are analysed and sorted into sections %1.";
    for (int line = 0; line < 26; ++line)
        painter.drawText(QPoint(40, 140 + line * 25), sentence.arg(line + 1));
    return image;
}

void ownPath(benchmark::State& state) {
    TesseractTextRecognizer recognizer;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QFile file(imagePath);
        file.open(QIODevice::ReadOnly);
        const std::optional<QImage> image = ImageAnalyzer::decodeImage(file.readAll());
        const QStringList lines = recognizer.recognizeLines(*image);
        benchmark::DoNotOptimize(lines);
        fastestOwnMs = std::min(fastestOwnMs, timer.nsecsElapsed() / 1e6);
        if (lines.isEmpty())
            state.SkipWithError("nothing recognised");
    }
}

void tesseractCli(benchmark::State& state) {
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start("tesseract", {imagePath, "stdout", "-l", "eng", "--psm", "3"});
        process.waitForFinished(-1);
        const QByteArray output = process.readAllStandardOutput();
        benchmark::DoNotOptimize(output);
        fastestCliMs = std::min(fastestCliMs, timer.nsecsElapsed() / 1e6);
        if (process.exitCode() != 0 || output.isEmpty())
            state.SkipWithError("tesseract program failed");
    }
}

} // namespace

BENCHMARK(ownPath)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(tesseractCli)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    imagePath = dir.filePath("screenshot.png");
    if (!renderedScreenshot().save(imagePath, "PNG"))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("RATIO ocr_vs_tesseract_cli %.3f 1.2\n", fastestOwnMs / fastestCliMs);
    return 0;
}
