#include "analysis/PngWriter.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

namespace {
// The chunk types of a PNG file in order, or nothing when its chunks do not add up.
std::optional<QList<QByteArray>> chunkTypes(const QByteArray& file) {
    if (!file.startsWith("\x89PNG\r\n\x1a\n"))
        return std::nullopt;
    QList<QByteArray> types;
    qsizetype at = 8;
    while (at + 12 <= file.size()) {
        const quint32 length = qFromBigEndian<quint32>(file.constData() + at);
        if (at + 12 + qsizetype(length) > file.size())
            return std::nullopt;
        types.append(file.mid(at + 4, 4));
        at += 12 + length;
    }
    if (at != file.size())
        return std::nullopt;
    return types;
}

// Random pixels of every value, alpha included.
QImage noise(QSize size, QImage::Format format, quint32 seed) {
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y)
        random.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.width());
    return image.convertToFormat(format);
}

QImage readBack(const QByteArray& file) {
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}
} // namespace

// Pasted pictures are kept as the PNG this writer makes: every pixel must come back as it was,
// whatever the picture's format, and the file must hold nothing but the picture.
class PngWriterTest : public QObject {
    Q_OBJECT
private slots:
    void everyFormatComesBackPixelForPixel_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("backAs");
        // Widths that leave a row short of a word, and strips of several rows, the last short.
        QTest::newRow("RGB32") << int(QImage::Format_RGB32) << QSize(1003, 70)
                               << int(QImage::Format_RGB32);
        QTest::newRow("ARGB32") << int(QImage::Format_ARGB32) << QSize(13, 11000)
                                << int(QImage::Format_ARGB32);
        QTest::newRow("premultiplied") << int(QImage::Format_ARGB32_Premultiplied) << QSize(7, 5)
                                       << int(QImage::Format_ARGB32);
        QTest::newRow("RGB888") << int(QImage::Format_RGB888) << QSize(1, 300)
                                << int(QImage::Format_RGB32);
        QTest::newRow("grey") << int(QImage::Format_Grayscale8) << QSize(333, 333)
                              << int(QImage::Format_Grayscale8);
        QTest::newRow("16-bit") << int(QImage::Format_RGBA64) << QSize(65, 40)
                                << int(QImage::Format_ARGB32);
        QTest::newRow("indexed") << int(QImage::Format_Indexed8) << QSize(40, 40)
                                 << int(QImage::Format_ARGB32);
        QTest::newRow("mono") << int(QImage::Format_Mono) << QSize(17, 9)
                              << int(QImage::Format_RGB32);
    }

    void everyFormatComesBackPixelForPixel() {
        QFETCH(int, format);
        QFETCH(QSize, size);
        QFETCH(int, backAs);
        const QImage picture = noise(size, QImage::Format(format), 7);

        const std::optional<PngWriter::File> file = PngWriter::write(picture);
        QVERIFY(file);
        const QByteArray bytes = file->joined();
        QCOMPARE(qint64(bytes.size()), file->size);
        const QImage back = readBack(bytes);
        QCOMPARE(back.size(), size);
        const auto as = QImage::Format(backAs);
        QCOMPARE(back.convertToFormat(as), picture.convertToFormat(as));

        const std::optional<QList<QByteArray>> types = chunkTypes(bytes);
        QVERIFY(types);
        QCOMPARE(types->first(), QByteArray("IHDR"));
        QCOMPARE(types->last(), QByteArray("IEND"));
        for (qsizetype index = 1; index + 1 < types->size(); ++index)
            QCOMPARE(types->at(index), QByteArray("IDAT"));
    }

    // A large picture's file comes in pieces of a bounded size, each whole chunks, and the same
    // pixels make the same bytes every time: the decoder may write a file twice, sending the
    // second as it goes, after telling its size from the first.
    void aLargeFileComesInPiecesAndTheSameEveryTime() {
        const QImage picture = noise(QSize(2000, 1500), QImage::Format_ARGB32, 3);
        const std::optional<PngWriter::File> file = PngWriter::write(picture);
        QVERIFY(file);
        QVERIFY(file->pieces.size() > 5);
        QList<QByteArray> again;
        QVERIFY(PngWriter::write(picture, [&again](QByteArray piece) {
            again.append(std::move(piece));
            return true;
        }));
        QCOMPARE(again, file->pieces);
        for (qsizetype index = 1; index < file->pieces.size(); ++index) {
            QVERIFY(file->pieces.at(index).size() <= 1024 * 1024 + 12);
            QVERIFY(chunkTypes("\x89PNG\r\n\x1a\n" + file->pieces.at(index)));
        }
        // A sink that says no stops the writing.
        int taken = 0;
        QVERIFY(!PngWriter::write(picture, [&taken](QByteArray) { return ++taken < 3; }));
        QCOMPARE(taken, 3);
    }

    // A photo in a wide gamut keeps its colour profile: its colours would otherwise be read as
    // sRGB's. Nothing else beside the pixels is written, not even what the picture carries.
    void theColourProfileIsKeptAndNothingElse() {
        QImage picture = noise(QSize(64, 48), QImage::Format_RGB32, 5);
        picture.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        picture.setText(QStringLiteral("Comment"), QStringLiteral("taken at home"));
        picture.setDotsPerMeterX(5000);
        picture.setDotsPerMeterY(5000);
        const std::optional<PngWriter::File> file = PngWriter::write(picture);
        QVERIFY(file);
        const QByteArray bytes = file->joined();
        QCOMPARE(*chunkTypes(bytes), QList<QByteArray>({"IHDR", "iCCP", "IDAT", "IEND"}));
        const QImage back = readBack(bytes);
        QCOMPARE(back.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        QVERIFY(back.textKeys().isEmpty());
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), picture);
    }

    void aNullPictureIsNoFile() { QVERIFY(!PngWriter::write(QImage())); }
};

QTEST_MAIN(PngWriterTest)
#include "PngWriterTest.moc"
