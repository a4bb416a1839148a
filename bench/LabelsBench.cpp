// Image labels on a 1280 × 800 photo (file bytes → QImageReader → the label network), against
// recognising the text of the 1280 × 800 screenshot the text recognition benchmark reads, through
// the image analyzer's own path; both sides include reading the image file. Also the resident
// memory the first classification adds (model conversion, OpenCV and the network), against the
// process before it, when neither the label network nor text recognition has been loaded.
#include "BenchScreenshot.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/ObjectLabelClassifier.h"
#include "analysis/TesseractTextRecognizer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <limits>
#include <malloc.h>

namespace {

QString screenshotPath;
QString photoPath;
QImage decodedPhoto;
std::shared_ptr<ObjectLabelClassifier> classifier;
double fastestLabelsMs = std::numeric_limits<double>::max();
double fastestOcrMs = std::numeric_limits<double>::max();
double residentBeforeKb = 0;
double residentAfterKb = 0;

double residentKb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble();
    return 0;
}

std::optional<QImage> imageAt(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return ImageAnalyzer::decodeImage(file.readAll());
}

void recognition(benchmark::State& state) {
    TesseractTextRecognizer recognizer;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const QStringList lines = recognizer.recognizeLines(*imageAt(screenshotPath));
        benchmark::DoNotOptimize(lines);
        fastestOcrMs = std::min(fastestOcrMs, timer.nsecsElapsed() / 1e6);
        if (lines.isEmpty())
            state.SkipWithError("nothing recognised");
    }
}

bool labelled = true;

void labels(benchmark::State& state) {
    // The first classification loads the model; it is measured for memory, not for time. The
    // reference was taken in main, with the photo already decoded but nothing of labelling or
    // recognition loaded; labelling runs before recognition, so the growth is all its own.
    benchmark::DoNotOptimize(ImageAnalyzer::classify(classifier.get(), decodedPhoto));
    residentAfterKb = residentKb();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const QStringList found = ImageAnalyzer::classify(classifier.get(), *imageAt(photoPath));
        benchmark::DoNotOptimize(found);
        fastestLabelsMs = std::min(fastestLabelsMs, timer.nsecsElapsed() / 1e6);
        if (!found.contains("dog")) {
            state.SkipWithError("the dog was not labelled: is the model installed?");
            labelled = false;
        }
    }
}

} // namespace

// Registered in the order they run: labels first, while text recognition is not loaded.
BENCHMARK(labels)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(recognition)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    screenshotPath = dir.filePath("screenshot.png");
    photoPath = dir.filePath("photo.jpg");
    const QImage photo(QStringLiteral(KIPPETS_SAMPLE_PHOTOS "/dog.jpg"));
    if (photo.isNull() || !renderedScreenshot().save(screenshotPath, "PNG") ||
        !photo.scaled(1280, 800, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
             .save(photoPath, "JPEG", 90)) {
        std::fprintf(stderr, "darknet's sample photos are missing: run scripts/setup\n");
        return 1;
    }
    classifier = std::make_shared<ObjectLabelClassifier>(
        ObjectLabelClassifier::Files::in(KIPPETS_LABELS_DIR));
    // The photo the first classification reads is held across the reference, so only what
    // labelling loads is measured. The first classification hands freed heap pages back to the
    // system, so the heap is trimmed before the reference too.
    decodedPhoto = *imageAt(photoPath);
    malloc_trim(0);
    residentBeforeKb = residentKb();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Without the model nothing is labelled, and the figures would time and weigh nothing.
    if (!labelled) {
        std::fprintf(stderr, "no labels: the model is missing; run scripts/setup\n");
        return 1;
    }
    std::printf("RATIO labels_vs_ocr %.3f 1\n", fastestLabelsMs / fastestOcrMs);
    std::printf("resident before the first classification: %.0f MB, after: %.0f MB\n",
                residentBeforeKb / 1024, residentAfterKb / 1024);
    std::printf("RATIO labels_memory_growth %.3f 1.5\n", residentAfterKb / residentBeforeKb);
    return 0;
}
