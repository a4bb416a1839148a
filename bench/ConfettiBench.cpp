// One frame of the celebration (a hundred pieces mid-fall, painted into a transparent image the
// size of a 1920 × 1080 screen, cleared first as the window's backing store is) against clearing
// that image alone. The frames are measured across the fall, after it has played once.
#include "onboarding/ConfettiPiece.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

namespace {
const QSize screen(1920, 1080);

QList<ConfettiPiece> pieces() {
    QRandomGenerator random(2026);
    return ConfettiPiece::create(QSizeF(screen), random);
}

void clear(QImage& image) {
    image.fill(Qt::transparent);
}

void frame(QImage& image, const QList<ConfettiPiece>& confetti, double seconds) {
    clear(image);
    QPainter painter(&image);
    ConfettiPiece::paint(painter, confetti, seconds);
}

void BM_ClearScreenImage(benchmark::State& state) {
    QImage image(screen, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        clear(image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ClearScreenImage);

void BM_ConfettiFrame(benchmark::State& state) {
    QImage image(screen, QImage::Format_ARGB32_Premultiplied);
    const QList<ConfettiPiece> confetti = pieces();
    frame(image, confetti, 1.5);
    for (auto _ : state) {
        frame(image, confetti, 1.5);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ConfettiFrame);

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work> double secondsOf(Work work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    QImage image(screen, QImage::Format_ARGB32_Premultiplied);
    const QList<ConfettiPiece> confetti = pieces();
    // One fall at sixty frames a second first, as the window plays it: the pieces' pictures are
    // drawn as they first turn up, and later frames place them.
    for (int tick = 0; tick < 210; ++tick) {
        frame(image, confetti, tick / 60.0);
    }
    std::vector<double> frames;
    std::vector<double> clears;
    // Interleaved, so a busy moment of the machine weighs on both alike; times across the fall.
    for (int run = 0; run < 61; ++run) {
        const double seconds = 0.5 + 2.5 * run / 60.0;
        frames.push_back(secondsOf([&] { frame(image, confetti, seconds); }));
        clears.push_back(secondsOf([&] { clear(image); }));
    }
    std::printf("RATIO confetti_frame_vs_clear %.3f 3\n", median(frames) / median(clears));
    return 0;
}
