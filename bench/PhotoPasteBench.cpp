// A 48-megapixel photo of smooth content pasted into a kippet, from the paste until its item is
// stored, against writing the same photo as PNG with QImage::save in this process. The paste
// hands the JPEG to a decoder process, which decodes it and writes the PNG the item keeps; the
// app checks the file and stores it. It may cost a little more than the writing alone, never
// several times as much whatever the photo shows.
#include "NewLocalStore.h"
#include "analysis/AIService.h"
#include "analysis/HeuristicAnalyzer.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"

#include <QBuffer>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <limits>

namespace {
constexpr int rounds = 3;

// Long smooth slopes between random colours, as a photo out of focus: what Qt's PNG writer is
// slowest on. Each round pastes another, so that none is a duplicate of the one before.
QImage smoothPhoto(quint32 seed) {
    QRandomGenerator random(seed);
    QImage field(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < field.height(); ++y) {
        for (int x = 0; x < field.width(); ++x)
            field.setPixel(x, y, random.generate() | 0xff000000u);
    }
    return field.scaled(QSize(8000, 6000), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        qFatal("cannot write the benchmark's photo");
    return bytes;
}

QString benchFolderTemplate() {
    const QString shm = QStringLiteral("/dev/shm");
    const QString folder = QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    return folder + QStringLiteral("/kippets-bench-XXXXXX");
}
} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    // The reference reads the photo back at its full size.
    QImageReader::setAllocationLimit(0);
    QTemporaryDir preferencesFolder;
    Preferences preferences(preferencesFolder.filePath(QStringLiteral("bench.conf")));
    Preferences::install(&preferences);
    AIService service;
    service.setInjectedProviders(AIService::Chain{std::make_shared<HeuristicAnalyzer>()});
    AIService::install(&service);
    QElapsedTimer sincePaste;
    qint64 storedAfter = -1;
    Log::setSink([&](const QString& line) {
        if (line.contains(QLatin1String("Image added to kippet")))
            storedAfter = sincePaste.nsecsElapsed();
    });

    QTemporaryDir root(benchFolderTemplate());
    double bestPaste = std::numeric_limits<double>::max();
    double bestSave = std::numeric_limits<double>::max();
    qint64 pngBytes = 0;
    qint64 storedBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        const QByteArray photo = encoded(smoothPhoto(quint32(round + 1)), "JPEG", 85);

        // The reference: the decoded photo written as PNG by Qt, as the app once did.
        const QImage decoded = QImage::fromData(photo);
        QElapsedTimer timer;
        timer.start();
        const QByteArray png = encoded(decoded, "PNG");
        bestSave = std::min(bestSave, timer.nsecsElapsed() / 1e9);
        pngBytes = png.size();

        const QString folder = root.filePath(QStringLiteral("paste-%1").arg(round));
        StoreManager store;
        StoreManager::install(&store);
        store.configure(newLocalStore(folder));
        KippetManager manager(&store, folder);
        KippetManager::install(&manager);
        QCoro::waitFor(manager.waitForInitialization());
        Kippet* kippet = manager.createKippet(QStringLiteral("Photos"), KippetColor::standardBlue(),
                                              QStringLiteral("tray.fill"), false);
        KippetIntake intake(kippet);
        QCoreApplication::processEvents();
        QMimeData data;
        data.setData(QStringLiteral("image/jpeg"), photo);
        storedAfter = -1;
        sincePaste.start();
        QCoro::waitFor(intake.pasteFromPasteboard(data));
        if (storedAfter < 0 || kippet->items().size() != 1)
            qFatal("the photo was not stored");
        bestPaste = std::min(bestPaste, storedAfter / 1e9);
        storedBytes = kippet->items().constFirst().content.size();
        KippetManager::install(nullptr);
        StoreManager::install(nullptr);
    }
    std::printf("A 48-megapixel smooth photo: pasted and stored in %.2f s (%lld bytes kept), "
                "written by QImage::save in %.2f s (%lld bytes); the decoder held %lld MB at "
                "most\n",
                bestPaste, storedBytes, bestSave, pngBytes,
                IsolatedImageDecoder::shared()->peakDecoderBytes() >> 20);
    std::printf("RATIO photo_paste_vs_png_save %.3f 1.5\n", bestPaste / bestSave);
    AIService::install(nullptr);
    return 0;
}
