#pragma once

#include "analysis/ImageLabel.h"

#include <QImage>
#include <QList>

// Scene and object classification of a decoded image. Called on a worker thread, so an
// implementation must be safe to call from any thread; it may throw, which counts as no labels.
class ImageClassifier {
public:
    virtual ~ImageClassifier() = default;
    // Labels in the classifier's own order, with their confidences.
    virtual QList<ImageLabel> classify(const QImage& image) = 0;
};
