#include "analysis/ImageDecoder.h"
#include "IntakeHarness.h"
#include "analysis/HeuristicAnalyzer.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/ImageStructure.h"
#include "support/TaskRunner.h"

#include <QBuffer>
#include <QMimeData>
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

    // A chunk, block, box, segment or offset that reaches past the end of the bytes: the reader
    // would reserve what it claims before finding the file shorter.
    void framingPastTheEndIsNeverDecoded_data() {
        QTest::addColumn<QByteArray>("intact");
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<QByteArray>("format");
        const QByteArray png = encoded("PNG");
        QTest::newRow("PNG chunk")
            << png << png.left(33) + QByteArray("\x3b\x9a\xca\x00tEXtabc", 11) << QByteArray("png");
        const QByteArray jpeg = encoded("JPEG");
        QTest::newRow("JPEG segment") << jpeg << jpeg.left(30) << QByteArray("jpeg");
        QTest::newRow("GIF block") << gif << gif.left(gif.size() - 3) << QByteArray("gif");
        const QByteArray webp = encoded("WEBP");
        QTest::newRow("WebP RIFF") << webp << webp.left(webp.size() - 10) << QByteArray("webp");
        const QByteArray bmp = encoded("BMP");
        QTest::newRow("BMP header")
            << bmp << bmp.left(14) + QByteArray("\xff\xff\xff\x7f", 4) + bmp.mid(18)
            << QByteArray("bmp");
        const QByteArray tiff = encoded("TIFF");
        QByteArray farDirectory = tiff;
        farDirectory.replace(4, 4, QByteArray("\x40\x00\x00\x40", 4)); // 1 GiB on, either order
        QTest::newRow("TIFF offset") << tiff << farDirectory << QByteArray("tiff");
        const QByteArray heif = QByteArray("\0\0\0\x18"
                                           "ftypheic\0\0\0\0mif1heic",
                                           24) +
                                QByteArray("\0\0\0\x14"
                                           "meta\0\0\0\0\0\0\0\x08"
                                           "hdlr",
                                           20);
        QTest::newRow("HEIF box") << heif << heif.left(heif.size() - 4) << QByteArray("heic");
    }
    void framingPastTheEndIsNeverDecoded() {
        QFETCH(QByteArray, intact);
        QFETCH(QByteArray, damaged);
        QFETCH(QByteArray, format);
        QVERIFY(ImageStructure::fitsItsBytes(intact, format));
        QVERIFY(!ImageStructure::fitsItsBytes(damaged, format));
        QVERIFY(!ImageDecoder::decode(damaged));
        QVERIFY(!ImageDecoder::declaredSize(damaged));
        QVERIFY(!ImageDecoder::decodeCovering(damaged, QSize(10, 10)));
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
        IntakeHarness h;
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
