#include "window/ElidedLabel.h"

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFullText(text);
}

void ElidedLabel::setFullText(const QString& text) {
    fullText_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    QString oneLine = fullText_;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    setText(fontMetrics().elidedText(oneLine, Qt::ElideRight, std::max(0, width())));
}
