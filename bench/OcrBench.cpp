// Text recognition of a rendered 1280 × 800 screenshot through the image analyzer's own path
// (file bytes → QImageReader → Tesseract), against the tesseract program on the same file with the
// same language and page segmentation. Both sides include reading the image file.
#include "BenchScreenshot.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/TesseractTextRecognizer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
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
