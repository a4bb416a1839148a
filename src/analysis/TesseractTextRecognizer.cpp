#include "analysis/TesseractTextRecognizer.h"

#include <memory>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace {

// Tesseract's own fallback for images that carry no resolution; passing it explicitly keeps the
// engine from warning on stderr for every screenshot.
constexpr int fallbackResolution = 70;
constexpr double inchesPerMeter = 0.0254;

int sourceResolution(const QImage& image) {
    const int dpi = qRound(image.dotsPerMeterX() * inchesPerMeter);
    return dpi >= 30 && dpi <= 2400 ? dpi : fallbackResolution;
}

QStringList linesOf(tesseract::TessBaseAPI& engine) {
    QStringList lines;
    std::unique_ptr<tesseract::ResultIterator> iterator(engine.GetIterator());
    if (!iterator)
        return lines;
    do {
        std::unique_ptr<char[]> text(iterator->GetUTF8Text(tesseract::RIL_TEXTLINE));
        if (!text)
            continue;
        const QString line = QString::fromUtf8(text.get()).trimmed();
        if (!line.isEmpty())
            lines.append(line);
    } while (iterator->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

} // namespace

QStringList TesseractTextRecognizer::recognizeLines(const QImage& image) {
    if (image.isNull())
        return {};
    // Grey levels are what the engine binarises anyway; one byte a pixel keeps the copy small.
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    tesseract::TessBaseAPI engine;
    if (engine.Init(nullptr, "eng", tesseract::OEM_DEFAULT) != 0)
        throw TextRecognitionError(QStringLiteral("Tesseract could not load its English data"));
    engine.SetPageSegMode(tesseract::PSM_AUTO);
    engine.SetImage(grey.constBits(), grey.width(), grey.height(), 1,
                    static_cast<int>(grey.bytesPerLine()));
    engine.SetSourceResolution(sourceResolution(image));
    if (engine.Recognize(nullptr) != 0)
        throw TextRecognitionError(QStringLiteral("Tesseract could not recognise the image"));
    QStringList lines = linesOf(engine);
    engine.End();
    return lines;
}
