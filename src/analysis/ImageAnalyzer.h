#pragma once

#include "analysis/ContentAnalyzer.h"
#include "analysis/ImageClassifier.h"
#include "analysis/ImageLabel.h"
#include "analysis/TextRecognizer.h"

#include <QImage>
#include <memory>
#include <optional>

// Analyses image items on the device without a language model: decodes the image, classifies it
// and recognises its text, then derives title, description, tags and category by fixed rules.
// Decoding, classification and recognition run on a worker thread; the GUI thread stays free.
// Without a classifier images get no labels and the no-label rules apply.
class ImageAnalyzer : public ContentAnalyzer {
public:
    static constexpr double labelThreshold = 0.3;
    static constexpr int maxLabels = 10;
    static constexpr int maxTags = 6;
    static constexpr int labelsInDescription = 3;
    static constexpr int maxImageCharactersForImages = 200;
    static constexpr double confidence = 0.8;
    // Pictures are looked at no larger than this: a 48-megapixel photo is read at a quarter of
    // its pixels, which still shows its text and objects, and costs no more than a screenshot.
    static constexpr QSize analysisSize{4096, 4096};

    // The recognizer defaults to Tesseract; the classifier defaults to none.
    explicit ImageAnalyzer(std::shared_ptr<ImageClassifier> classifier = nullptr,
                           std::shared_ptr<TextRecognizer> recognizer = nullptr);

    AnalyzerID id() const override { return AnalyzerID::image; }
    AnalyzerCapabilities capabilities() const override {
        return AnalyzerCapabilities(AnalyzerCapabilities::image);
    }
    std::optional<AnalyzerUnavailableReason> unavailableReason() const override {
        return std::nullopt;
    }
    QCoro::Task<ContentAnalysis> analyze(KippetItem item,
                                         std::optional<QString> customInstructions) override;
    QCoro::Task<QString> sanitize(QString instructions) override;

    // The first image of the data, shrunk to fit within analysisSize, or nothing when the data is
    // not a readable image of a format the intake takes (see ImageDecoder). Decoded in a decoder
    // process (see IsolatedImageDecoder).
    static std::optional<QImage> decodeImage(const QByteArray& content);
    // Identifiers of the labels strictly above the threshold, in the given order, at most ten.
    static QStringList classify(ImageClassifier* classifier, const QImage& image);
    // The recognised lines joined with line feeds; empty when recognition fails.
    static QString recognizeText(TextRecognizer& recognizer, const QImage& image);
    static ContentAnalysis buildAnalysis(const QStringList& labels, const QString& text);

private:
    std::shared_ptr<ImageClassifier> classifier_;
    std::shared_ptr<TextRecognizer> recognizer_;
};
