#include "analysis/ImageDecoder.h"
#include "analysis/AIService.h"
#include "analysis/HeuristicAnalyzer.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/ImageStructure.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/Compressed.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

// Image bytes are decoded only by the formats the intake takes, chosen by their signature, and
// only after the size their header declares has passed. Drawings are rendered at the size asked
// for; a gzip-compressed SVG that inflates to a gigabyte is refused within bounded memory.
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

// A red drawing 40 × 20 with a blue square in its top-left corner.
const QByteArray drawing = "<?xml version=\"1.0\"?>\n<!-- made by hand -->\n"
                           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"20\">"
                           "<rect width=\"40\" height=\"20\" fill=\"#ff0000\"/>"
                           "<rect width=\"10\" height=\"10\" fill=\"#0000ff\"/></svg>";

void putLittleEndian(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// One icon file holding a small green picture, then a larger blue one, as favicons come: the
// directory of the two files Qt writes, their pictures after it.
QByteArray twoSizedIcon() {
    const QByteArray small = TestFiles::encodedImage(QSize(16, 16), Qt::green, "ICO");
    const QByteArray large = TestFiles::encodedImage(QSize(48, 48), Qt::blue, "ICO");
    constexpr qsizetype header = 6, entry = 16;
    QByteArray icon = small.left(header);
    icon[4] = 2;
    QByteArray entries = small.mid(header, entry) + large.mid(header, entry);
    const QByteArray smallPicture = small.mid(header + entry);
    const QByteArray largePicture = large.mid(header + entry);
    putLittleEndian(entries, 12, quint32(header + 2 * entry));
    putLittleEndian(entries, entry + 12, quint32(header + 2 * entry + smallPicture.size()));
    return icon + entries + smallPicture + largePicture;
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
        const QByteArray icon = TestFiles::encodedImage(QSize(32, 32), Qt::magenta, "ICO");
        QByteArray farPicture = icon;
        farPicture.replace(18, 4, QByteArray("\xff\xff\xff\x7f", 4)); // its picture 2 GiB on
        QTest::newRow("ICO entry") << icon << farPicture << QByteArray("ico");
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

    void drawingsAreRenderedAtTheSizeAskedFor() {
        const QByteArray compressed = Compressed::gzipped(drawing);
        QCOMPARE(ImageDecoder::formatOf(drawing), std::optional<QByteArray>("svg"));
        QCOMPARE(ImageDecoder::formatOf(compressed), std::optional<QByteArray>("svgz"));
        for (const QByteArray& bytes : {drawing, compressed}) {
            QCOMPARE(ImageDecoder::declaredSize(bytes), std::optional<QSize>(QSize(40, 20)));
            const std::optional<QImage> own = ImageDecoder::decode(bytes);
            QVERIFY(own);
            QCOMPARE(own->size(), QSize(40, 20));
            QCOMPARE(own->pixelColor(30, 15), QColor(Qt::red));
            QCOMPARE(own->pixelColor(2, 2), QColor(Qt::blue));
            // For a card, drawn large enough to cover it rather than blown up from 40 × 20.
            const std::optional<QImage> card = ImageDecoder::decodeCovering(bytes, QSize(260, 96));
            QVERIFY(card);
            QCOMPARE(card->size(), QSize(260, 130));
            QCOMPARE(card->pixelColor(60, 60), QColor(Qt::blue));
            QCOMPARE(card->pixelColor(70, 60), QColor(Qt::red));
            // A drawing asked for beyond the limit is drawn smaller, not refused.
            const std::optional<QImage> bounded = ImageDecoder::decode(bytes, 20 * 10 * 4);
            QVERIFY(bounded && bounded->width() * bounded->height() <= 200);
        }
        // Text that is not a drawing, and a drawing the renderer cannot read.
        QVERIFY(!ImageDecoder::formatOf("<html><body>hello</body></html>"));
        QVERIFY(!ImageDecoder::decode("<svg width=\"4\" height=\"4\"><rect"));
    }

    void iconsGiveTheirLargestPicture() {
        const QByteArray single = TestFiles::encodedImage(QSize(32, 32), Qt::magenta, "ICO");
        QCOMPARE(ImageDecoder::formatOf(single), std::optional<QByteArray>("ico"));
        const std::optional<QImage> image = ImageDecoder::decode(single);
        QVERIFY(image);
        QCOMPARE(image->size(), QSize(32, 32));
        QCOMPARE(image->pixelColor(16, 16), QColor(Qt::magenta));

        const QByteArray both = twoSizedIcon();
        QCOMPARE(ImageDecoder::declaredSize(both), std::optional<QSize>(QSize(48, 48)));
        const std::optional<QImage> largest = ImageDecoder::decodeCovering(both, QSize(24, 24));
        QVERIFY(largest);
        QCOMPARE(largest->pixelColor(5, 5), QColor(Qt::blue));
        // Unless the limit leaves only the smaller one.
        const std::optional<QImage> small = ImageDecoder::decode(both, 16 * 16 * 4);
        QVERIFY(small);
        QCOMPARE(small->size(), QSize(16, 16));
        QCOMPARE(small->pixelColor(5, 5), QColor(Qt::green));
    }

    void otherBytesAreNeverDecoded() {
        QVERIFY(!ImageDecoder::formatOf(bomb()));
        QVERIFY(!ImageDecoder::decode(bomb()));
        QVERIFY(!ImageDecoder::decodeCovering(bomb(), QSize(260, 96)));
        QVERIFY(!ImageDecoder::declaredSize(bomb()));
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
