#include "analysis/ImageDecoder.h"
#include "analysis/AIService.h"
#include "analysis/HeuristicAnalyzer.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

// Image bytes are decoded only by the formats the intake takes, chosen by their signature, and
// only after the size their header declares has passed. Anything else, a gzip-compressed SVG
// that inflates to a gigabyte above all, is refused without being looked into.
namespace {
constexpr qint64 mebibyte = 1024 * 1024;

QByteArray bomb() {
    QFile file(QStringLiteral(KIPPETS_TESTS_DIR "/analysis/images/bomb.svgz"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray encoded(const char* format, QSize size = QSize(40, 30)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 60, 20));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode a test image");
    return bytes;
}

// Qt has no GIF writer: a real 1 x 1 GIF, byte for byte.
const QByteArray gif =
    QByteArray::fromBase64("R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==");

// The most memory this process has held so far, as the kernel counts it.
qint64 peakResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

KippetItem imageItem(const QByteArray& bytes, const QString& name) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::image;
    item.content = bytes;
    item.metadata.name = name;
    item.metadata.mimeType = QStringLiteral("image/png");
    return item;
}
} // namespace

class ImageDecoderTest : public QObject {
    Q_OBJECT
private slots:
    void theFormatsTheIntakeTakesStillDecode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("PNG") << encoded("PNG") << QByteArray("png") << QSize(40, 30);
        QTest::newRow("JPEG") << encoded("JPEG") << QByteArray("jpeg") << QSize(40, 30);
        QTest::newRow("GIF") << gif << QByteArray("gif") << QSize(1, 1);
        QTest::newRow("WebP") << encoded("WEBP") << QByteArray("webp") << QSize(40, 30);
        QTest::newRow("BMP") << encoded("BMP") << QByteArray("bmp") << QSize(40, 30);
        QTest::newRow("TIFF") << encoded("TIFF") << QByteArray("tiff") << QSize(40, 30);
    }
    void theFormatsTheIntakeTakesStillDecode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QCOMPARE(ImageDecoder::formatOf(bytes), std::optional<QByteArray>(format));
        QCOMPARE(ImageDecoder::declaredSize(bytes), std::optional<QSize>(size));
        const std::optional<QImage> image = ImageDecoder::decode(bytes);
        QVERIFY(image);
        QCOMPARE(image->size(), size);
        QCOMPARE(ImageAnalyzer::decodeImage(bytes)->size(), size);
    }

    void otherBytesAreNeverDecoded() {
        QVERIFY(!ImageDecoder::formatOf(bomb()));
        QVERIFY(!ImageDecoder::decode(bomb()));
        const QByteArray svg =
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\"/>";
        QVERIFY(!ImageDecoder::decode(svg));
        QVERIFY(!ImageDecoder::decode(QByteArray()));
        QVERIFY(!ImageDecoder::decode(encoded("PNG").left(30))); // cut inside the picture
        // A header that declares more pixels than the limit is refused before decoding.
        QVERIFY(!ImageDecoder::decode(encoded("PNG", QSize(200, 200)), 200 * 200 * 4 - 1));
        QVERIFY(ImageDecoder::decode(encoded("PNG", QSize(200, 200)), 200 * 200 * 4));
    }

    void aCompressedSvgBombIsRefusedInBoundedMemory() {
        const QByteArray bytes = bomb();
        QVERIFY(bytes.size() > 1000000 && bytes.size() < 2 * mebibyte);
        const qint64 peakBefore = peakResidentBytes();

        // Analysed as an image: refused as invalid content, the classifier answers instead.
        ImageAnalyzer images;
        const auto refused = TaskRunner::failure<AIServiceError>(
            images.analyze(imageItem(bytes, QStringLiteral("bomb.png")), {}));
        QVERIFY(refused);
        QCOMPARE(refused->errorCase(), AIServiceError::Case::invalidContent);
        AIService service;
        service.setInjectedProviders(AIService::Chain{std::make_shared<ImageAnalyzer>(),
                                                      std::make_shared<HeuristicAnalyzer>()});
        const ContentAnalysis fallback = TaskRunner::finish(
            service.analyzeContent(imageItem(bytes, QStringLiteral("bomb.svgz")), {}));
        QCOMPARE(fallback, heuristicAnalysis(imageItem(bytes, QStringLiteral("bomb.svgz"))));

        QVERIFY2(peakResidentBytes() - peakBefore < 64 * mebibyte,
                 qPrintable(QString::number(peakResidentBytes() - peakBefore)));
    }

    void aBombDroppedAsAFileOrPastedIsKeptButNeverInflated() {
        IntakeFixture h;
        AIService::shared().setInjectedProviders(AIService::Chain{
            std::make_shared<ImageAnalyzer>(), std::make_shared<HeuristicAnalyzer>()});
        const QString svgz = h.writeFile(QStringLiteral("bomb.svgz"), bomb());
        const QString renamed = h.writeFile(QStringLiteral("bomb.png"), bomb() + "renamed");
        const qint64 peakBefore = peakResidentBytes();
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(svgz), QUrl::fromLocalFile(renamed)});
        TaskRunner::finish(h.intake->handleDrop(files));
        QCOMPARE(h.kippet->items().size(), 2);
        for (const KippetItem& item : h.kippet->items()) {
            QCOMPARE(item.type, KippetItemType::image);
            QVERIFY(!item.isProcessing); // analysed, by the classifier
            QCOMPARE(item.category, heuristicAnalysis(item).category);
        }

        // Pasted as image bytes, it is no image: the paste takes the text beside it.
        QMimeData clipboard;
        clipboard.setData(QStringLiteral("image/png"), bomb());
        clipboard.setData(QStringLiteral("image/svg+xml-compressed"), bomb());
        clipboard.setText(QStringLiteral("caption"));
        TaskRunner::finish(h.intake->pasteFromPasteboard(clipboard));
        QCOMPARE(h.kippet->items().size(), 3);
        QCOMPARE(h.kippet->items().last().type, KippetItemType::text);

        QVERIFY2(peakResidentBytes() - peakBefore < 64 * mebibyte,
                 qPrintable(QString::number(peakResidentBytes() - peakBefore)));
    }
};

QTEST_MAIN(ImageDecoderTest)
#include "ImageDecoderTest.moc"
