// The image analyzer with the shipped label model and Tesseract, on real photos.
#include "TaskOutcome.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/ObjectLabelClassifier.h"
#include "support/LabelModelSkip.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

KippetItem imageItem(const QByteArray& content) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::image;
    item.content = content;
    item.metadata.name = "photo.jpg";
    return item;
}

QByteArray photo(const QString& name) {
    QFile file(QStringLiteral(KIPPETS_SAMPLE_PHOTOS "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray pngOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A caption in large type on a plain background.
QByteArray captionImage() {
    QImage image(900, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font("DejaVu Sans");
    font.setPixelSize(48);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(40, 120), "Weekend Picnic Plans");
    painter.end();
    return pngOf(image);
}

std::shared_ptr<ObjectLabelClassifier> shippedClassifier() {
    static const auto classifier = std::make_shared<ObjectLabelClassifier>(
        ObjectLabelClassifier::Files::in(KIPPETS_LABELS_DIR));
    return classifier;
}

} // namespace

class ImageLabelsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const ObjectLabelClassifier::Files files =
            ObjectLabelClassifier::Files::in(KIPPETS_LABELS_DIR);
        if (!QFile::exists(files.topology) || !QFile::exists(files.module))
            KIPPETS_SKIP_WITHOUT_LABELS(
                "the label model or its module is not built: run scripts/setup");
        if (photo("dog.jpg").isEmpty())
            KIPPETS_SKIP_WITHOUT_LABELS(
                "darknet's sample photos are not installed: run scripts/setup");
    }

    void photosAreTitledAndTaggedByWhatIsInThem_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("title");
        // The dog sits beside a bicycle in front of a car, which the model is surest of.
        QTest::newRow("dog") << "dog.jpg"
                             << "dog"
                             << "Car";
        QTest::newRow("horses") << "horses.jpg"
                                << "horse"
                                << "Horse";
        QTest::newRow("eagle") << "eagle.jpg"
                               << "bird"
                               << "Bird";
    }

    void photosAreTitledAndTaggedByWhatIsInThem() {
        QFETCH(QString, file);
        QFETCH(QString, label);
        QFETCH(QString, title);
        const QImage image = *ImageAnalyzer::decodeImage(photo(file));
        const QStringList labels = ImageAnalyzer::classify(shippedClassifier().get(), image);
        QVERIFY2(labels.contains(label), qPrintable(labels.join(", ")));
        QVERIFY(labels.size() <= 10);

        ImageAnalyzer analyzer(shippedClassifier());
        const ContentAnalysis result = valueOf(analyzer.analyze(imageItem(photo(file)), {}));
        // The photos carry no text, so the labels decide everything.
        QCOMPARE(result.title, std::optional<QString>(title));
        QCOMPARE(result.description, "Image: " + labels.mid(0, 3).join(", "));
        QCOMPARE(result.tags, labels.mid(0, 6));
        QVERIFY(result.tags.contains(label));
        QCOMPARE(result.category, ItemCategory::images);
    }

    void aPlainColourGetsNoLabels() {
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(QColor(40, 120, 200));
        QCOMPARE(ImageAnalyzer::classify(shippedClassifier().get(), image), QStringList());
        ImageAnalyzer analyzer(shippedClassifier());
        const ContentAnalysis result = valueOf(analyzer.analyze(imageItem(pngOf(image)), {}));
        QCOMPARE(result.title, std::optional<QString>("Image"));
        QCOMPARE(result.description, QString("Image"));
        QCOMPARE(result.tags, QStringList{"image"});
        QCOMPARE(result.category, ItemCategory::images);
    }

    void aBrokenModelStillLeavesTheTextAndLogsOnce() {
        QTemporaryDir folder;
        ObjectLabelClassifier::Files files = ObjectLabelClassifier::Files::in(KIPPETS_LABELS_DIR);
        files.weights = folder.filePath("centernet.bin");
        QFile broken(files.weights);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(1000, '\x7f'));
        broken.close();

        LogCapture log;
        ImageAnalyzer analyzer(std::make_shared<ObjectLabelClassifier>(files));
        const ContentAnalysis withText = valueOf(analyzer.analyze(imageItem(captionImage()), {}));
        QCOMPARE(withText.title, std::optional<QString>("Weekend Picnic Plans"));
        QCOMPARE(withText.description, QString("Image containing text"));
        QCOMPARE(withText.tags, QStringList{"image"});
        const ContentAnalysis photoResult =
            valueOf(analyzer.analyze(imageItem(photo("dog.jpg")), {}));
        QCOMPARE(photoResult.title, std::optional<QString>("Image"));
        QCOMPARE(photoResult.tags, QStringList{"image"});
        QCOMPARE(log.lines().size(), 1);
        QVERIFY2(log.lines()[0].startsWith("⚠️ [ObjectLabelClassifier] Images get no labels: "),
                 qPrintable(log.lines()[0]));
    }

    void theGuiThreadKeepsRunningWhileLabellingAndReading() {
        // A fresh classifier, so the first analysis also loads the model.
        ImageAnalyzer analyzer(std::make_shared<ObjectLabelClassifier>(
            ObjectLabelClassifier::Files::in(KIPPETS_LABELS_DIR)));
        const QList<KippetItem> items = {imageItem(photo("dog.jpg")), imageItem(captionImage())};
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(5);
        auto first = TaskRunner::settle(analyzer.analyze(items[0], {}));
        auto second = TaskRunner::settle(analyzer.analyze(items[1], {}));
        const ContentAnalysis labelled = TaskRunner::result(first, 120000);
        const ContentAnalysis read = TaskRunner::result(second, 120000);
        timer.stop();
        QVERIFY(labelled.tags.contains("dog"));
        QCOMPARE(read.title, std::optional<QString>("Weekend Picnic Plans"));
        QVERIFY2(ticks >= 3, qPrintable(QString("ticks: %1").arg(ticks)));
    }
};

QTEST_MAIN(ImageLabelsTest)
#include "ImageLabelsTest.moc"
