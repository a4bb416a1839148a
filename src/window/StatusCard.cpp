#include "window/StatusCard.h"

#include "ui/SymbolNames.h"
#include "ui/Theme.h"
#include "window/ShimmerSymbol.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

using Theme::TextStyle;

namespace {
struct CardLook {
    QLatin1StringView symbol;
    const char* title;
    const char* subtitle;
    qreal symbolOpacity;
    qreal shimmerPeak;
    int shimmerPeriodMs;
    qreal titleOpacity;
    qreal subtitleOpacity;
};

CardLook lookOf(ExpandedContent content) {
    switch (content) {
    case ExpandedContent::analysisFailed:
        return {SymbolNames::exclamationmarkTriangleFill,
                "AI Analysis Failed",
                "Will continue when available",
                0.7,
                0.4,
                1500,
                0.8,
                0.6};
    case ExpandedContent::importing:
        return {SymbolNames::squareAndArrowDownFill,
                "Importing Content...",
                "Your file is being prepared",
                0.75,
                0.35,
                1400,
                0.85,
                0.7};
    case ExpandedContent::analyzing:
    case ExpandedContent::items:
        break;
    }
    return {SymbolNames::sparkles,
            "Analyzing Content...",
            "AI is categorizing your items",
            0.7,
            0.4,
            1500,
            0.8,
            0.6};
}

QLabel* centredLabel(const QString& text, const QFont& font) {
    auto* label = new QLabel(text);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}
} // namespace

StatusCard::StatusCard(ExpandedContent content, QWidget* parent)
    : QWidget(parent), content_(content) {
    const CardLook look = lookOf(content);
    setObjectName(QStringLiteral("StatusCard"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 0, 16, 0);
    stack->setSpacing(16);
    symbol_ = new ShimmerSymbol(look.symbol, look.symbolOpacity, look.shimmerPeak,
                                look.shimmerPeriodMs, symbolPoints, shimmerWidth);
    title_ = centredLabel(QString::fromUtf8(look.title), Theme::font(TextStyle::title3));
    subtitle_ = centredLabel(QString::fromUtf8(look.subtitle), Theme::font(TextStyle::body));
    stack->addStretch();
    stack->addWidget(symbol_, 0, Qt::AlignHCenter);
    stack->addWidget(title_);
    stack->addWidget(subtitle_);
    stack->addStretch();
    applyColors();
}

QString StatusCard::title() const {
    return title_->text();
}

QString StatusCard::subtitle() const {
    return subtitle_->text();
}

void StatusCard::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void StatusCard::applyColors() {
    const CardLook look = lookOf(content_);
    const QColor secondary = Theme::secondary(palette());
    QPalette titlePalette = title_->palette();
    titlePalette.setColor(QPalette::WindowText, Theme::withAlpha(secondary, look.titleOpacity));
    title_->setPalette(titlePalette);
    QPalette subtitlePalette = subtitle_->palette();
    subtitlePalette.setColor(QPalette::WindowText,
                             Theme::withAlpha(secondary, look.subtitleOpacity));
    subtitle_->setPalette(subtitlePalette);
}
