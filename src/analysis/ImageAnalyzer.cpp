#include "analysis/ImageAnalyzer.h"

#include "analysis/AIServiceError.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/PerceivedText.h"
#include "analysis/TesseractTextRecognizer.h"
#include "platform/WorkerPool.h"

#include <QCoroFuture>
#include <QtConcurrent>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

struct Examination {
    bool decoded = false;
    QStringList labels;
    QString text;
};

// Runs on a worker thread with its own copies of everything it touches.
Examination examine(QByteArray content, std::shared_ptr<ImageClassifier> classifier,
                    std::shared_ptr<TextRecognizer> recognizer) {
    Examination result;
    {
        const std::optional<QImage> image = ImageAnalyzer::decodeImage(content);
        if (image) {
            result.decoded = true;
            result.labels = ImageAnalyzer::classify(classifier.get(), *image);
            result.text = ImageAnalyzer::recognizeText(*recognizer, *image);
        }
    }
    // The copies the classifier and the recogniser made of a large picture come from this
    // worker's own heap, which keeps what is freed for the worker's next use: every worker that
    // ran an analysis kept as much as one took, and eight large pastes held several times the
    // pixels' budget. What the picture's examination freed goes back to the system now.
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
    return result;
}

// Each word's first letter upper case, the rest lower case.
QString capitalized(const QString& text) {
    QString result = text.toLower();
    bool wordStart = true;
    for (QChar& character : result) {
        if (character.isSpace()) {
            wordStart = true;
        } else if (wordStart) {
            character = character.toUpper();
            wordStart = false;
        }
    }
    return result;
}

QString firstLine(const QString& trimmedText) {
    const QStringList pieces = trimmedText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString line = pieces.isEmpty() ? QString() : pieces.first();
    qsizetype start = 0;
    qsizetype end = line.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(line[start]))
        ++start;
    while (end > start && blank(line[end - 1]))
        --end;
    return line.mid(start, end - start);
}

} // namespace

ImageAnalyzer::ImageAnalyzer(std::shared_ptr<ImageClassifier> classifier,
                             std::shared_ptr<TextRecognizer> recognizer)
    : classifier_(std::move(classifier)), recognizer_(std::move(recognizer)) {
    if (!recognizer_)
        recognizer_ = std::make_shared<TesseractTextRecognizer>();
}

QCoro::Task<ContentAnalysis> ImageAnalyzer::analyze(KippetItem item,
                                                    std::optional<QString> customInstructions) {
    Q_UNUSED(customInstructions);
    const Examination examination = co_await QtConcurrent::run(
        WorkerPool::shared(), examine, item.content, classifier_, recognizer_);
    if (!examination.decoded)
        throw AIServiceError(AIServiceError::Case::invalidContent);
    co_return buildAnalysis(examination.labels, examination.text);
}

QCoro::Task<QString> ImageAnalyzer::sanitize(QString instructions) {
    Q_UNUSED(instructions);
    throw AIServiceError(AIServiceError::Case::unsupportedFeature);
    co_return QString();
}

std::optional<QImage> ImageAnalyzer::decodeImage(const QByteArray& content) {
    return IsolatedImageDecoder::shared()->decodeWithin(content, analysisSize);
}

QStringList ImageAnalyzer::classify(ImageClassifier* classifier, const QImage& image) {
    QStringList labels;
    if (!classifier)
        return labels;
    try {
        for (const ImageLabel& label : classifier->classify(image)) {
            if (label.confidence > labelThreshold)
                labels.append(label.identifier);
            if (labels.size() == maxLabels)
                break;
        }
    } catch (...) {
        // A classifier that fails leaves the image without labels; analysis goes on.
        labels.clear();
    }
    return labels;
}

QString ImageAnalyzer::recognizeText(TextRecognizer& recognizer, const QImage& image) {
    try {
        return recognizer.recognizeLines(image).join(QLatin1Char('\n'));
    } catch (...) {
        // Recognition that fails leaves the image without text; analysis goes on.
        return QString();
    }
}

ContentAnalysis ImageAnalyzer::buildAnalysis(const QStringList& labels, const QString& text) {
    const QString trimmed = text.trimmed();
    const bool hasText = !trimmed.isEmpty();
    ContentAnalysis analysis;
    if (hasText)
        analysis.title = firstLine(trimmed);
    else
        analysis.title = labels.isEmpty() ? QStringLiteral("Image") : capitalized(labels.first());

    if (hasText)
        analysis.description = QStringLiteral("Image containing text");
    else if (!labels.isEmpty())
        analysis.description = QStringLiteral("Image: ") +
                               labels.mid(0, labelsInDescription).join(QStringLiteral(", "));
    else
        analysis.description = QStringLiteral("Image");

    analysis.tags =
        labels.isEmpty() ? QStringList{QStringLiteral("image")} : labels.mid(0, maxTags);
    analysis.category = PerceivedText::length(trimmed) <= maxImageCharactersForImages
                            ? ItemCategory::images
                            : ItemCategory::documents;
    analysis.confidence = confidence;
    return analysis;
}
