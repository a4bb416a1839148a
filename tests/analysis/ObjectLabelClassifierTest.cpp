#include "analysis/ObjectLabelClassifier.h"
#include "analysis/GraphModelConverter.h"
#include "support/LabelModelSkip.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <qfloat16.h>

namespace {

// A TensorFlow.js graph model written the way its converter writes one: fused convolutions,
// float16 weights, an integer concat axis, an identity as the named output and a top-k decode
// step after it. Two 1 × 1 convolutions of 40 channels each make the 80 class maps; a weight
// or bias is set for a few classes only, so each map is flat and its value known:
// - "dog" (16): 0.02 × red, then Relu;
// - "horse" (17) and the rest of the first 40: bias -1 or -10, then Relu, so 0 before the sigmoid;
// - "bowl" (45): bias 1, no activation;
// - "broccoli" (50): bias -1, no activation, so below the sigmoid's midpoint;
// - the rest of the second 40: bias -10.
struct SyntheticModel {
    QJsonArray nodes;
    QJsonArray weights;
    QByteArray data;

    static QString b64(const char* text) {
        return QString::fromLatin1(QByteArray(text).toBase64());
    }

    void halfConst(const QString& name, const QList<int>& shape, const QList<float>& values) {
        QJsonArray dims;
        for (int dim : shape)
            dims.append(dim);
        weights.append(QJsonObject{
            {"name", name},
            {"shape", dims},
            {"dtype", "float32"},
            {"quantization", QJsonObject{{"dtype", "float16"}, {"original_dtype", "float32"}}}});
        for (float value : values) {
            const qfloat16 half(value);
            data.append(reinterpret_cast<const char*>(&half), sizeof half);
        }
        nodes.append(
            QJsonObject{{"name", name},
                        {"op", "Const"},
                        {"attr", QJsonObject{{"dtype", QJsonObject{{"type", "DT_FLOAT"}}}}}});
    }

    void intConst(const QString& name, qint32 value) {
        weights.append(QJsonObject{{"name", name}, {"shape", QJsonArray()}, {"dtype", "int32"}});
        data.append(reinterpret_cast<const char*>(&value), sizeof value);
        nodes.append(
            QJsonObject{{"name", name},
                        {"op", "Const"},
                        {"attr", QJsonObject{{"dtype", QJsonObject{{"type", "DT_INT32"}}}}}});
    }

    void fusedConv(const QString& name, const QString& weightsName, const QString& bias,
                   const QStringList& fused) {
        QJsonArray ops;
        for (const QString& op : fused)
            ops.append(b64(op.toLatin1().constData()));
        QJsonArray ones{"1", "1", "1", "1"};
        nodes.append(QJsonObject{
            {"name", name},
            {"op", "_FusedConv2D"},
            {"input", QJsonArray{"tower_0/images", weightsName, bias}},
            {"device", "/device:CPU:0"},
            {"attr", QJsonObject{{"strides", QJsonObject{{"list", QJsonObject{{"i", ones}}}}},
                                 {"dilations", QJsonObject{{"list", QJsonObject{{"i", ones}}}}},
                                 {"data_format", QJsonObject{{"s", b64("NHWC")}}},
                                 {"padding", QJsonObject{{"s", b64("SAME")}}},
                                 {"explicit_paddings", QJsonObject{{"list", QJsonObject()}}},
                                 {"num_args", QJsonObject{{"i", "1"}}},
                                 {"epsilon", QJsonObject{{"f", 0}}},
                                 {"T", QJsonObject{{"type", "DT_FLOAT"}}},
                                 {"fused_ops", QJsonObject{{"list", QJsonObject{{"s", ops}}}}}}}});
    }

    void node(const QString& name, const QString& op, const QJsonArray& inputs,
              const QJsonObject& attrs = {{"T", QJsonObject{{"type", "DT_FLOAT"}}}}) {
        nodes.append(QJsonObject{{"name", name}, {"op", op}, {"input", inputs}, {"attr", attrs}});
    }

    static SyntheticModel build(const QString& firstFusion = "Relu") {
        SyntheticModel model;
        model.nodes.append(QJsonObject{
            {"name", "tower_0/images"},
            {"op", "Placeholder"},
            {"attr",
             QJsonObject{
                 {"dtype", QJsonObject{{"type", "DT_FLOAT"}}},
                 {"shape",
                  QJsonObject{
                      {"shape", QJsonObject{{"dim", QJsonArray{QJsonObject{{"size", "1"}},
                                                               QJsonObject{{"size", "512"}},
                                                               QJsonObject{{"size", "512"}},
                                                               QJsonObject{{"size", "3"}}}}}}}}}}});
        // Filters are [height, width, in, out]: the red weight of output c is element c.
        QList<float> firstWeights(3 * 40, 0.0f), firstBias(40, -10.0f);
        firstWeights[16] = 0.02f;
        firstBias[16] = 0.0f;
        firstBias[17] = -1.0f;
        QList<float> secondWeights(3 * 40, 0.0f), secondBias(40, -10.0f);
        secondBias[45 - 40] = 1.0f;
        secondBias[50 - 40] = -1.0f;
        model.halfConst("first/weights", {1, 1, 3, 40}, firstWeights);
        model.halfConst("first/bias", {40}, firstBias);
        model.halfConst("second/weights", {1, 1, 3, 40}, secondWeights);
        model.halfConst("second/bias", {40}, secondBias);
        model.intConst("concat/axis", 3);
        model.intConst("TopKV2/k", 5);
        model.fusedConv("first", "first/weights", "first/bias", {"BiasAdd", firstFusion});
        model.fusedConv("second", "second/weights", "second/bias", {"BiasAdd"});
        model.node("concat", "ConcatV2", {"first", "second", "concat/axis"},
                   {{"N", QJsonObject{{"i", "2"}}},
                    {"T", QJsonObject{{"type", "DT_FLOAT"}}},
                    {"Tidx", QJsonObject{{"type", "DT_INT32"}}}});
        model.node("tower_0/Sigmoid", "Sigmoid", {"concat"});
        model.node("tower_0/keypoints", "Identity", {"tower_0/Sigmoid"});
        model.node(
            "tower_0/TopKV2", "TopKV2", {"tower_0/keypoints", "TopKV2/k"},
            {{"sorted", QJsonObject{{"b", true}}}, {"T", QJsonObject{{"type", "DT_FLOAT"}}}});
        return model;
    }

    QByteArray topology() const {
        const QJsonObject manifest{{"paths", QJsonArray{"centernet.bin"}}, {"weights", weights}};
        return QJsonDocument(QJsonObject{{"format", "graph-model"},
                                         {"modelTopology", QJsonObject{{"node", nodes}}},
                                         {"weightsManifest", QJsonArray{manifest}}})
            .toJson();
    }

    ObjectLabelClassifier::Files writeTo(const QString& folder) const {
        ObjectLabelClassifier::Files files = ObjectLabelClassifier::Files::in(KIPPETS_LABELS_DIR);
        files.topology = folder + "/centernet.json";
        files.weights = folder + "/centernet.bin";
        write(files.topology, topology());
        write(files.weights, data);
        return files;
    }

    static void write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

QImage plain(QColor colour) {
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

double confidenceOf(const QList<ImageLabel>& labels, const QString& name) {
    for (const ImageLabel& label : labels)
        if (label.identifier == name)
            return label.confidence;
    return -1;
}

bool moduleBuilt() {
    return QFile::exists(ObjectLabelClassifier::Files::in(KIPPETS_LABELS_DIR).module);
}

} // namespace

class ObjectLabelClassifierTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (!moduleBuilt())
            KIPPETS_SKIP_WITHOUT_LABELS("the OpenCV module is not built (OpenCV missing)");
    }

    void aConvertedModelRunsAndNamesClassesHighestFirst() {
        QTemporaryDir folder;
        ObjectLabelClassifier classifier(SyntheticModel::build().writeTo(folder.path()));
        const QList<ImageLabel> labels = classifier.classify(plain(QColor(100, 0, 0)));

        QCOMPARE(labels.size(), 80);
        QCOMPARE(labels[0].identifier, QString("dog"));
        QCOMPARE(labels[1].identifier, QString("bowl"));
        // Float16 weights stay half precision (0.02 is not exact in it).
        QVERIFY(qAbs(labels[0].confidence - 0.8808) < 1e-3);
        QVERIFY(qAbs(labels[1].confidence - 0.7311) < 1e-3);
        // The fused Relu lifts every other map of the first convolution to the sigmoid's
        // midpoint; equal confidences keep the class order.
        QCOMPARE(labels[2].identifier, QString("person"));
        QVERIFY(qAbs(confidenceOf(labels, "horse") - 0.5) < 1e-3);
        // The second convolution has no activation, and the concat keeps the channel order.
        QCOMPARE(labels[41].identifier, QString("broccoli"));
        QVERIFY(qAbs(labels[41].confidence - 0.2689) < 1e-3);
        QVERIFY(labels[42].confidence < 1e-3);
        QVERIFY(confidenceOf(labels, "dining table") < 1e-3);

        // Red drives the dog's map, so a black image leaves it at the sigmoid's midpoint; the
        // same network answers again.
        QVERIFY(qAbs(confidenceOf(classifier.classify(plain(Qt::black)), "dog") - 0.5) < 1e-3);
        QVERIFY(classifier.classify(QImage()).isEmpty());
    }

    void theRelu6FusionIsSplitToo() {
        QTemporaryDir folder;
        ObjectLabelClassifier classifier(SyntheticModel::build("Relu6").writeTo(folder.path()));
        // 0.02 × 255 = 5.1 stays below Relu6's cap; the dog's map is sigmoid(5.1).
        const QList<ImageLabel> labels = classifier.classify(plain(QColor(255, 0, 0)));
        QVERIFY(qAbs(confidenceOf(labels, "dog") - 0.99394) < 1e-3);
    }

    void anUnusableModelLogsOnceAndLabelsNothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("logged");
        QTest::newRow("missing") << "missing"
                                 << "the model is not installed";
        QTest::newRow("truncated weights") << "truncated"
                                           << "the weight file ends before";
        QTest::newRow("not JSON") << "garbage"
                                  << "the topology is not a JSON object";
        QTest::newRow("unknown fusion") << "fusion"
                                        << "fuses BiasAdd+Elu";
        QTest::newRow("no module") << "module"
                                   << "Images get no labels: ";
    }

    void anUnusableModelLogsOnceAndLabelsNothing() {
        QFETCH(QString, damage);
        QFETCH(QString, logged);
        QTemporaryDir folder;
        SyntheticModel model = SyntheticModel::build(damage == "fusion" ? "Elu" : "Relu");
        ObjectLabelClassifier::Files files = model.writeTo(folder.path());
        if (damage == "missing")
            QFile::remove(files.topology);
        if (damage == "truncated")
            SyntheticModel::write(files.weights, model.data.left(model.data.size() / 2));
        if (damage == "garbage")
            SyntheticModel::write(files.topology, "{\"modelTopology\": [");
        if (damage == "module")
            files.module = folder.filePath("libkippets_labels.so");

        LogCapture log;
        ObjectLabelClassifier classifier(files);
        QVERIFY(classifier.classify(plain(Qt::red)).isEmpty());
        QVERIFY(classifier.classify(plain(Qt::blue)).isEmpty());
        QCOMPARE(log.lines().size(), 1);
        QVERIFY2(log.lines()[0].startsWith("⚠️ [ObjectLabelClassifier] Images get no labels: "),
                 qPrintable(log.lines()[0]));
        QVERIFY2(log.lines()[0].contains(logged), qPrintable(log.lines()[0]));
    }

    void theConverterRefusesWhatItCannotRead() {
        const SyntheticModel model = SyntheticModel::build();
        QVERIFY_THROWS_EXCEPTION(ModelConversionError, GraphModelConverter::convert(
                                                           model.topology(), model.data, "absent"));
        SyntheticModel wide = model;
        QJsonObject entry = wide.weights[0].toObject();
        entry["quantization"] = QJsonObject{{"dtype", "uint8"}};
        wide.weights[0] = entry;
        QVERIFY_THROWS_EXCEPTION(
            ModelConversionError,
            GraphModelConverter::convert(wide.topology(), wide.data, "tower_0/Sigmoid"));
        SyntheticModel huge = model;
        entry = huge.weights[0].toObject();
        entry["shape"] = QJsonArray{"4000000000", "4000000000", "4000000000"};
        huge.weights[0] = entry;
        QVERIFY_THROWS_EXCEPTION(
            ModelConversionError,
            GraphModelConverter::convert(huge.topology(), huge.data, "tower_0/Sigmoid"));
        // Only what the output needs is kept: asking for the first convolution leaves out the
        // second one's weights, and the top-k step is never written.
        const QByteArray all =
            GraphModelConverter::convert(model.topology(), model.data, "tower_0/Sigmoid");
        const QByteArray first =
            GraphModelConverter::convert(model.topology(), model.data, "first");
        QVERIFY(!all.contains("TopKV2"));
        QVERIFY(all.contains("second/split_convolution"));
        QVERIFY(!first.contains("second"));
        QVERIFY(first.contains("first/split_bias"));
    }
};

QTEST_GUILESS_MAIN(ObjectLabelClassifierTest)
#include "ObjectLabelClassifierTest.moc"
