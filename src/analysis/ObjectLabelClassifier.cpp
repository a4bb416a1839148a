#include "analysis/ObjectLabelClassifier.h"

#include "analysis/GraphModelConverter.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <algorithm>
#include <array>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr std::size_t errorCapacity = 512;

class LabelModelError : public KippetsError {
public:
    using KippetsError::KippetsError;
};

void handBackFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw LabelModelError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return file.readAll();
}

} // namespace

ObjectLabelClassifier::Files ObjectLabelClassifier::Files::in(const QString& folder) {
    return {folder + QStringLiteral("/centernet.json"), folder + QStringLiteral("/centernet.bin"),
            folder + QStringLiteral("/libkippets_labels.so")};
}

ObjectLabelClassifier::Files ObjectLabelClassifier::Files::installed() {
    const QString executable = QCoreApplication::applicationDirPath();
    const QStringList folders = {executable + QStringLiteral("/labels"),
                                 executable + QStringLiteral("/../lib/kippets/labels")};
    for (const QString& folder : folders)
        if (QFileInfo::exists(folder + QStringLiteral("/libkippets_labels.so")))
            return in(folder);
    return in(folders.last());
}

ObjectLabelClassifier::ObjectLabelClassifier(Files files) : files_(std::move(files)) {}

// The module stays loaded: OpenCV keeps thread pools and caches for the process.
ObjectLabelClassifier::~ObjectLabelClassifier() = default;

QList<ImageLabel> ObjectLabelClassifier::classify(const QImage& image) {
    if (image.isNull())
        return {};
    ClassMaxima maxima{};
    const bool answered = run(image, maxima);
    // The network's buffers and the input went back to the allocator; hand the pages back to
    // the system, or they would stay resident until the allocator happens to reuse them.
    handBackFreedMemory();
    if (!answered)
        return {};
    QList<ImageLabel> labels;
    for (qsizetype index = 0; index < classNames().size(); ++index)
        labels.append({classNames()[index], static_cast<double>(maxima[index])});
    std::stable_sort(labels.begin(), labels.end(), [](const ImageLabel& a, const ImageLabel& b) {
        return a.confidence > b.confidence;
    });
    return labels;
}

bool ObjectLabelClassifier::run(const QImage& image, ClassMaxima& maxima) {
    const std::vector<float> planes = inputPlanes(image);
    std::array<char, errorCapacity> error{};
    const std::lock_guard lock(mutex_);
    if (!ensureLoaded())
        return false;
    // The graph the first image uses was converted while loading; later ones convert it again.
    // Kept between images, the converted weights would stay resident for as long as the app
    // runs, while converting takes a small part of one image's time.
    QByteArray graph = std::exchange(graph_, QByteArray());
    if (graph.isEmpty()) {
        try {
            graph = convertedGraph();
        } catch (const std::exception& conversion) {
            if (answered_)
                throw LabelModelError(KippetsError::textOf(conversion));
            giveUp(KippetsError::textOf(conversion));
            return false;
        }
    }
    const int channels =
        classMaxima_(graph.constData(), static_cast<std::size_t>(graph.size()), heatmapNode,
                     planes.data(), inputSize, inputSize, maxima.data(),
                     static_cast<int>(maxima.size()), error.data(), error.size());
    QString failure;
    if (channels < 0)
        failure = QStringLiteral("OpenCV could not run the model: %1")
                      .arg(QString::fromUtf8(error.data()));
    else if (channels != classNames().size())
        failure = QStringLiteral("the model gave %1 classes instead of %2")
                      .arg(channels)
                      .arg(classNames().size());
    if (failure.isEmpty()) {
        answered_ = true;
        return true;
    }
    // A model that never answered will not: the same graph fails the same way.
    if (answered_)
        throw LabelModelError(failure);
    giveUp(failure);
    return false;
}

bool ObjectLabelClassifier::ensureLoaded() {
    if (!attempted_) {
        attempted_ = true;
        try {
            load();
            usable_ = true;
        } catch (const std::exception& failure) {
            giveUp(KippetsError::textOf(failure));
        }
    }
    return usable_;
}

void ObjectLabelClassifier::giveUp(const QString& reason) {
    usable_ = false;
    graph_ = QByteArray();
    Log::line(QStringLiteral("⚠️ [ObjectLabelClassifier] Images get no labels: ") + reason);
}

void ObjectLabelClassifier::load() {
    if (!QFileInfo::exists(files_.topology))
        throw LabelModelError(
            QStringLiteral("the model is not installed (%1); run scripts/setup and build again")
                .arg(files_.topology));
    graph_ = convertedGraph();
    auto module = std::make_unique<QLibrary>(files_.module);
    if (!module->load())
        throw LabelModelError(module->errorString());
    classMaxima_ = reinterpret_cast<LabelNetworkClassMaxima>(
        module->resolve(LabelNetworkModule::classMaximaSymbol));
    if (!classMaxima_)
        throw LabelModelError(module->errorString());
    module_ = std::move(module);
}

QByteArray ObjectLabelClassifier::convertedGraph() const {
    return GraphModelConverter::convert(contentsOf(files_.topology), contentsOf(files_.weights),
                                        heatmapNode);
}

std::vector<float> ObjectLabelClassifier::inputPlanes(const QImage& image) {
    const QImage scaled =
        image.convertToFormat(QImage::Format_RGB888)
            .scaled(inputSize, inputSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    constexpr std::size_t area = static_cast<std::size_t>(inputSize) * inputSize;
    std::vector<float> planes(area * 3);
    for (int y = 0; y < inputSize; ++y) {
        const uchar* line = scaled.constScanLine(y);
        for (int x = 0; x < inputSize; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * inputSize + x;
            for (std::size_t channel = 0; channel < 3; ++channel)
                planes[channel * area + at] = line[x * 3 + channel];
        }
    }
    return planes;
}

const QStringList& ObjectLabelClassifier::classNames() {
    static const QStringList names = {"person",        "bicycle",      "car",
                                      "motorcycle",    "airplane",     "bus",
                                      "train",         "truck",        "boat",
                                      "traffic light", "fire hydrant", "stop sign",
                                      "parking meter", "bench",        "bird",
                                      "cat",           "dog",          "horse",
                                      "sheep",         "cow",          "elephant",
                                      "bear",          "zebra",        "giraffe",
                                      "backpack",      "umbrella",     "handbag",
                                      "tie",           "suitcase",     "frisbee",
                                      "skis",          "snowboard",    "sports ball",
                                      "kite",          "baseball bat", "baseball glove",
                                      "skateboard",    "surfboard",    "tennis racket",
                                      "bottle",        "wine glass",   "cup",
                                      "fork",          "knife",        "spoon",
                                      "bowl",          "banana",       "apple",
                                      "sandwich",      "orange",       "broccoli",
                                      "carrot",        "hot dog",      "pizza",
                                      "donut",         "cake",         "chair",
                                      "couch",         "potted plant", "bed",
                                      "dining table",  "toilet",       "tv",
                                      "laptop",        "mouse",        "remote",
                                      "keyboard",      "cell phone",   "microwave",
                                      "oven",          "toaster",      "sink",
                                      "refrigerator",  "book",         "clock",
                                      "vase",          "scissors",     "teddy bear",
                                      "hair drier",    "toothbrush"};
    return names;
}
