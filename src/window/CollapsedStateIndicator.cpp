#include "window/CollapsedStateIndicator.h"

#include "app/Symbols.h"
#include "model/Kippet.h"
#include "window/KippetIconBadge.h"
#include "window/PaintCache.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int bubbleSide = 22;
// The bubble's centre sits this far right of and below the badge's bottom-right corner.
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

// The item count on a small disc of the control background.
class CountBubble : public QWidget {
public:
    CountBubble(int count, const QColor& colour, QWidget* parent)
        : QWidget(parent), count_(count), colour_(colour) {
        setObjectName(QStringLiteral("CountBubble"));
        setFixedSize(bubbleSide, bubbleSide);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAccessibleName(QString::number(count));
    }

    void setColour(const QColor& colour) {
        colour_ = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QFont font = this->font();
        font.setPointSizeF(font.pointSizeF() - 2);
        font.setWeight(QFont::DemiBold);
        const QColor base = palette().color(QPalette::Base);
        const QString key = QStringLiteral("count-bubble-%1-%2-%3-%4")
                                .arg(count_)
                                .arg(colour_.rgba(), 8, 16)
                                .arg(base.rgba(), 8, 16)
                                .arg(font.key());
        const QRectF bounds(rect());
        const QString label = QString::number(count_);
        QPainter painter(this);
        painter.drawPixmap(
            QPointF(0, 0),
            PaintCache::drawing(key, size(), devicePixelRatioF(), [&](QPainter& disc) {
                disc.setPen(Qt::NoPen);
                disc.setBrush(base);
                disc.drawEllipse(bounds);
                disc.setFont(font);
                disc.setPen(colour_);
                disc.drawText(bounds, Qt::AlignCenter, label);
            }));
    }

private:
    int count_;
    QColor colour_;
};
} // namespace

CollapsedStateIndicator::CollapsedStateIndicator(Kippet* kippet, bool isActive, QWidget* parent)
    : StateIndicator(kippet, isActive, true, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    // Texts take the whole width, so that a title wraps only when the tile cannot hold it.
    layout->setAlignment(Qt::AlignVCenter);
}

void CollapsedStateIndicator::build(State state, QLayout* layout) {
    badge_ = nullptr;
    name_ = nullptr;
    delete bubble_;
    bubble_ = nullptr;
    auto* box = static_cast<QVBoxLayout*>(layout);
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
        symbol->setPixmap(Symbols::pixmap(QStringLiteral("arrow.down.doc"), 34,
                                          secondary(palette(), 1), devicePixelRatioF()));
        symbol->setAttribute(Qt::WA_TransparentForMouseEvents);
        buildStatus(layout, symbol, QStringLiteral("Ready for Content"), 1,
                    QStringLiteral("Drop files, paste, or import"), 0.6);
        break;
    }
    case State::idle:
        buildIdle(layout);
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

void CollapsedStateIndicator::buildIdle(QLayout* layout) {
    auto* box = static_cast<QVBoxLayout*>(layout);
    // The badge's widget has room for its glow: the name keeps 10 points from the circle.
    box->setSpacing(10 - KippetIconBadge::glowMargin);
    const QColor colour = displayColor();
    badge_ = new KippetIconBadge(colour, kippet_ ? kippet_->icon() : QString(), isActive(), 56);
    layout->addWidget(badge_);
    layout->setAlignment(badge_, Qt::AlignHCenter);
    QLabel* name = text(kippet_ ? kippet_->name() : QString(), 1, QFont::DemiBold, nameColour());
    name->setObjectName(QStringLiteral("KippetName"));
    name->setWordWrap(false);
    name->setTextFormat(Qt::PlainText);
    name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(name);
    name_ = name;
    const int count = kippet_ ? kippet_->totalItemCount() : 0;
    if (count >= 1) {
        bubble_ = new CountBubble(count, bubbleColour(colour), this);
        bubble_->show();
    }
}

QColor CollapsedStateIndicator::nameColour() const {
    return isActive() ? palette().color(QPalette::WindowText) : secondary(palette(), 1);
}

QColor CollapsedStateIndicator::bubbleColour(const QColor& colour) const {
    return withAlpha(colour, isActive() ? 1 : 0.6);
}

bool CollapsedStateIndicator::restyle() {
    // Only the idle layout shows activity; the status layouts change state with it.
    if (!badge_ || !name_)
        return false;
    badge_->setIsActive(isActive());
    QPalette palette = name_->palette();
    palette.setColor(QPalette::WindowText, nameColour());
    name_->setPalette(palette);
    if (bubble_)
        static_cast<CountBubble*>(bubble_)->setColour(bubbleColour(displayColor()));
    return true;
}

void CollapsedStateIndicator::arranged() {
    placeBubble();
}

void CollapsedStateIndicator::resizeEvent(QResizeEvent* event) {
    StateIndicator::resizeEvent(event);
    placeBubble();
}

// The bubble overlaps the badge's corner and may reach past the badge's own box.
void CollapsedStateIndicator::placeBubble() {
    if (!bubble_ || !badge_)
        return;
    const QPointF corner = badge_->geometry().topLeft() + badge_->circleRect().bottomRight();
    QRect frame(0, 0, bubbleSide, bubbleSide);
    frame.moveCenter((corner + QPointF(bubbleShift, bubbleShift)).toPoint());
    bubble_->setGeometry(frame);
    bubble_->raise();
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
