#include "analysis/IsolatedImageDecoder.h"
#include "analysis/KippetIntake.h"
#include "analysis/PastedImageEncoder.h"
#include "model/Kippet.h"
#include "support/EncodedImage.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <map>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
constexpr QSize photoSize(8000, 6000);

// A field of a few random colours enlarged to the whole picture: long smooth slopes, as a photo
// of a wall, a face or a sky out of focus is made of. Qt's PNG writer is slowest on these.
QImage smoothPicture(quint32 seed, QSize size = photoSize,
                     QImage::Format format = QImage::Format_RGB32) {
    QRandomGenerator random(seed);
    QImage field(64, 48, format);
    for (int y = 0; y < field.height(); ++y) {
        for (int x = 0; x < field.width(); ++x)
            field.setPixelColor(x, y, QColor::fromRgb(random.generate() | 0xff000000u));
    }
    return field.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The smooth picture under grain in every pixel, as a photo taken in dim light: its file is
// tens of megabytes, and barely compresses.
QImage noisyPicture(quint32 seed, QSize size = photoSize) {
    QImage grain(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < grain.height(); ++y)
        random.fillRange(reinterpret_cast<quint32*>(grain.scanLine(y)), grain.width());
    QImage picture = smoothPicture(seed, size);
    QPainter painter(&picture);
    painter.setOpacity(0.3);
    painter.drawImage(0, 0, grain);
    return picture;
}

// Windows, text and flat colours, as a screenshot of a large screen wall.
QImage screenshot() {
    QImage picture(photoSize, QImage::Format_RGB32);
    picture.fill(QColor(246, 245, 244));
    QPainter painter(&picture);
    QFont font = painter.font();
    font.setPixelSize(28);
    painter.setFont(font);
    for (int window = 0; window < 12; ++window) {
        const QRect frame(300 + window * 560, 200 + (window % 4) * 1300, 1600, 1200);
        painter.fillRect(frame, QColor::fromHsv(window * 30, 60, 230));
        painter.fillRect(frame.adjusted(0, 0, 0, -1140), QColor(50, 50, 60));
        for (int line = 0; line < 30; ++line)
            painter.drawText(
                frame.left() + 20, frame.top() + 100 + line * 36,
                QStringLiteral("Line %1 of window %2: the quick brown fox").arg(line).arg(window));
    }
    return picture;
}

// A clear sky: a slow slope from one blue to another, a light cloud, the faint grain of a
// camera.
QImage sky() {
    QImage picture(photoSize, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 0, photoSize.height());
    gradient.setColorAt(0, QColor(40, 90, 170));
    gradient.setColorAt(1, QColor(150, 190, 230));
    painter.fillRect(picture.rect(), gradient);
    painter.setBrush(QColor(255, 255, 255, 120));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRect(2000, 1500, 3000, 900));
    painter.end();
    return picture;
}

// Every processor kept busy by a spinning thread while it lives, as other work on a shared
// machine keeps it: the decoders get their CPU time in slices, beside others.
class BusyMachine {
public:
    BusyMachine() {
        const unsigned count = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned thread = 0; thread < count; ++thread) {
            spinners_.emplace_back([this] {
                while (!done_.load(std::memory_order_relaxed)) {
                }
            });
        }
    }
    ~BusyMachine() {
        done_ = true;
        for (std::thread& spinner : spinners_)
            spinner.join();
    }
    BusyMachine(const BusyMachine&) = delete;
    BusyMachine& operator=(const BusyMachine&) = delete;

private:
    std::atomic<bool> done_ = false;
    std::vector<std::thread> spinners_;
};

// The most CPU time any decoder of `decoder` spent on one picture while it watched, in ms: what
// the budgets are measured against.
class DecoderCpuWatch {
public:
    explicit DecoderCpuWatch(std::shared_ptr<IsolatedImageDecoder> decoder)
        : thread_([this, decoder = std::move(decoder)] {
              static const long ticks = std::max(1L, ::sysconf(_SC_CLK_TCK));
              std::map<qint64, qint64> first;
              while (!done_) {
                  for (const qint64 pid : decoder->busyDecoders()) {
                      QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
                      if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
                          continue;
                      const QByteArray line = stat.readAll();
                      const QList<QByteArray> fields =
                          line.mid(line.lastIndexOf(')') + 2).split(' ');
                      if (fields.size() < 13)
                          continue;
                      const qint64 cpu =
                          (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000 / ticks;
                      const qint64 start = first.try_emplace(pid, cpu).first->second;
                      most_ = std::max<qint64>(most_, cpu - start);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          }) {}
    ~DecoderCpuWatch() { stop(); }
    DecoderCpuWatch(const DecoderCpuWatch&) = delete;
    DecoderCpuWatch& operator=(const DecoderCpuWatch&) = delete;
    qint64 stop() {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
        return most_;
    }

private:
    std::atomic<bool> done_ = false;
    std::atomic<qint64> most_ = 0;
    std::thread thread_;
};

// The decoder the app uses, with the limits it uses.
std::shared_ptr<IsolatedImageDecoder> installAppDecoder() {
    IsolatedImageDecoder::Settings settings;
    settings.program = IsolatedImageDecoder::defaultProgram();
    auto decoder = std::make_shared<IsolatedImageDecoder>(settings);
    IsolatedImageDecoder::install(decoder);
    return decoder;
}

QImage asRgb(const QImage& image) {
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}
} // namespace

// A pasted picture is decoded and written as PNG in a decoder process, within budgets that stop
// hostile files. Ordinary pictures of any content, at 48 megapixels and up to the largest taken,
// are well within them, on a busy machine too: each pasted is stored, pixel for pixel.
class LargePhotoPasteTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // The test reads the pictures it makes and the files stored, at their full size.
        QImageReader::setAllocationLimit(0);
    }
    void init() { installAppDecoder(); }

    void everyLargePictureIsStoredWhateverItShows_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("size");
        QTest::newRow("smooth photo") << QStringLiteral("smooth") << photoSize;
        QTest::newRow("photo with grain") << QStringLiteral("noisy") << photoSize;
        QTest::newRow("screenshot") << QStringLiteral("screenshot") << photoSize;
        QTest::newRow("sky") << QStringLiteral("sky") << photoSize;
        // The largest picture taken, 256 MB of pixels, with grain: its PNG does not fit beside
        // its pixels in the decoder's bound.
        QTest::newRow("largest photo with grain") << QStringLiteral("noisy") << QSize(8192, 8192);
    }

    void everyLargePictureIsStoredWhateverItShows() {
        QFETCH(QString, kind);
        QFETCH(QSize, size);
        QByteArray file;
        if (kind == QLatin1String("smooth"))
            file = encoded(smoothPicture(7), "JPEG", 85);
        else if (kind == QLatin1String("noisy"))
            file = encoded(noisyPicture(11, size), "JPEG", 92);
        else if (kind == QLatin1String("screenshot"))
            file = encoded(screenshot(), "PNG", 80);
        else
            file = encoded(sky(), "JPEG", 90);
        QVERIFY(!file.isEmpty());

        IntakeFixture h;
        QMimeData data;
        data.setData(kind == QLatin1String("screenshot") ? QStringLiteral("image/png")
                                                         : QStringLiteral("image/jpeg"),
                     file);
        LogCapture log;
        QElapsedTimer timer;
        timer.start();
        DecoderCpuWatch cpu(IsolatedImageDecoder::shared());
        {
            const BusyMachine busy;
            TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        }
        const QList<KippetItem> items = h.kippet->items();
        qInfo("%s: a file of %lld bytes stored as %lld bytes, and analysed, in %lld ms; a decoder "
              "spent %lld ms of CPU and held %lld MB at most",
              qPrintable(kind), qint64(file.size()),
              items.isEmpty() ? -1 : qint64(items.first().content.size()), timer.elapsed(),
              cpu.stop(), IsolatedImageDecoder::shared()->peakDecoderBytes() >> 20);
        QVERIFY2(items.size() == 1, qPrintable(log.lines().join(u'\n')));
        // Neither refused nor tried again.
        QVERIFY2(!log.contains(QStringLiteral("[ImageDecoder]")),
                 qPrintable(log.lines().join(u'\n')));
        QVERIFY(log.contains(QStringLiteral("✅ Image added to kippet")));
        const KippetItem& item = items.first();
        QCOMPARE(item.metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
        QCOMPARE(h.storedItems().size(), 1);
        const QImage stored = QImage::fromData(item.content, "PNG");
        QCOMPARE(stored.size(), size);
        QVERIFY(asRgb(stored) == asRgb(QImage::fromData(file)));
    }

    // Sixteen bits a channel, as scanners and raw converters write: stored at eight.
    void aSixteenBitPngIsStored() {
        const QImage deep = smoothPicture(5, QSize(6000, 4000), QImage::Format_RGBX64);
        QCOMPARE(deep.depth(), 64);
        const QByteArray file = encoded(deep, "PNG", 80);
        QCOMPARE(QImage::fromData(file).format(), QImage::Format_RGBX64);

        LogCapture log;
        std::optional<EncodedImage> pasted;
        {
            const BusyMachine busy;
            pasted = PastedImageEncoder::encode({{}, file});
        }
        qInfo("A 16-bit PNG of %lld bytes stored as %lld bytes; the decoder held %lld MB at most",
              qint64(file.size()), pasted ? qint64(pasted->bytes.size()) : -1,
              IsolatedImageDecoder::shared()->peakDecoderBytes() >> 20);
        QVERIFY2(pasted, qPrintable(log.lines().join(u'\n')));
        QCOMPARE(pasted->mimeType, QStringLiteral("image/png"));
        const QImage stored = QImage::fromData(pasted->bytes, "PNG");
        QCOMPARE(stored.size(), QSize(6000, 4000));
        QVERIFY(asRgb(stored) == asRgb(QImage::fromData(file)));
    }

    // A picture the decoder refuses, pasted alone, is said to the user: the paste does not
    // just seem not to have happened.
    void aRefusedPasteIsSaid() {
        IntakeFixture h;
        installAppDecoder();
        // A PNG header that claims 100000 × 100000 pixels: over the decoder's bound.
        QByteArray header = IntakeFixture::pngBytes();
        const QByteArray huge = QByteArray::fromHex("000186a0000186a0");
        header.replace(16, 8, huge);
        QMimeData data;
        data.setData(QStringLiteral("image/png"), header);
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        LogCapture log;
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QVERIFY(h.kippet->items().isEmpty());
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(), QStringLiteral("Failed to read image data"));
        QVERIFY(log.contains(QStringLiteral("falling through to Priority 2")));

        // With text beside it, the text is what the paste keeps, as before.
        data.setText(QStringLiteral("a caption"));
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(h.kippet->items().size(), 1);
        QCOMPARE(errors.size(), 1);
    }
};

QTEST_MAIN(LargePhotoPasteTest)
#include "LargePhotoPasteTest.moc"
