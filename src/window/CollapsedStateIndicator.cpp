#include "window/CollapsedStateIndicator.h"

#include "model/Kippet.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "window/KippetIconBadge.h"
#include "window/PaintCache.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>
#include <QVBoxLayout>
#include <cmath>
#include <optional>
#include <utility>

namespace {
constexpr int bubbleSide = 22;
// The bubble shares the badge's bottom-right corner, then moves this far right and down.
constexpr int bubbleShift = 6;

QColor withAlpha(QColor colour, qreal alpha) {
    colour.setAlphaF(static_cast<float>(colour.alphaF() * alpha));
    return colour;
}

QColor secondary(const QPalette& palette, qreal opacity) {
    return withAlpha(palette.color(QPalette::WindowText), 0.55 * opacity);
}

QLabel* text(const QString& content, qreal pointDelta, QFont::Weight weight, const QColor& colour) {
    auto* label = new QLabel(content);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() + pointDelta);
    font.setWeight(weight);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

// The resting look: the badge, then the name 10 points below its circle.
constexpr qreal badgeSize = 56;
constexpr int nameGap = 10 - KippetIconBadge::glowMargin;
} // namespace

CollapsedStateIndicator::CollapsedStateIndicator(Kippet* kippet, bool isActive, QWidget* parent)
    : StateIndicator(kippet, isActive, true, parent) {}

QLayout* CollapsedStateIndicator::makeLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    // Texts take the whole width, so that a title wraps only when the tile cannot hold it.
    layout->setAlignment(Qt::AlignVCenter);
    return layout;
}

bool CollapsedStateIndicator::laysOut(State state) const {
    return state != State::idle;
}

void CollapsedStateIndicator::build(State state, QLayout* layout) {
    idle_ = false;
    if (auto* box = static_cast<QVBoxLayout*>(layout))
        box->setSpacing(12);
    switch (state) {
    case State::analyzing:
        buildStatus(layout, makeSymbol(state), QStringLiteral("Analyzing Content..."), 0.8,
                    QStringLiteral("AI is categorizing your items"), 0.6);
        break;
    case State::importing:
        buildStatus(layout, makeSymbol(state), QStringLiteral("Importing Content..."), 0.85,
                    QStringLiteral("Your file is being prepared"), 0.7);
        break;
    case State::analysisFailed:
        buildStatus(layout, makeSymbol(state), QStringLiteral("AI Analysis Failed"), 0.8,
                    QStringLiteral("Will continue when available"), 0.6);
        break;
    case State::ready: {
        auto* symbol = new QLabel;
        symbol->setPixmap(Symbols::pixmap(SymbolNames::arrowDownDoc, 34, secondary(palette(), 1),
                                          devicePixelRatioF()));
        symbol->setAttribute(Qt::WA_TransparentForMouseEvents);
        buildStatus(layout, symbol, QStringLiteral("Ready for Content"), 1,
                    QStringLiteral("Drop files, paste, or import"), 0.6);
        break;
    }
    case State::idle:
        buildIdle();
        break;
    }
}

void CollapsedStateIndicator::buildStatus(QLayout* layout, QWidget* symbol, const QString& title,
                                          qreal titleOpacity, const QString& caption,
                                          qreal captionOpacity) {
    layout->addWidget(symbol);
    layout->setAlignment(symbol, Qt::AlignHCenter);
    layout->addWidget(text(title, 0, QFont::Normal, secondary(palette(), titleOpacity)));
    // The caption is in the secondary colour, a shade lighter than the title's style.
    layout->addWidget(text(caption, -1, QFont::Normal, secondary(palette(), captionOpacity)));
}

void CollapsedStateIndicator::buildIdle() {
    idle_ = true;
    // Read out in place of the drawn texts.
    setAccessibleName(shownName());
    const std::optional<int> count = shownCount();
    setAccessibleDescription(count ? QString::number(*count) : QString());
    update();
}

QString CollapsedStateIndicator::shownName() const {
    return idle_ && kippet_ ? kippet_->name() : QString();
}

std::optional<int> CollapsedStateIndicator::shownCount() const {
    const int count = idle_ && kippet_ ? kippet_->totalItemCount() : 0;
    return count >= 1 ? std::optional<int>(count) : std::nullopt;
}

QFont CollapsedStateIndicator::nameFont() const {
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() + 1);
    font.setWeight(QFont::DemiBold);
    return font;
}

QColor CollapsedStateIndicator::nameColour() const {
    return isActive() ? palette().color(QPalette::WindowText) : secondary(palette(), 1);
}

QColor CollapsedStateIndicator::bubbleColour(const QColor& colour) const {
    // The count in the kippet's colour, darkened or lightened where that colour would hardly
    // show on the bubble (a yellow in the light appearance). Its digits are small text, whose
    // strokes a thin font (Noto Sans) draws a pixel wide or less, blended into the bubble at every
    // edge: the colour itself stands out 4.5:1, as text should, so that what reaches the screen
    // still stands out 3:1 whatever the desktop's font.
    return Theme::legibleOn(withAlpha(colour, isActive() ? 1 : 0.6),
                            palette().color(QPalette::Base), Theme::textContrast);
}

bool CollapsedStateIndicator::restyle() {
    // Only the resting look shows activity; the status layouts change state with it.
    if (!idle_)
        return false;
    update();
    return true;
}

// The badge and the name as one block in the middle; the count's bubble overlaps the badge's
// corner: corners aligned, then 6 points right and down.
QPointF CollapsedStateIndicator::badgeOrigin() const {
    const int side = KippetIconBadge::outerSide(badgeSize);
    const int blockHeight = side + nameGap + QFontMetrics(nameFont()).height();
    return {(width() - side) / 2.0, std::round((height() - blockHeight) / 2.0)};
}

QRectF CollapsedStateIndicator::badgeCircle() const {
    const int side = KippetIconBadge::outerSide(badgeSize);
    return QRectF(badgeOrigin(), QSizeF(side, side))
        .adjusted(KippetIconBadge::glowMargin, KippetIconBadge::glowMargin,
                  -KippetIconBadge::glowMargin, -KippetIconBadge::glowMargin);
}

QRectF CollapsedStateIndicator::bubbleFrame() const {
    // The bubble shares the badge's bottom-trailing corner, then moves by the shift.
    const QPointF corner = badgeCircle().bottomRight() + QPointF(bubbleShift, bubbleShift);
    return {corner - QPointF(bubbleSide, bubbleSide), QSizeF(bubbleSide, bubbleSide)};
}

void CollapsedStateIndicator::paintEvent(QPaintEvent*) {
    if (!idle_ || !kippet_)
        return;
    const QFont font = nameFont();
    const QFontMetrics metrics(font);
    const int side = KippetIconBadge::outerSide(badgeSize);
    const QPointF origin = badgeOrigin();
    QPainter painter(this);
    const QColor colour = displayColor();
    KippetIconBadge::paint(painter, origin, colour, kippet_->icon(), isActive(), badgeSize,
                           devicePixelRatioF(), KippetIconBadge::panelBackdrop(palette()));
    const QRect name(0, qRound(origin.y()) + side + nameGap, width(), metrics.height());
    painter.setPen(nameColour());
    paintName(painter, name, font);
    if (const std::optional<int> count = shownCount())
        paintBubble(painter, *count);
}

// The name on one line, centred, elided when the tile cannot hold it. Shaped once: a launch
// paints hundreds of names, each once, and measuring, eliding and drawing would shape it thrice.
void CollapsedStateIndicator::paintName(QPainter& painter, const QRect& box,
                                        const QFont& font) const {
    QTextLayout layout(kippet_->name(), font);
    layout.setCacheEnabled(true);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(box.width());
    layout.endLayout();
    if (!line.isValid())
        return;
    if (line.naturalTextWidth() > box.width()) {
        painter.setFont(font);
        painter.drawText(
            box, Qt::AlignCenter,
            QFontMetrics(font).elidedText(kippet_->name(), Qt::ElideRight, box.width()));
        return;
    }
    const qreal top = box.top() + (box.height() - line.height()) / 2;
    layout.draw(&painter, QPointF(box.left(), top));
}

// The item count on a small disc of the control background.
void CollapsedStateIndicator::paintBubble(QPainter& painter, int count) const {
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() - 2);
    font.setWeight(QFont::DemiBold);
    const QColor base = palette().color(QPalette::Base);
    const QColor colour = bubbleColour(displayColor());
    const QPointF topLeft = bubbleFrame().topLeft();
    const QSize side(bubbleSide, bubbleSide);
    // Panels at rest mostly share one bubble: the last one is kept at hand, which spares building
    // the cache key (the font's key above all) for each of them. Never destroyed: a pixmap must
    // not outlive the app.
    struct Look {
        int count;
        QRgb colour;
        QRgb base;
        QFont font;
        qreal scale;
        bool operator==(const Look&) const = default;
    };
    static auto& last = *new std::pair<std::optional<Look>, QPixmap>;
    const Look look{count, colour.rgba(), base.rgba(), font, devicePixelRatioF()};
    if (last.first != look) {
        const QString key = QStringLiteral("count-bubble-") + QString::number(count) + u'-' +
                            QString::number(colour.rgba(), 16) + u'-' +
                            QString::number(base.rgba(), 16) + u'-' + font.key();
        const QRectF bounds(0, 0, bubbleSide, bubbleSide);
        const QString label = QString::number(count);
        last = {look, PaintCache::drawing(key, side, look.scale, [&](QPainter& disc) {
                    disc.setRenderHint(QPainter::Antialiasing);
                    disc.setPen(Qt::NoPen);
                    disc.setBrush(base);
                    disc.drawEllipse(bounds);
                    disc.setFont(font);
                    disc.setPen(colour);
                    disc.drawText(bounds, Qt::AlignCenter, label);
                })};
    }
    painter.drawPixmap(topLeft, last.second);
}

void CollapsedStateIndicator::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // The press still gives the panel the keyboard, as anywhere else on it.
    if (QWidget* panel = window())
        panel->activateWindow();
    pressed_ = true;
}

void CollapsedStateIndicator::mouseReleaseEvent(QMouseEvent* event) {
    const bool tap = pressed_ && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (tap)
        emit tapped(event->timestamp());
}
