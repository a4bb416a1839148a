#pragma once

#include "analysis/TextRecognizer.h"
#include "platform/KippetsError.h"

// Text recognition with Tesseract (English, automatic page segmentation). Each call uses its own
// engine instance, because a Tesseract engine must never be shared between threads.
class TesseractTextRecognizer : public TextRecognizer {
public:
    QStringList recognizeLines(const QImage& image) override;
};

// Tesseract could not start (no language data) or gave up on the image.
class TextRecognitionError : public KippetsError {
public:
    using KippetsError::KippetsError;
};
