#include "analysis/TesseractTextRecognizer.h"

#include <QLibrary>
#include <memory>
#include <tesseract/capi.h>

namespace {

// Tesseract's own fallback for images that carry no resolution; passing it explicitly keeps the
// engine from warning on stderr for every screenshot.
constexpr int fallbackResolution = 70;
constexpr double inchesPerMeter = 0.0254;

int sourceResolution(const QImage& image) {
    const int dpi = qRound(image.dotsPerMeterX() * inchesPerMeter);
    return dpi >= 30 && dpi <= 2400 ? dpi : fallbackResolution;
}

// The engine's C interface, loaded on first use: the library and the forty libraries it pulls
// in (image codecs, archives, HTTP) would otherwise be loaded and relocated at every start,
// though most sessions never read text from an image.
struct Engine {
    decltype(&TessBaseAPICreate) create = nullptr;
    decltype(&TessBaseAPIDelete) destroy = nullptr;
    decltype(&TessBaseAPIInit2) init = nullptr;
    decltype(&TessBaseAPISetPageSegMode) setPageSegMode = nullptr;
    decltype(&TessBaseAPISetImage) setImage = nullptr;
    decltype(&TessBaseAPISetSourceResolution) setSourceResolution = nullptr;
    decltype(&TessBaseAPIRecognize) recognize = nullptr;
    decltype(&TessBaseAPIGetIterator) iterator = nullptr;
    decltype(&TessResultIteratorGetUTF8Text) lineText = nullptr;
    decltype(&TessResultIteratorNext) next = nullptr;
    decltype(&TessResultIteratorDelete) deleteIterator = nullptr;
    decltype(&TessDeleteText) deleteText = nullptr;
    decltype(&TessBaseAPIEnd) end = nullptr;
    QString error;
};

template <typename Function> bool resolve(QLibrary& library, const char* name, Function* slot) {
    *slot = reinterpret_cast<Function>(library.resolve(name));
    return *slot != nullptr;
}

Engine loadEngine() {
    Engine engine;
    QLibrary library(QStringLiteral("tesseract"), 5);
    if (!library.load()) {
        engine.error = library.errorString();
        return engine;
    }
    const bool complete =
        resolve(library, "TessBaseAPICreate", &engine.create) &&
        resolve(library, "TessBaseAPIDelete", &engine.destroy) &&
        resolve(library, "TessBaseAPIInit2", &engine.init) &&
        resolve(library, "TessBaseAPISetPageSegMode", &engine.setPageSegMode) &&
        resolve(library, "TessBaseAPISetImage", &engine.setImage) &&
        resolve(library, "TessBaseAPISetSourceResolution", &engine.setSourceResolution) &&
        resolve(library, "TessBaseAPIRecognize", &engine.recognize) &&
        resolve(library, "TessBaseAPIGetIterator", &engine.iterator) &&
        resolve(library, "TessResultIteratorGetUTF8Text", &engine.lineText) &&
        resolve(library, "TessResultIteratorNext", &engine.next) &&
        resolve(library, "TessResultIteratorDelete", &engine.deleteIterator) &&
        resolve(library, "TessDeleteText", &engine.deleteText) &&
        resolve(library, "TessBaseAPIEnd", &engine.end);
    if (!complete)
        engine.error = library.errorString();
    return engine;
}

// Loaded once for the process (thread-safe), and never unloaded.
const Engine& engine() {
    static const Engine loaded = loadEngine();
    return loaded;
}

QStringList linesOf(const Engine& api, TessBaseAPI* handle) {
    QStringList lines;
    const std::unique_ptr<TessResultIterator, decltype(api.deleteIterator)> iterator(
        api.iterator(handle), api.deleteIterator);
    if (!iterator)
        return lines;
    do {
        char* text = api.lineText(iterator.get(), tesseract::RIL_TEXTLINE);
        if (!text)
            continue;
        const QString line = QString::fromUtf8(text).trimmed();
        api.deleteText(text);
        if (!line.isEmpty())
            lines.append(line);
    } while (api.next(iterator.get(), tesseract::RIL_TEXTLINE));
    return lines;
}

} // namespace

QStringList TesseractTextRecognizer::recognizeLines(const QImage& image) {
    if (image.isNull())
        return {};
    const Engine& api = engine();
    if (!api.error.isEmpty())
        throw TextRecognitionError(
            QStringLiteral("Tesseract could not be loaded: %1").arg(api.error));
    // Grey levels are what the engine binarises anyway; one byte a pixel keeps the copy small.
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    const std::unique_ptr<TessBaseAPI, decltype(api.destroy)> handle(api.create(), api.destroy);
    if (api.init(handle.get(), nullptr, "eng", tesseract::OEM_DEFAULT) != 0)
        throw TextRecognitionError(QStringLiteral("Tesseract could not load its English data"));
    api.setPageSegMode(handle.get(), tesseract::PSM_AUTO);
    api.setImage(handle.get(), grey.constBits(), grey.width(), grey.height(), 1,
                 static_cast<int>(grey.bytesPerLine()));
    api.setSourceResolution(handle.get(), sourceResolution(image));
    if (api.recognize(handle.get(), nullptr) != 0)
        throw TextRecognitionError(QStringLiteral("Tesseract could not recognise the image"));
    QStringList lines = linesOf(api, handle.get());
    api.end(handle.get());
    return lines;
}
