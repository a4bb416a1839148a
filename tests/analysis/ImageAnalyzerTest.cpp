#include "analysis/ImageAnalyzer.h"
#include "TaskOutcome.h"
#include "analysis/AIService.h"
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QFont>
#include <QPainter>
#include <QTest>
#include <QTimer>

namespace {

struct ScriptedClassifier : ImageClassifier {
    QList<ImageLabel> labels;
    bool fails = false;
    QList<ImageLabel> classify(const QImage&) override {
        if (fails)
            throw std::runtime_error("classifier down");
        return labels;
    }
};

struct ScriptedRecognizer : TextRecognizer {
    QStringList lines;
    bool fails = false;
    QStringList recognizeLines(const QImage&) override {
        if (fails)
            throw std::runtime_error("recognizer down");
        return lines;
    }
};

QByteArray pngOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray plainPng() {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    return pngOf(image);
}

KippetItem imageItem(const QByteArray& content) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::image;
    item.content = content;
    item.metadata.name = "shot.png";
    return item;
}

const QString heading = "Quarterly Report";
const QStringList paragraph = {"The team shipped three releases this quarter and closed most",
                               "of the open issues reported by customers in the support queue.",
                               "Next quarter we will focus on performance and on the new",
                               "import feature that many users have asked for this year."};

// A page with a large heading over a paragraph, rendered with a real font.
QImage renderedPage(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    QFont title("DejaVu Sans", 36, QFont::Bold);
    title.setPixelSize(44);
    painter.setFont(title);
    painter.drawText(QPoint(60, 100), heading);
    QFont body("DejaVu Sans");
    body.setPixelSize(24);
    painter.setFont(body);
    for (int line = 0; line < paragraph.size(); ++line)
        painter.drawText(QPoint(60, 190 + line * 40), paragraph[line]);
    return image;
}

} // namespace

class ImageAnalyzerTest : public QObject {
    Q_OBJECT

    ContentAnalysis analyzed(QList<ImageLabel> labels, QStringList lines) {
        auto classifier = std::make_shared<ScriptedClassifier>();
        classifier->labels = std::move(labels);
        auto recognizer = std::make_shared<ScriptedRecognizer>();
        recognizer->lines = std::move(lines);
        ImageAnalyzer analyzer(classifier, recognizer);
        return valueOf(analyzer.analyze(imageItem(plainPng()), {}));
    }

private slots:
    void labelsAboveTheThresholdNameThePhoto() {
        const ContentAnalysis result =
            analyzed({{"beach", 0.9}, {"sky", 0.8}, {"sand", 0.31}, {"water", 0.3}}, {});
        QCOMPARE(result.title, std::optional<QString>("Beach"));
        QCOMPARE(result.description, QString("Image: beach, sky, sand"));
        QCOMPARE(result.tags, (QStringList{"beach", "sky", "sand"}));
        QCOMPARE(result.category, ItemCategory::images);
        QCOMPARE(result.customCategory, std::nullopt);
        QCOMPARE(result.confidence, 0.8);
    }

    void manyLabelsAreCappedForLabelsTagsAndDescription() {
        QList<ImageLabel> labels;
        for (int index = 0; index < 12; ++index)
            labels.append({QString("label%1").arg(index), 0.9});
        QCOMPARE(ImageAnalyzer::classify(nullptr, QImage()), QStringList());
        ScriptedClassifier classifier;
        classifier.labels = labels;
        const QStringList kept = ImageAnalyzer::classify(&classifier, QImage());
        QCOMPARE(kept.size(), 10);
        QCOMPARE(kept.last(), QString("label9"));
        const ContentAnalysis result = ImageAnalyzer::buildAnalysis(kept, QString());
        QCOMPARE(result.tags, kept.mid(0, 6));
        QCOMPARE(result.description, QString("Image: label0, label1, label2"));
        QCOMPARE(ImageAnalyzer::buildAnalysis({"golden retriever"}, {}).title,
                 std::optional<QString>("Golden Retriever"));
    }

    void textDecidesTitleAndCategory() {
        const QString body = QString("word ").repeated(100).trimmed();
        const ContentAnalysis result = analyzed({{"document", 0.9}}, {"  Heading line\t", body});
        QCOMPARE(result.title, std::optional<QString>("Heading line"));
        QCOMPARE(result.description, QString("Image containing text"));
        QCOMPARE(result.tags, QStringList{"document"});
        QCOMPARE(result.category, ItemCategory::documents);

        QCOMPARE(ImageAnalyzer::buildAnalysis({}, QString("a").repeated(200)).category,
                 ItemCategory::images);
        QCOMPARE(ImageAnalyzer::buildAnalysis({}, QString("a").repeated(201)).category,
                 ItemCategory::documents);
        // Characters as the user sees them: 200 accented letters are 400 code units.
        QCOMPARE(
            ImageAnalyzer::buildAnalysis({}, QString::fromUtf8("e\xCC\x81").repeated(200)).category,
            ItemCategory::images);
    }

    void nothingFoundGivesThePlainImageResult() {
        for (const QStringList& lines : {QStringList(), QStringList{"  ", "\n\t"}}) {
            const ContentAnalysis result = analyzed({{"blur", 0.3}}, lines);
            QCOMPARE(result.title, std::optional<QString>("Image"));
            QCOMPARE(result.description, QString("Image"));
            QCOMPARE(result.tags, QStringList{"image"});
            QCOMPARE(result.category, ItemCategory::images);
        }
    }

    void failingRecognitionDegradesInsteadOfFailing() {
        auto classifier = std::make_shared<ScriptedClassifier>();
        classifier->fails = true;
        auto recognizer = std::make_shared<ScriptedRecognizer>();
        recognizer->fails = true;
        ImageAnalyzer analyzer(classifier, recognizer);
        const ContentAnalysis result = valueOf(analyzer.analyze(imageItem(plainPng()), {}));
        QCOMPARE(result.description, QString("Image"));
        QCOMPARE(failureOf(analyzer.sanitize("by colour")),
                 AIServiceError::Case::unsupportedFeature);
    }

    void bytesThatAreNoImageFailAndTheServiceFallsThrough() {
        auto recognizer = std::make_shared<ScriptedRecognizer>();
        ImageAnalyzer analyzer(nullptr, recognizer);
        QCOMPARE(failureOf(analyzer.analyze(imageItem("not an image at all"), {})),
                 AIServiceError::Case::invalidContent);
        // A header that claims a gigantic picture is refused before anything is allocated.
        QCOMPARE(
            failureOf(analyzer.analyze(imageItem("P4\n60000 60000\n" + QByteArray(64, '\0')), {})),
            AIServiceError::Case::invalidContent);

        TestEnvironment::resetPreferences();
        Preferences::shared().setString("ai_mode", "onDevice");
        AIService service;
        service.setImageFactory(
            [recognizer] { return std::make_shared<ImageAnalyzer>(nullptr, recognizer); });
        LogCapture log;
        const ContentAnalysis result =
            valueOf(service.analyzeContent(imageItem("not an image at all"), {}));
        QCOMPARE(result.description, QString("Image: shot.png"));
        QVERIFY(log.contains("provider image failed: Content cannot be analyzed"));
    }

    void tesseractReadsARenderedPage() {
        ImageAnalyzer analyzer;
        const ContentAnalysis result =
            valueOf(analyzer.analyze(imageItem(pngOf(renderedPage(QSize(1100, 400)))), {}));
        QCOMPARE(result.title, std::optional<QString>(heading));
        QCOMPARE(result.description, QString("Image containing text"));
        QCOMPARE(result.category, ItemCategory::documents);
        QCOMPARE(result.tags, QStringList{"image"});
    }

    void guiThreadKeepsRunningDuringRecognition() {
        ImageAnalyzer analyzer;
        const KippetItem item = imageItem(pngOf(renderedPage(QSize(2400, 1600))));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(5);
        const ContentAnalysis result = valueOf(analyzer.analyze(item, {}));
        timer.stop();
        QCOMPARE(result.title, std::optional<QString>(heading));
        QVERIFY2(ticks >= 3, qPrintable(QString("ticks: %1").arg(ticks)));
    }
};

QTEST_MAIN(ImageAnalyzerTest)
#include "ImageAnalyzerTest.moc"
