#pragma once

#include <QImage>
#include <QStringList>

// Text recognition of a decoded image. Called on a worker thread, so an implementation must be
// safe to call from any thread; it may throw, which counts as no text.
class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;
    // The recognised lines in reading order.
    virtual QStringList recognizeLines(const QImage& image) = 0;
};
