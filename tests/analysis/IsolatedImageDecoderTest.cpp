#include "analysis/IsolatedImageDecoder.h"
#include "analysis/DecoderProcess.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/KippetIntake.h"
#include "analysis/PastedImageEncoder.h"
#include "model/Kippet.h"
#include "support/DecoderMemory.h"
#include "support/EncodedImage.h"
#include "support/HostileImageFiles.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "window/ThumbnailCache.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLinearGradient>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <atomic>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <set>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {
// A square photo `side` pixels wide, a gradient crossed by light lines, as a JPEG of middling
// quality: quick to decode, slow to write out as PNG.
QByteArray stripedPhoto(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, side, side);
    gradient.setColorAt(0, QColor(30, 90, 160));
    gradient.setColorAt(1, QColor(230, 180, 60));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(QColor(250, 250, 250), 3));
    for (int line = 0; line < side; line += 7)
        painter.drawLine(0, line, side, (line * 3) % side);
    painter.end();
    return encoded(image, "JPEG", 60);
}

// A 48-megapixel colour photo as a phone takes it, at a low quality so that it stays small.
QByteArray largePhoto() {
    QImage image(8000, 6000, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 8000, 6000);
    gradient.setColorAt(0, QColor(30, 90, 160));
    gradient.setColorAt(1, QColor(230, 180, 60));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    return encoded(image, "JPEG", 10);
}

// A drawing of a few kilobytes whose rendering takes minutes: wide curves of short dashes.
QByteArray slowDrawing(int lines = 200) {
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"2000\" height=\"2000\">";
    for (int line = 0; line < lines; ++line) {
        svg += "<path d=\"M0 " + QByteArray::number(line % 2000) +
               "c500 500 1000 -500 2000 0\" stroke=\"#000\" stroke-width=\"40\" "
               "stroke-dasharray=\".11 .11\"/>";
    }
    return svg + "</svg>";
}

QByteArray ordinaryPng(QColor color = QColor(40, 160, 90)) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(color);
    return encoded(image, "PNG");
}

std::shared_ptr<IsolatedImageDecoder> installDecoder(std::chrono::milliseconds cpu,
                                                     std::chrono::milliseconds wall,
                                                     QString program = {}, int processes = 0) {
    IsolatedImageDecoder::Settings settings;
    settings.program =
        program.isEmpty() ? IsolatedImageDecoder::defaultProgram() : std::move(program);
    settings.limits.cpu = cpu;
    settings.limits.wall = wall;
    if (processes > 0) {
        // Many decoders at once, each with a smaller bound, within the same budget.
        settings.limits.memoryBytes = settings.decodersMemoryBytes / processes;
    }
    auto decoder = std::make_shared<IsolatedImageDecoder>(settings);
    IsolatedImageDecoder::install(decoder);
    return decoder;
}

// A decoder program that reads its requests and never answers.
QString silentProgram(const QTemporaryDir& folder) {
    const QString path = folder.filePath(QStringLiteral("silent-decoder"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\nexec sleep 600\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// Keeps every decoder of `decoder` short of the CPU while it lives, as a busy machine does: each
// of their threads is bound to one processor where a thread of this test spins at a higher
// priority. Their CPU time still advances, about ten times slower than it would.
class StarvedDecoders {
public:
    explicit StarvedDecoders(std::shared_ptr<IsolatedImageDecoder> decoder)
        : decoder_(std::move(decoder)) {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        ::sched_getaffinity(0, sizeof allowed, &allowed);
        // Tests run side by side starve their decoders on processors of their own.
        QList<int> processors;
        for (int processor = 0; processor < CPU_SETSIZE; ++processor) {
            if (CPU_ISSET(processor, &allowed))
                processors.append(processor);
        }
        if (!processors.isEmpty())
            processor_ = processors.at(int(::getpid() % processors.size()));
        spinner_ = std::thread([this] {
            pinToProcessor(0);
            while (!done_.load(std::memory_order_relaxed)) {
            }
        });
        starveAll(); // those waiting now, before they are given anything
        watcher_ = std::thread([this] {
            while (!done_) {
                starveAll();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~StarvedDecoders() {
        done_ = true;
        watcher_.join();
        spinner_.join();
    }
    StarvedDecoders(const StarvedDecoders&) = delete;
    StarvedDecoders& operator=(const StarvedDecoders&) = delete;

    bool wasStarved(qint64 pid) const {
        const std::lock_guard lock(mutex_);
        return starved_.contains(pid);
    }

private:
    // `thread` 0 is the caller.
    bool pinToProcessor(pid_t thread) const {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(processor_, &one);
        return ::sched_setaffinity(thread, sizeof one, &one) == 0;
    }

    void starveAll() {
        QList<qint64> pids = decoder_->busyDecoders() + decoder_->idleDecoders();
        for (const qint64 pid : pids) {
            if (pid <= 0)
                continue;
            // A processor and a niceness are each thread's own: every one is starved as it
            // appears.
            const QStringList threads = QDir(QStringLiteral("/proc/%1/task").arg(pid))
                                            .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            for (const QString& name : threads) {
                const pid_t thread = name.toInt();
                if (seen_.contains(thread))
                    continue;
                if (pinToProcessor(thread) && ::setpriority(PRIO_PROCESS, id_t(thread), 10) == 0) {
                    seen_.insert(thread);
                    const std::lock_guard lock(mutex_);
                    starved_.insert(pid);
                }
            }
        }
    }

    const std::shared_ptr<IsolatedImageDecoder> decoder_;
    int processor_ = 0;
    std::atomic<bool> done_ = false;
    std::thread spinner_;
    std::thread watcher_;
    std::set<pid_t> seen_;
    mutable std::mutex mutex_;
    std::set<qint64> starved_;
};

QMimeData* imageOnClipboard(const QByteArray& bytes, const QString& type) {
    auto* data = new QMimeData;
    data->setData(type, bytes);
    return data;
}
} // namespace

class IsolatedImageDecoderTest : public QObject {
    Q_OBJECT
private slots:
    void init() { installDecoder(std::chrono::seconds(4), std::chrono::seconds(12)); }

    // Qt's own bound on one picture refuses a 48-megapixel photo; the decoder's is its process's.
    void aLargePhotoIsPastedShownAndAnalysed() {
        const QByteArray photo = largePhoto();
        QVERIFY2(photo.size() < 2 * 1024 * 1024, qPrintable(QString::number(photo.size())));

        const std::optional<EncodedImage> pasted = PastedImageEncoder::encode({{}, photo});
        QVERIFY(pasted);
        QCOMPARE(pasted->mimeType, QStringLiteral("image/png"));
        QCOMPARE(IsolatedImageDecoder::shared()->declaredSize(pasted->bytes),
                 std::optional<QSize>(QSize(8000, 6000)));

        const QImage thumbnail = ThumbnailCache::decode(true, photo, {}, QSize(260, 96));
        QCOMPARE(thumbnail.size(), QSize(260, 195));
        std::optional<QImage> analysed = ImageAnalyzer::decodeImage(photo);
        QVERIFY(analysed);
        QCOMPARE(analysed->size(), QSize(4096, 3072));
        QCOMPARE(analysed->pixelColor(0, 0).blue(), thumbnail.pixelColor(0, 0).blue());
        // Let go, as analysis lets its picture go: the next one needs its room in the budget.
        analysed.reset();

        // A drawing as large is rendered as large, for the paste's picture.
        const QByteArray drawing =
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"6000\" height=\"6000\">"
            "<rect width=\"6000\" height=\"3000\" fill=\"#2060c0\"/></svg>";
        const std::optional<EncodedImage> drawn = PastedImageEncoder::encode({{}, drawing});
        QVERIFY(drawn);
        QCOMPARE(IsolatedImageDecoder::shared()->declaredSize(drawn->bytes),
                 std::optional<QSize>(QSize(6000, 6000)));
        QCOMPARE(ThumbnailCache::decode(true, drawing, {}, QSize(260, 96)).size(), QSize(260, 260));
        const std::optional<QImage> looked = ImageAnalyzer::decodeImage(drawing);
        QVERIFY(looked);
        QCOMPARE(looked->size(), QSize(4096, 4096));
        QCOMPARE(looked->pixelColor(100, 100), QColor(0x20, 0x60, 0xc0));
        QCOMPARE(looked->pixelColor(100, 4000).alpha(), 0);
    }

    void aDecoderKilledMidDecodeCostsThatPictureOnly() {
        const auto decoder = installDecoder(std::chrono::seconds(60), std::chrono::seconds(120));
        const QByteArray drawing = slowDrawing();
        LogCapture log;
        QFuture<std::optional<QImage>> slow =
            QtConcurrent::run([decoder, drawing] { return decoder->decode(drawing); });
        QVERIFY2(TaskRunner::waitUntil([&] {
                     const QList<qint64> busy = decoder->busyDecoders();
                     return !busy.isEmpty() && busy.first() > 0;
                 }),
                 "no decoder took the drawing");
        // Killed from outside, it is tried once more on a fresh decoder: killed again, it is given
        // up.
        const qint64 first = decoder->busyDecoders().first();
        ::kill(static_cast<pid_t>(first), SIGKILL);
        QVERIFY2(TaskRunner::waitUntil([&] {
                     const QList<qint64> busy = decoder->busyDecoders();
                     return !busy.isEmpty() && busy.first() > 0 && busy.first() != first;
                 }),
                 "the drawing was not tried again");
        ::kill(static_cast<pid_t>(decoder->busyDecoders().first()), SIGKILL);
        QVERIFY2(TaskRunner::waitUntil([&] { return slow.isFinished(); }),
                 "the killed decode never ended");
        QVERIFY(!slow.result());
        // Given up for the kill, not run to its budget.
        QVERIFY2(
            log.contains(QStringLiteral("⚠️ [ImageDecoder] Refused a picture of %1 bytes: the "
                                        "decoder was killed from outside")
                             .arg(drawing.size())),
            qPrintable(log.lines().join(u'\n')));

        const std::optional<QImage> next = decoder->decode(ordinaryPng());
        QVERIFY(next);
        QCOMPARE(next->size(), QSize(64, 48));
        QCOMPARE(next->pixelColor(10, 10), QColor(40, 160, 90));
    }

    void aDecoderPastItsBudgetIsKilledAndTheRefusalRemembered() {
        const auto decoder =
            installDecoder(std::chrono::milliseconds(1500), std::chrono::seconds(6));
        const QByteArray drawing = slowDrawing();
        LogCapture log;
        QVERIFY(!decoder->decode(drawing));
        // The drawing keeps its decoder busy: however long a busy machine makes that take, it is
        // the CPU budget that ends it, at once, with no second try.
        QVERIFY2(log.contains(QStringLiteral("⚠️ [ImageDecoder] Refused a picture of %1 bytes: "
                                             "more than 1500 ms of CPU time")
                                  .arg(drawing.size())),
                 qPrintable(log.lines().join(u'\n')));
        QVERIFY(!log.contains(QStringLiteral("Trying a picture")));
        QVERIFY(decoder->busyDecoders().isEmpty());

        // The same bytes again, through any path, are refused without a decoder.
        const int sent = decoder->requestsSent();
        QVERIFY(ThumbnailCache::decode(true, drawing, {}, QSize(260, 96)).isNull());
        QVERIFY(!ImageAnalyzer::decodeImage(drawing));
        QVERIFY(!decoder->declaredSize(drawing));
        QCOMPARE(decoder->requestsSent(), sent);
        // Other bytes of the same length are not.
        QByteArray other = drawing;
        other.replace("2000\" height", "1999\" height");
        QCOMPARE(other.size(), drawing.size());
        QVERIFY(decoder->decode(ordinaryPng()));
        QCOMPARE(decoder->requestsSent(), sent + 1);
    }

    // A pasted photo decodes within a tight budget, but writing its 36 megapixels as the PNG the
    // paste keeps takes longer than that: the writing is the app's asking, not the picture's
    // doing, so the paste is stored.
    void aPasteIsStoredThoughWritingItOutlastsTheDecodeBudget() {
        const std::chrono::milliseconds budget(1000);
        const auto decoder = installDecoder(budget, std::chrono::seconds(12));
        const QByteArray photo = stripedPhoto(6000);
        // The CPU time the decoders of this process have spent: what the paste costs its decoder
        // is what that decoder's time grows by while the paste is under way, read until the
        // decoder answers (it may end once it has, for the memory it grew to).
        const auto decodersCpu = [] {
            QHash<qint64, qint64> spent;
            const long ticksPerSecond = sysconf(_SC_CLK_TCK);
            for (const qint64 pid : decodersOf(QCoreApplication::applicationPid())) {
                QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
                if (!stat.open(QIODevice::ReadOnly))
                    continue;
                // "pid (name) state ...": user and system time are the 14th and 15th fields.
                const QByteArray text = stat.readAll();
                const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
                if (fields.size() > 12 && ticksPerSecond > 0)
                    spent.insert(pid, (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 /
                                          ticksPerSecond);
            }
            return spent;
        };
        const QHash<qint64, qint64> before = decodersCpu();
        std::atomic<bool> answered = false;
        std::atomic<qint64> paste = 0;
        std::thread watch([&] {
            while (!answered) {
                const QHash<qint64, qint64> now = decodersCpu();
                for (auto spent = now.cbegin(); spent != now.cend(); ++spent)
                    paste = std::max<qint64>(paste, spent.value() - before.value(spent.key()));
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });

        LogCapture log;
        const std::optional<EncodedImage> pasted = PastedImageEncoder::encode({{}, photo});
        answered = true;
        watch.join();
        QVERIFY2(pasted, qPrintable(log.lines().join(u'\n')));
        QCOMPARE(pasted->mimeType, QStringLiteral("image/png"));
        // The paste did outlast the budget: its decoder spent more CPU time on it than the budget
        // allows. A machine fast enough to write it within the budget would show nothing here;
        // the picture is large enough that none is.
        qInfo("the paste took %lld ms of its decoder's CPU time", qint64(paste));
        QVERIFY2(paste > budget.count(),
                 qPrintable(QStringLiteral("the paste took %1 ms of CPU time, within the budget")
                                .arg(qint64(paste))));
        QCOMPARE(decoder->declaredSize(pasted->bytes), std::optional<QSize>(QSize(6000, 6000)));
        // Decoding alone is still held to the budget.
        QVERIFY(decoder->decodeWithin(photo, QSize(260, 96)));
    }

    // A decoder kept short of the CPU by a busy machine is slow, not stuck: its CPU time still
    // advances, so the paste it is writing is waited for, not given up (twice) once the wall
    // bound has passed.
    void aPasteIsStoredThoughABusyMachineSlowsItsDecoder() {
        IsolatedImageDecoder::Settings settings;
        settings.program = IsolatedImageDecoder::defaultProgram();
        // Six seconds of standstill are no answer, while reading the picture and while writing it.
        settings.limits.wall = std::chrono::seconds(6);
        settings.limits.encoding = std::chrono::milliseconds(0);
        settings.limits.cpu = std::chrono::seconds(60);
        settings.limits.ceiling = std::chrono::minutes(10);
        const auto decoder = std::make_shared<IsolatedImageDecoder>(settings);
        IsolatedImageDecoder::install(decoder);
        // Large enough that even written quickly it outlasts the wall bound, starved.
        const QByteArray photo = stripedPhoto(6000);
        QVERIFY(decoder->decode(ordinaryPng()));
        const QList<qint64> waiting = decoder->idleDecoders();
        QVERIFY(!waiting.isEmpty());

        const int sent = decoder->requestsSent();
        LogCapture log;
        QElapsedTimer timer;
        std::optional<EncodedImage> pasted;
        {
            const StarvedDecoders starved(decoder);
            QVERIFY(starved.wasStarved(waiting.first()));
            timer.start();
            pasted = PastedImageEncoder::encode({{}, photo});
        }
        const qint64 spent = timer.elapsed();
        qInfo("The starved decoder answered in %lld ms", spent);
        QVERIFY2(pasted, qPrintable(log.lines().join(u'\n')));
        QCOMPARE(pasted->mimeType, QStringLiteral("image/png"));
        QVERIFY2(!log.contains(QStringLiteral("[ImageDecoder]")),
                 qPrintable(log.lines().join(u'\n')));
        // Its size is asked for, then its file.
        QCOMPARE(decoder->requestsSent(), sent + 2);
        // The starved decoder took longer than its wall bound: the bound was put to the test.
        QVERIFY2(spent > 6000, qPrintable(QString::number(spent)));
        QCOMPARE(decoder->declaredSize(pasted->bytes), std::optional<QSize>(QSize(6000, 6000)));
    }

    // A decoder stopped from outside spends no CPU: the picture is not its doing. It is decoded
    // on a fresh decoder as soon as the stop is seen, not when the wall budget runs out, and
    // its bytes are decoded again once the stopped one goes on.
    void aStoppedDecoderIsReplacedAndThePictureDecoded() {
        const auto decoder = installDecoder(std::chrono::seconds(4), std::chrono::seconds(30));
        QVERIFY(decoder->decode(ordinaryPng(Qt::blue)));
        const QList<qint64> idle = decoder->idleDecoders();
        QVERIFY(!idle.isEmpty());
        for (const qint64 pid : idle)
            QCOMPARE(::kill(static_cast<pid_t>(pid), SIGSTOP), 0);
        const QByteArray picture = ordinaryPng(QColor(10, 120, 200));
        LogCapture log;
        const std::optional<QImage> decoded = decoder->decode(picture);
        QVERIFY2(decoded, qPrintable(log.lines().join(u'\n')));
        QCOMPARE(decoded->pixelColor(5, 5), QColor(10, 120, 200));
        QVERIFY(log.contains(QStringLiteral("Trying a picture of %1 bytes again on a fresh "
                                            "decoder: the decoder was stopped from outside")
                                 .arg(picture.size())));
        QVERIFY(!log.contains(QStringLiteral("Refused")));
        for (const qint64 pid : idle)
            ::kill(static_cast<pid_t>(pid), SIGCONT);
        const int sent = decoder->requestsSent();
        QVERIFY(decoder->decode(picture));
        QCOMPARE(decoder->requestsSent(), sent + 1);
    }

    // A decoder killed from outside, as the out-of-memory killer would, in the middle of a large
    // picture: the picture is decoded on a fresh decoder, and its bytes are not refused after.
    void aDecoderKilledFromOutsideIsReplacedAndThePictureDecoded() {
        const auto decoder = installDecoder(std::chrono::seconds(60), std::chrono::seconds(120));
        QImage noise(2400, 2400, QImage::Format_RGB32);
        quint32 seed = 7;
        for (int y = 0; y < noise.height(); ++y) {
            auto* row = reinterpret_cast<quint32*>(noise.scanLine(y));
            for (int x = 0; x < noise.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                row[x] = 0xff000000u | (seed >> 8);
            }
        }
        const QByteArray large = encoded(noise, "PNG");
        QVERIFY2(large.size() > 10 * 1024 * 1024, qPrintable(QString::number(large.size())));
        std::atomic<qint64> killed = 0;
        std::atomic<bool> done = false;
        std::thread killer([&] {
            while (!done) {
                const QList<qint64> busy = decoder->busyDecoders();
                if (!busy.isEmpty() && busy.first() > 0) {
                    killed = busy.first();
                    ::kill(static_cast<pid_t>(killed), SIGKILL);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        LogCapture log;
        const std::optional<QImage> decoded = decoder->decodeWithin(large, QSize(1200, 1200));
        done = true;
        killer.join();
        QVERIFY(killed > 0);
        QVERIFY2(decoded, qPrintable(log.lines().join(u'\n')));
        QCOMPARE(decoded->size(), QSize(1200, 1200));
        QVERIFY(log.contains(QStringLiteral("Trying a picture of %1 bytes again on a fresh "
                                            "decoder")
                                 .arg(large.size())));
        QVERIFY(!log.contains(QStringLiteral("Refused")));
        const int sent = decoder->requestsSent();
        QVERIFY(decoder->decodeWithin(large, QSize(100, 100)));
        QCOMPARE(decoder->requestsSent(), sent + 1);
    }

    void aSilentOrBabblingDecoderIsARefusal() {
        QTemporaryDir folder;
        const auto silent =
            installDecoder(std::chrono::seconds(1), std::chrono::seconds(2), silentProgram(folder));
        QElapsedTimer timer;
        timer.start();
        // A decoder that spends no CPU is not the picture's doing: tried once more on a fresh
        // one, and given up for now when that one is as silent, never for the session.
        LogCapture log;
        QVERIFY(!silent->decode(ordinaryPng()));
        // Each waited for its wall bound of standstill, not for the ceiling.
        QVERIFY2(timer.elapsed() >= 4000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(log.contains(
            QStringLiteral("Trying a picture of %1 bytes again on a fresh decoder: no answer "
                           "within 2000 ms")
                .arg(ordinaryPng().size())));
        QVERIFY(log.contains(QStringLiteral("Refused a picture of %1 bytes: no answer within "
                                            "2000 ms")
                                 .arg(ordinaryPng().size())));
        const int sent = silent->requestsSent();
        QVERIFY(!silent->decode(ordinaryPng()));
        QCOMPARE(silent->requestsSent(), sent + 2);
        // cat gives every request back as its answer.
        const auto babbling = installDecoder(std::chrono::seconds(1), std::chrono::seconds(5),
                                             QStringLiteral("/bin/cat"));
        QVERIFY(!babbling->decode(ordinaryPng(Qt::red)));
        QVERIFY(!babbling->declaredSize(ordinaryPng(Qt::blue)));
        QVERIFY(babbling->busyDecoders().isEmpty());
    }

    // Each hostile file, pasted or shown as a thumbnail, is answered within the decoder's budget:
    // refused by the decoder, or its decoder ended by the CPU budget or the memory bound, never
    // waited for until the wall bound or the ceiling, however long a busy machine makes it take.
    // The decoder's memory stays within its bound (give or take what a decoder can take between
    // two looks at it, 20 ms apart).
    void hostileFilesAreAnsweredWithinTheBudget() {
        const auto decoder = installDecoder(std::chrono::seconds(2), std::chrono::seconds(6));
        const QSize jpegSize(64, 64);
        const QList<std::pair<const char*, QByteArray>> files = {
            {"elements by entity", HostileImageFiles::svgOfEntityMultipliedPaths(2000, 222)},
            {"many spans", HostileImageFiles::svgzOfManyTspans(400000)},
            {"many attributes", HostileImageFiles::svgWithManyAttributes(100000)},
            {"dashes", HostileImageFiles::svgzOfDashedPaths(111000)},
            {"wide dashed curves", slowDrawing()},
            {"empty comment",
             HostileImageFiles::jpegWithEmptyCommentAfterFirstScan(jpegSize, 10900)},
            {"stuffed zeros", HostileImageFiles::jpegWithScansBehindStuffedZeros(jpegSize, 2000)},
        };
        for (const auto& [name, bytes] : files) {
            LogCapture log;
            const std::optional<EncodedImage> pasted = PastedImageEncoder::encode({{}, bytes});
            const QImage thumbnail = ThumbnailCache::decode(true, bytes, {}, QSize(260, 96));
            QVERIFY2(!log.contains(QStringLiteral("no answer within")) &&
                         !log.contains(QStringLiteral("Trying a picture")),
                     qPrintable(QLatin1String(name) + u'\n' + log.lines().join(u'\n')));
            // Each is refused: the paste keeps nothing, the card shows its placeholder.
            QVERIFY2(!pasted && thumbnail.isNull(), name);
        }
        QVERIFY2(decoder->peakDecoderBytes() > 0, "no decoder's memory was read");
        QVERIFY2(decoder->peakDecoderBytes() <= (1024 + 64) * 1024 * 1024,
                 qPrintable(QString::number(decoder->peakDecoderBytes() >> 20)));
    }

    // Decoders are started by whichever worker needs one first, and the pool lets idle workers
    // go: a decoder lives on after the worker that started it, idle or at another's picture.
    void aDecoderOutlivesTheWorkerThatStartedIt() {
        const DecoderProtocol::Request request{DecoderProtocol::Ask::decode, QSize(),
                                               ImageDecoder::maxDecodedBytes, ordinaryPng()};
        std::unique_ptr<DecoderProcess> process;
        DecoderProcess::Outcome first;
        std::thread worker([&] {
            process =
                DecoderProcess::start(IsolatedImageDecoder::defaultProgram(), 1024LL * 1024 * 1024);
            // Once it answers, the decoder is past everything it does as it starts.
            if (process)
                first = process->exchange(request, {});
        });
        worker.join();
        QVERIFY(process);
        QVERIFY(first.kind == DecoderProcess::Outcome::Kind::answered);
        const DecoderProcess::Outcome later = process->exchange(request, {});
        QVERIFY2(later.kind == DecoderProcess::Outcome::Kind::answered, qPrintable(later.failure));
        QVERIFY(later.image && first.image);
        QCOMPARE(later.image->size(), first.image->size());
    }

    void theDecoderOpensNoFileOnceReady() {
        QProcess process;
        process.start(IsolatedImageDecoder::defaultProgram(), {QStringLiteral("--check-lockdown")});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(process.readAllStandardError().contains("files forbidden"));
    }

    // Code a picture smuggled into a decoder finds a process that may use its memory, its socket,
    // time, threads of its own and signals to itself, and nothing more: not from the main thread,
    // not from a thread that was running before the walls went up. This test process is the
    // decoder's parent, whose descriptors and life are what an escape would be after.
    void theDecoderReachesNothingBeyondItselfOnceReady() {
        QProcess process;
        process.start(IsolatedImageDecoder::defaultProgram(), {QStringLiteral("--check-lockdown")});
        QVERIFY(process.waitForFinished(60000));
        const QByteArray said = process.readAllStandardError();
        const QList<QByteArray> lines = said.split('\n');
        for (const char* expected :
             {"files forbidden", "opening a file from a thread started earlier: refused",
              "io_uring_setup: refused", "fork: refused", "kill of the parent: refused",
              "pidfd_getfd on the parent: refused", "starting a thread: allowed",
              "a signal to itself: allowed"}) {
            QVERIFY2(lines.contains(expected),
                     qPrintable(QStringLiteral("\"%1\" not in:\n%2")
                                    .arg(QString::fromUtf8(expected), QString::fromUtf8(said))));
        }
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    // Eight pastes of a 164-byte drawing that asks for 10⁶ × 10⁶, and eight of a 48-megapixel
    // photo, all at once: the app holds the files it keeps, not their pixels, and the decoders
    // together stay within their budget.
    void largePastesStayWithinTheMemoryBudgets() {
        const auto decoder = installDecoder(std::chrono::seconds(20), std::chrono::seconds(60));
        QList<QByteArray> photos;
        {
            QImage image(8000, 6000, QImage::Format_RGB888);
            QPainter painter(&image);
            QLinearGradient gradient(0, 0, 8000, 6000);
            gradient.setColorAt(0, QColor(30, 90, 160));
            gradient.setColorAt(1, QColor(230, 180, 60));
            painter.fillRect(image.rect(), gradient);
            for (int paste = 0; paste < 8; ++paste) {
                painter.fillRect(QRect(100 + paste * 400, 100, 300, 300),
                                 QColor(paste * 30, 20, 0));
                photos.append(encoded(image, "JPEG", 10));
            }
        }
        IntakeFixture h;
        const auto drawing = [](int paste) {
            return QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1000000\" "
                              "height=\"1000000\"><rect x=\"0\" y=\"0\" width=\"500000\" "
                              "height=\"500000\" fill=\"#") +
                   QByteArray::number(100000 + paste) + "\" stroke=\"none\"/></svg>\n\n\n\n\n\n";
        };
        QCOMPARE(drawing(0).size(), 164);
        // The peak so far is forgotten: what the pastes add is measured from here.
        {
            QFile clear(QStringLiteral("/proc/self/clear_refs"));
            QVERIFY(clear.open(QIODevice::WriteOnly));
            clear.write("5");
        }
        const qint64 pid = QCoreApplication::applicationPid();
        const qint64 before = peakMemory(pid);
        QVERIFY(before > 0);
        DecoderMemoryWatch watch(QCoreApplication::applicationPid());
        QList<std::shared_ptr<TaskRunner::Settled<void>>> pastes;
        for (int paste = 0; paste < 8; ++paste) {
            std::unique_ptr<QMimeData> data(
                imageOnClipboard(drawing(paste), QStringLiteral("image/svg+xml")));
            pastes.append(TaskRunner::settle(h.intake->pasteFromPasteboard(*data)));
        }
        for (const QByteArray& photo : photos) {
            std::unique_ptr<QMimeData> data(imageOnClipboard(photo, QStringLiteral("image/jpeg")));
            pastes.append(TaskRunner::settle(h.intake->pasteFromPasteboard(*data)));
        }
        for (const auto& paste : pastes)
            TaskRunner::result(paste, 600000);
        const qint64 decoders = watch.stop();
        const qint64 grown = peakMemory(pid) - before;
        qInfo("The app's peak grew by %lld MB; the decoders held %lld MB together", grown >> 20,
              decoders >> 20);
        QCOMPARE(h.kippet->items().size(), 16);
        for (const KippetItem& item : h.kippet->items())
            QCOMPARE(item.type, KippetItemType::image);
        QVERIFY2(grown <= 150LL * 1024 * 1024,
                 qPrintable(QStringLiteral("the app's peak grew by %1 MB").arg(grown >> 20)));
        QVERIFY2(decoders > 0, "no decoder was seen");
        QVERIFY2(decoders < 1536LL * 1024 * 1024,
                 qPrintable(QStringLiteral("the decoders held %1 MB").arg(decoders >> 20)));
        QCOMPARE(decoder->pixels().held(), qint64(0));
    }

    void anOrdinaryPasteAfterEightHostileOnesIsStoredAtOnce() {
        installDecoder(std::chrono::seconds(3), std::chrono::seconds(9), {}, 9);
        IntakeFixture h;
        QList<std::shared_ptr<TaskRunner::Settled<void>>> hostile;
        for (int paste = 0; paste < 8; ++paste) {
            std::unique_ptr<QMimeData> data(
                imageOnClipboard(slowDrawing(200 + paste), QStringLiteral("image/svg+xml")));
            hostile.append(TaskRunner::settle(h.intake->pasteFromPasteboard(*data)));
        }
        QVERIFY2(TaskRunner::waitUntil(
                     [&] { return IsolatedImageDecoder::shared()->busyDecoders().size() == 8; }),
                 "the eight drawings were not all taken");
        std::unique_ptr<QMimeData> ordinary(
            imageOnClipboard(ordinaryPng(), QStringLiteral("image/png")));
        const auto pasted = TaskRunner::settle(h.intake->pasteFromPasteboard(*ordinary));
        QVERIFY2(TaskRunner::waitUntil([&] { return h.kippet->items().size() == 1; }, 120000),
                 "the ordinary paste was never stored");
        // Stored while the drawings still held their decoders: none of them held it up.
        QVERIFY2(std::any_of(hostile.begin(), hostile.end(),
                             [](const auto& paste) { return !paste->done; }),
                 "the ordinary paste waited for the drawings");
        QCOMPARE(h.kippet->items().first().type, KippetItemType::image);
        TaskRunner::result(pasted);
        for (const auto& paste : hostile)
            TaskRunner::result(paste, 600000);
        // The drawings were refused; nothing was stored for them.
        QCOMPARE(h.kippet->items().size(), 1);
    }
};

QTEST_MAIN(IsolatedImageDecoderTest)
#include "IsolatedImageDecoderTest.moc"
