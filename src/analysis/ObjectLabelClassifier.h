#pragma once

#include "analysis/ImageClassifier.h"
#include "analysis/LabelNetworkModule.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <mutex>
#include <vector>

class QLibrary;

// Labels images with the 80 everyday object classes of the COCO data set ("person", "dog",
// "dining table"; no scenes), using a MobileNetV3 CenterNet detector run by OpenCV. The
// confidence of a class is the highest point of its heat map; labels come highest first.
//
// Nothing happens until the first image: then, on the caller's worker thread, the model is
// checked by converting it and the OpenCV module is loaded, once. Each image is run by a graph
// converted and a network built for it, both freed after it (see LabelNetworkModule.h), one
// image at a time, so labelling leaves little resident. When the model cannot be used, one line is
// logged and every image gets no labels from then on.
class ObjectLabelClassifier : public ImageClassifier {
public:
    // The model (TensorFlow.js topology and weights) and the module that runs it.
    struct Files {
        QString topology;
        QString weights;
        QString module;
        // Files inside one folder under their usual names.
        static Files in(const QString& folder);
        // The "labels" folder beside the executable, or the installed one.
        static Files installed();
    };

    static constexpr int inputSize = 512;
    // The node that yields the class heat maps (the graph's named output is an identity of it).
    static constexpr const char* heatmapNode = "tower_0/Sigmoid";

    explicit ObjectLabelClassifier(Files files = Files::installed());
    ~ObjectLabelClassifier() override;

    QList<ImageLabel> classify(const QImage& image) override;

    // The class names in the order of the model's output channels.
    static const QStringList& classNames();
    // The image as the network takes it: 512 × 512 RGB, raw 0...255 values, one plane a colour.
    static std::vector<float> inputPlanes(const QImage& image);

private:
    using ClassMaxima = std::array<float, 80>;
    // Runs the network on the image; false when the model cannot be used.
    bool run(const QImage& image, ClassMaxima& maxima);
    bool ensureLoaded();
    void load();
    QByteArray convertedGraph() const;
    void giveUp(const QString& reason);

    Files files_;
    std::mutex mutex_;
    bool attempted_ = false;
    bool usable_ = false;
    bool answered_ = false;
    QByteArray graph_;
    std::unique_ptr<QLibrary> module_;
    LabelNetworkClassMaxima classMaxima_ = nullptr;
};
