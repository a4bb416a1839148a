// Thumbnails of 200 ordinary photos as item cards ask for them, decoded in a decoder process
// against the same decoding in this process. Both sides decode one photo after another and take
// the wall time of the whole set, the decoder's work and the trip to it included; the fastest of
// a few rounds counts.
#include "analysis/ImageDecoder.h"
#include "analysis/IsolatedImageDecoder.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <limits>

namespace {

constexpr int photoCount = 200;
// The largest picture a card shows.
constexpr QSize cover(260, 96);

QList<QByteArray> photos;
double fastestInMs = std::numeric_limits<double>::max();
double fastestOutMs = std::numeric_limits<double>::max();

// A 1600 × 1200 JPEG of a phone's usual quality, different for every seed.
QByteArray photo(quint32 seed) {
    QRandomGenerator random(seed);
    QImage image(1600, 1200, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 1200);
    sky.setColorAt(0, QColor::fromHsv(random.bounded(360), 120, 230));
    sky.setColorAt(1, QColor::fromHsv(random.bounded(360), 160, 90));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int shape = 0; shape < 60; ++shape) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), random.bounded(256), 200));
        painter.drawEllipse(QPoint(random.bounded(1600), random.bounded(1200)),
                            random.bounded(20, 200), random.bounded(20, 200));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

template <typename Decode>
void thumbnails(benchmark::State& state, Decode decode, double& fastest) {
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray& bytes : photos) {
            const std::optional<QImage> image = decode(bytes);
            if (!image || image->width() < cover.width() || image->height() < cover.height())
                state.SkipWithError("a photo gave no thumbnail");
            benchmark::DoNotOptimize(image);
        }
        fastest = std::min(fastest, timer.nsecsElapsed() / 1e6);
    }
}

void inProcess(benchmark::State& state) {
    thumbnails(
        state, [](const QByteArray& bytes) { return ImageDecoder::decodeCovering(bytes, cover); },
        fastestInMs);
}

void outOfProcess(benchmark::State& state) {
    const std::shared_ptr<IsolatedImageDecoder> decoder = IsolatedImageDecoder::shared();
    // The decoder is started before the first round, as it is once an app has shown a picture.
    decoder->decodeCovering(photos.first(), cover);
    thumbnails(
        state, [&](const QByteArray& bytes) { return decoder->decodeCovering(bytes, cover); },
        fastestOutMs);
}

} // namespace

BENCHMARK(inProcess)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(outOfProcess)->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    for (int index = 0; index < photoCount; ++index)
        photos.append(photo(static_cast<quint32>(index + 1)));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double ratio = fastestOutMs / fastestInMs;
    std::printf("RATIO thumbnails_out_of_process_vs_in_process %.3f 1.3\n", ratio);
    return ratio <= 1.3 ? 0 : 1;
}
