#include "analysis/ImageDecoder.h"
#include "analysis/ImageStructure.h"
#include "analysis/KippetIntake.h"
#include "analysis/SvgSanitizer.h"
#include "model/Kippet.h"
#include "support/Compressed.h"
#include "support/HostileImageFiles.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

// Images made to hurt whoever decodes them: drawings that name local files, pipes and drawings
// inside drawings, and JPEGs of thousands of scans. The decoder, the thumbnails and a paste
// into a kippet meet them all; none reads a file, blocks a thread or outgrows its memory bound.
namespace {
constexpr qint64 mebibyte = 1024 * 1024;
const QColor green(0, 255, 0);

// A figure of /proc/self/status, in bytes.
qint64 statusBytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// How far the memory this process holds rises above what it holds now while `work` runs: the
// kernel's high-water mark is brought down to the present first.
template <typename Work> qint64 peakGrowth(Work work) {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        qFatal("cannot reset the peak of resident memory");
    clear.close();
    const qint64 before = statusBytes("VmRSS:");
    work();
    return statusBytes("VmHWM:") - before;
}

QByteArray drawing(const QByteArray& body, QSize size = QSize(64, 64)) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" +
           QByteArray::number(size.width()) + "\" height=\"" + QByteArray::number(size.height()) +
           "\">" + body + "</svg>";
}

QByteArray imageElement(const QByteArray& reference, QSize size = QSize(64, 64),
                        const char* attribute = "xlink:href") {
    return "<image x=\"0\" y=\"0\" width=\"" + QByteArray::number(size.width()) + "\" height=\"" +
           QByteArray::number(size.height()) + "\" " + attribute + "=\"" + reference + "\"/>";
}

QByteArray dataUrl(const char* type, const QByteArray& bytes) {
    return QByteArray("data:") + type + ";base64," + bytes.toBase64();
}

// A red drawing with an image over all of it.
QByteArray redUnder(const QByteArray& reference, const char* attribute = "xlink:href") {
    return drawing("<rect width=\"64\" height=\"64\" fill=\"#ff0000\"/>" +
                   imageElement(reference, QSize(64, 64), attribute));
}

// The drawing as Qt's own reader renders it, unguarded.
QImage unguarded(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    return reader.read();
}

int pixelsOf(const QImage& image, const QColor& colour) {
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            count += QColor(pixels.pixel(x, y)) == colour;
    return count;
}

// Three levels: the drawing the user has, holding a compressed drawing, holding another that
// inflates to 120 MiB of comment. A few kilobytes in all; Qt's renderer inflates each level it
// meets whole, with no limit.
QByteArray nestedDrawings(const char* type) {
    const QByteArray innermost = Compressed::deflated(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\"><!--", " ",
        120 * mebibyte);
    const QByteArray middle = Compressed::gzipped(
        drawing(imageElement(dataUrl(type, innermost), QSize(8, 8)), QSize(8, 8)));
    return redUnder(dataUrl(type, middle));
}

// A PNG whose header declares `size` and whose pixels are one colour; deflate makes a few
// kilobytes of it however large it is.
QByteArray largePng(QSize size) {
    return TestFiles::encodedImage(size, Qt::blue, "PNG");
}

// The bytes decoded on a worker, with the guard it was given to end: a decoder blocked in a
// pipe's open() never ends, so the pipe is then opened from this end to let it go.
struct Outcome {
    bool ended = false;
    std::optional<QImage> image;
};
Outcome decodeOnWorker(const QByteArray& bytes, const QString& fifo) {
    QFuture<std::optional<QImage>> future =
        QtConcurrent::run([bytes] { return ImageDecoder::decodeCovering(bytes, QSize(240, 240)); });
    Outcome outcome;
    outcome.ended = TaskRunner::waitUntil([&future] { return future.isFinished(); });
    if (!outcome.ended) {
        const int end = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (end >= 0)
            ::close(end);
    }
    future.waitForFinished();
    outcome.image = future.result();
    return outcome;
}

// The item a paste of `bytes` as `mimeType` left in the kippet, beside the text "caption".
KippetItem pasted(IntakeFixture& h, const QString& mimeType, const QByteArray& bytes,
                  bool* ended = nullptr, const QString& fifo = {}) {
    QMimeData clipboard;
    clipboard.setData(mimeType, bytes);
    clipboard.setText(QStringLiteral("caption"));
    const qsizetype before = h.kippet->items().size();
    const auto settled = TaskRunner::settle(h.intake->pasteFromPasteboard(clipboard));
    const bool done = TaskRunner::waitUntil([&settled] { return settled->done; });
    if (ended)
        *ended = done;
    if (!done) {
        const int end = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (end >= 0)
            ::close(end);
        TaskRunner::result(settled, 120000);
    }
    if (h.kippet->items().size() != before + 1)
        return KippetItem();
    return h.kippet->items().last();
}
} // namespace

class HostileImagesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    // A green picture on disk, named by a drawing: by its absolute path, by a path relative to
    // the working folder, with or without the link namespace. Nothing of it is drawn, pasted or
    // stored; the drawing around it still is.
    void aDrawingNeverReadsTheFilesItNames() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString picture = folder.filePath(QStringLiteral("green.png"));
        QFile file(picture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TestFiles::encodedImage(QSize(64, 64), green, "PNG"));
        file.close();
        const QString previousFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder.path()));

        const QList<QByteArray> shapes = {
            redUnder(QFile::encodeName(picture)),
            redUnder("green.png"),
            redUnder("./green.png", "href"),
            redUnder("  " + QFile::encodeName(picture)),
            // A reference that begins like a data URL but is a file name to Qt's renderer.
            redUnder("data.png"),
        };
        // Rendered by Qt as it is, the first draws the file: the shape is right.
        QCOMPARE(pixelsOf(unguarded(shapes.first()), green), 64 * 64);

        IntakeFixture h;
        for (const QByteArray& shape : shapes) {
            QCOMPARE(ImageDecoder::declaredSize(shape), std::optional<QSize>(QSize(64, 64)));
            for (const std::optional<QImage>& image :
                 {ImageDecoder::decode(shape), ImageDecoder::decodeCovering(shape, QSize(96, 96)),
                  ImageDecoder::decodeCovering(Compressed::gzipped(shape), QSize(32, 32))}) {
                QVERIFY(image);
                QCOMPARE(pixelsOf(*image, green), 0);
                QCOMPARE(pixelsOf(*image, Qt::red), image->width() * image->height());
            }
            // Pasted, the drawing is stored as a PNG of what it draws without the file.
            const KippetItem item = pasted(h, QStringLiteral("image/svg+xml"), shape);
            QCOMPARE(item.type, KippetItemType::image);
            QCOMPARE(item.metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
            const QImage stored = QImage::fromData(item.content, "PNG");
            QCOMPARE(stored.size(), QSize(64, 64));
            QCOMPARE(pixelsOf(stored, green), 0);
            QCOMPARE(pixelsOf(stored, Qt::red), 64 * 64);
            testClock().advance(std::chrono::seconds(1));
        }
        QVERIFY(QDir::setCurrent(previousFolder));
    }

    // A pipe that no one writes to blocks whoever opens it for reading, for good.
    void aDrawingNamingAPipeBlocksNoThread() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString fifo = folder.filePath(QStringLiteral("pipe.png"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QByteArray shape = redUnder(QFile::encodeName(fifo));

        const Outcome outcome = decodeOnWorker(shape, fifo);
        QVERIFY(outcome.ended);
        QVERIFY(outcome.image);
        QCOMPARE(pixelsOf(*outcome.image, Qt::red),
                 outcome.image->width() * outcome.image->height());

        IntakeFixture h;
        bool ended = false;
        const KippetItem item = pasted(h, QStringLiteral("image/svg+xml"), shape, &ended, fifo);
        QVERIFY(ended);
        QCOMPARE(item.type, KippetItemType::image);
        QCOMPARE(pixelsOf(QImage::fromData(item.content, "PNG"), Qt::red), 64 * 64);
    }

    // Drawings inside drawings, compressed, inflating to 120 MiB: only raster
    // pictures are embedded, so they are left out, whatever type their URL declares. Raster
    // pictures are counted together against the limit.
    void nestedDrawingsAndLargePicturesStayWithinTheBound_data() {
        QTest::addColumn<QByteArray>("shape");
        QTest::addColumn<int>("redPixels");
        QTest::newRow("drawings declared as drawings")
            << nestedDrawings("image/svg+xml") << 64 * 64;
        QTest::newRow("drawings declared as PNG") << nestedDrawings("image/png") << 64 * 64;
        QTest::newRow("drawing text declared as PNG")
            << redUnder(dataUrl("image/png", drawing("<rect width=\"64\" height=\"64\" "
                                                     "fill=\"#0000ff\"/>")))
            << 64 * 64;
        // Eight blue pictures of 4096 x 4096, 64 MiB of pixels each: the first ones are drawn,
        // the others are left out once they would pass half the limit together.
        QByteArray pictures = "<rect width=\"64\" height=\"64\" fill=\"#ff0000\"/>";
        const QByteArray large = dataUrl("image/png", largePng(QSize(4096, 4096)));
        for (int i = 0; i < 8; ++i)
            pictures += "<image x=\"" + QByteArray::number(i * 8) +
                        "\" y=\"0\" width=\"8\" height=\"64\" xlink:href=\"" + large + "\"/>";
        QTest::newRow("large pictures") << drawing(pictures) << 64 * 64 - 64 * 8 * 2;
    }
    void nestedDrawingsAndLargePicturesStayWithinTheBound() {
        QFETCH(QByteArray, shape);
        QFETCH(int, redPixels);
        // One decode of the shape holds at most the decoder's bound.
        std::optional<QImage> image;
        const qint64 grown = peakGrowth([&] { image = ImageDecoder::decode(shape); });
        QVERIFY2(grown < ImageDecoder::maxDecodedBytes, qPrintable(QString::number(grown)));
        QVERIFY(image);
        QCOMPARE(image->size(), QSize(64, 64));
        QCOMPARE(pixelsOf(*image, Qt::red), redPixels);
        const std::optional<QImage> thumbnail =
            ImageDecoder::decodeCovering(shape, QSize(128, 128));
        QVERIFY(thumbnail);
        QCOMPARE(pixelsOf(*thumbnail, Qt::red), redPixels * 4);
        QCOMPARE(ImageDecoder::declaredSize(shape), std::optional<QSize>(QSize(64, 64)));

        IntakeFixture h;
        const KippetItem item = pasted(h, QStringLiteral("image/svg+xml"), shape);
        QCOMPARE(item.type, KippetItemType::image);
        QCOMPARE(pixelsOf(QImage::fromData(item.content, "PNG"), Qt::red), redPixels);
    }

    // An entity of 4,000 characters named 100,000 times: 300 KB that expand to 800 MB of text.
    // Refused before anything expands it; a style sheet is never imported.
    void entitiesThatExpandPastTheBoundAreRefused() {
        QByteArray shape = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"" +
                           QByteArray(4000, 'A') +
                           "\">]><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" "
                           "height=\"64\"><text>";
        for (int i = 0; i < 100000; ++i)
            shape += "&a;";
        shape += "</text></svg>";
        std::optional<QImage> image;
        const qint64 grown = peakGrowth([&] { image = ImageDecoder::decode(shape); });
        QVERIFY(!image);
        QVERIFY2(grown < 64 * mebibyte, qPrintable(QString::number(grown)));

        const QByteArray importing = drawing(
            "<style>@import url(\"https://example.org/a.css\"); rect { fill: #00ff00 }</style>"
            "<rect width=\"64\" height=\"64\" fill=\"#ff0000\"/>");
        const std::optional<QImage> drawn = ImageDecoder::decode(importing);
        QVERIFY(drawn);
        QCOMPARE(pixelsOf(*drawn, Qt::red), 64 * 64);
    }

    // What a drawing draws of itself is drawn as Qt draws it: shapes, gradients by reference,
    // reused parts, style sheets, text, entities and embedded PNG and JPEG pictures.
    void aDrawingOfItsOwnRendersAsBefore() {
        const QByteArray png = TestFiles::encodedImage(QSize(16, 16), QColor(20, 200, 220), "PNG");
        const QByteArray jpeg =
            TestFiles::encodedImage(QSize(16, 16), QColor(240, 200, 20), "JPEG");
        const QByteArray shape =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE svg [<!ENTITY ns_svg \"http://www.w3.org/2000/svg\">"
            "<!ENTITY ns_xlink \"http://www.w3.org/1999/xlink\">]>\n"
            "<!-- made by hand -->\n"
            "<svg xmlns=\"&ns_svg;\" xmlns:xlink=\"&ns_xlink;\" width=\"120\" height=\"80\">\n"
            "<style type=\"text/css\"><![CDATA[ .frame { fill: none; stroke: #333; "
            "stroke-width: 3 } ]]></style>\n"
            "<defs><linearGradient id=\"g\"><stop offset=\"0\" stop-color=\"#f80\"/>"
            "<stop offset=\"1\" stop-color=\"#08f\"/></linearGradient>"
            "<linearGradient id=\"h\" xlink:href=\"#g\" x1=\"0\" x2=\"0\" y1=\"0\" y2=\"1\"/>"
            "<circle id=\"dot\" r=\"6\" fill=\"#c0c\"/></defs>\n"
            "<rect width=\"120\" height=\"80\" fill=\"url(#g)\"/>"
            "<rect x=\"10\" y=\"10\" width=\"30\" height=\"30\" fill=\"url(#h)\"/>"
            "<rect class=\"frame\" x=\"2\" y=\"2\" width=\"116\" height=\"76\"/>"
            "<use xlink:href=\"#dot\" x=\"60\" y=\"20\"/><use xlink:href=\"#dot\" x=\"80\" "
            "y=\"20\"/>"
            "<path d=\"M 10 70\n L 50 50\n L 90 70 Z\" fill=\"#2a2\" stroke=\"#000\"/>"
            "<text x=\"50\" y=\"45\" font-size=\"12\" fill=\"#fff\">Kip &amp; pets &#x263A;</text>"
            "<image x=\"90\" y=\"40\" width=\"16\" height=\"16\" xlink:href=\"" +
            dataUrl("image/png", png) +
            "\"/>"
            "<image x=\"100\" y=\"56\" width=\"16\" height=\"16\" xlink:href=\"" +
            dataUrl("image/jpeg", jpeg) + "\"/>\n</svg>\n";

        const QImage before = unguarded(shape);
        QVERIFY(!before.isNull());
        QCOMPARE(before.pixelColor(98, 48), QColor(20, 200, 220));
        for (const QByteArray& bytes : {shape, Compressed::gzipped(shape)}) {
            const std::optional<QImage> after = ImageDecoder::decode(bytes);
            QVERIFY(after);
            QCOMPARE(after->convertToFormat(before.format()), before);
        }
    }

    // A progressive JPEG of thousands of scans is refused at its structure, as a file whose
    // segments do not fit is; those of cameras and editors, of ten or so, are decoded.
    void aJpegOfThousandsOfScansIsRefused() {
        const QSize size(512, 512);
        const QByteArray ordinary = HostileImageFiles::progressiveJpeg(size, 0);
        QVERIFY(HostileImageFiles::jpegScans(ordinary) >= 6 &&
                HostileImageFiles::jpegScans(ordinary) <= 12);
        const QByteArray many = HostileImageFiles::progressiveJpeg(size, 2000);
        QCOMPARE(HostileImageFiles::jpegScans(many), 2000);
        QCOMPARE(ImageDecoder::formatOf(many), std::optional<QByteArray>("jpeg"));
        QVERIFY(!ImageStructure::fitsItsBytes(many, "jpeg"));
        QVERIFY(!ImageDecoder::decode(many));
        QVERIFY(!ImageDecoder::decodeCovering(many, QSize(240, 240)));
        QVERIFY(!ImageDecoder::declaredSize(many));
        // Embedded in a drawing, it is left out of it.
        const std::optional<QImage> drawn =
            ImageDecoder::decode(redUnder(dataUrl("image/jpeg", many)));
        QVERIFY(drawn);
        QCOMPARE(pixelsOf(*drawn, Qt::red), 64 * 64);

        for (const QByteArray& bytes : {ordinary, HostileImageFiles::progressiveJpeg(size, 100)}) {
            QVERIFY(ImageStructure::fitsItsBytes(bytes, "jpeg"));
            const std::optional<QImage> image = ImageDecoder::decode(bytes);
            QVERIFY(image);
            QCOMPARE(image->size(), size);
        }
        QVERIFY(
            !ImageStructure::fitsItsBytes(HostileImageFiles::progressiveJpeg(size, 101), "jpeg"));

        // Pasted, it is no image: the paste takes the text beside it.
        IntakeFixture h;
        const KippetItem refused = pasted(h, QStringLiteral("image/jpeg"), many);
        QCOMPARE(refused.type, KippetItemType::text);
        QCOMPARE(refused.content, QByteArray("caption"));
        const KippetItem taken = pasted(h, QStringLiteral("image/jpeg"), ordinary);
        QCOMPARE(taken.type, KippetItemType::image);
    }

    // The two ways round the walk of a JPEG's segments: an empty comment (a length under 2)
    // after the first scan, and FF 00 pairs before it, which decoders skip and a walk taking
    // them for segments would not. Every scan behind them is counted, and each file is refused;
    // fill bytes before a marker stay as the standard has them.
    void scansHiddenFromTheWalkOfAJpegAreCounted() {
        const QSize size(64, 64);
        for (const QByteArray& hiding :
             {HostileImageFiles::jpegWithEmptyCommentAfterFirstScan(size, 10900),
              HostileImageFiles::jpegWithScansBehindStuffedZeros(size, 2000)}) {
            QCOMPARE(ImageDecoder::formatOf(hiding), std::optional<QByteArray>("jpeg"));
            QVERIFY(!ImageStructure::fitsItsBytes(hiding, "jpeg"));
            QVERIFY(!ImageDecoder::decodeCovering(hiding, QSize(240, 240)));
            QVERIFY(!ImageDecoder::declaredSize(hiding));
        }
        QByteArray filled = HostileImageFiles::progressiveJpeg(size, 0);
        filled.insert(2, "\xff\xff\xff");
        QVERIFY(ImageStructure::fitsItsBytes(filled, "jpeg"));
        const std::optional<QImage> image = ImageDecoder::decode(filled);
        QVERIFY(image);
        QCOMPARE(image->size(), size);
    }

    // Elements that entity references write over and over, and a compressed text of more
    // elements than any drawing holds, are refused before the renderer keeps kilobytes for each.
    // An entity that holds a few elements is still drawn.
    void drawingsOfCountlessElementsAreRefused() {
        const QByteArray multiplied = HostileImageFiles::svgOfEntityMultipliedPaths(2000, 222);
        std::optional<QImage> image;
        const qint64 grown = peakGrowth([&] { image = ImageDecoder::decode(multiplied); });
        QVERIFY(!image);
        QVERIFY2(grown < 64 * mebibyte, qPrintable(QString::number(grown)));
        QVERIFY(!ImageDecoder::declaredSize(multiplied));
        QVERIFY(ImageDecoder::decode(HostileImageFiles::svgOfEntityMultipliedPaths(20, 20)));

        const QByteArray spans = HostileImageFiles::svgzOfManyTspans(400000);
        QCOMPARE(ImageDecoder::formatOf(spans), std::optional<QByteArray>("svgz"));
        QVERIFY(!ImageDecoder::decodeCovering(spans, QSize(240, 240)));
        QVERIFY(!ImageDecoder::declaredSize(spans));
    }

    // The doctype's defaults are no element's own: a picture declared once as every image's
    // reference is neither drawn nor checked again for each of 2,000 images.
    void attributeDefaultsOfTheDoctypeAreLeftOut() {
        const QByteArray greenPicture = TestFiles::encodedImage(QSize(16, 16), green, "PNG");
        for (const QByteArray& picture : {greenPicture, HostileImageFiles::paddedHugePng(200000)}) {
            const std::optional<SvgSanitizer::Drawing> drawing =
                SvgSanitizer::sanitize(HostileImageFiles::svgOfDefaultedImages(2000, picture),
                                       ImageDecoder::maxDecodedBytes);
            QVERIFY(drawing);
            QVERIFY(!drawing->document.contains("base64"));
            QCOMPARE(drawing->imageBytes, 0);
        }
        const std::optional<QImage> image =
            ImageDecoder::decode(HostileImageFiles::svgOfDefaultedImages(2000, greenPicture));
        QVERIFY(image);
        QCOMPARE(pixelsOf(*image, Qt::red), 64 * 64);
    }

    // Qt's reader takes time in the square of an element's attributes, and thousands of declared
    // attributes cost it on every element: refused from the bytes, before it reads them. So is
    // text in an encoding whose bytes do not show its markup. Drawings as tools write them pass.
    void readerCostsBeyondTheDocumentAreRefusedUnread() {
        const QByteArray many = HostileImageFiles::svgWithManyAttributes(100000);
        QVERIFY(!ImageDecoder::decode(many));
        QVERIFY(!ImageDecoder::declaredSize(many));
        const std::optional<QImage> few =
            ImageDecoder::decode(HostileImageFiles::svgWithManyAttributes(200));
        QVERIFY(few);
        QCOMPARE(pixelsOf(*few, Qt::red), 64 * 64);

        QByteArray declarations = "<!DOCTYPE svg [<!ATTLIST g";
        for (int i = 0; i < 400; ++i)
            declarations += " a" + QByteArray::number(i) + " CDATA #IMPLIED";
        QVERIFY(!ImageDecoder::decode(declarations + "]>" + redUnder("#none")));
        QVERIFY(ImageDecoder::decode("<!DOCTYPE svg [<!ATTLIST g a CDATA #IMPLIED>]>" +
                                     redUnder("#none")));

        const QString text = QString::fromLatin1(redUnder("#none"));
        QByteArray wide("\xff\xfe", 2);
        wide.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QVERIFY(!SvgSanitizer::sanitize(wide, ImageDecoder::maxDecodedBytes));
        QVERIFY(!SvgSanitizer::sanitize("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" +
                                            redUnder("#none"),
                                        ImageDecoder::maxDecodedBytes));
        QVERIFY(SvgSanitizer::sanitize(redUnder("#none"), ImageDecoder::maxDecodedBytes));
    }

    // A style sheet import is found in the whole text of a style, however comments, sections,
    // entities or escapes cut it, and the style is then left out. A style cut without one is
    // drawn whole.
    void styleImportsAreFoundWhateverCutsThem() {
        const QByteArray rest = " url(\"https://example.org/a.css\"); rect { fill: #00ff00 }";
        for (const QByteArray& style : {"@im<!-- -->port" + rest, "@im<![CDATA[port]]>" + rest,
                                        "&i;port" + rest, "@\\69mport" + rest}) {
            const QByteArray shape =
                "<!DOCTYPE svg [<!ENTITY i \"@im\">]>" +
                drawing("<style>" + style + "</style><rect width=\"64\" height=\"64\"/>");
            const std::optional<SvgSanitizer::Drawing> sanitized =
                SvgSanitizer::sanitize(shape, ImageDecoder::maxDecodedBytes);
            QVERIFY(sanitized);
            QVERIFY2(!sanitized->document.contains("example.org"), sanitized->document);
            const std::optional<QImage> image = ImageDecoder::decode(shape);
            QVERIFY(image);
            QCOMPARE(pixelsOf(*image, green), 0);
        }
        const std::optional<QImage> styled = ImageDecoder::decode(
            drawing("<style>rect { fi<!-- -->ll: #00ff00 }</style><rect width=\"64\" "
                    "height=\"64\"/>"));
        QVERIFY(styled);
        QCOMPARE(pixelsOf(*styled, green), 64 * 64);
    }
};

QTEST_MAIN(HostileImagesTest)
#include "HostileImagesTest.moc"
