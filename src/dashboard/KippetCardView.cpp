#include "dashboard/KippetCardView.h"

#include "dashboard/DimmedPreviewEffect.h"
#include "model/Kippet.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"
#include "window/CollapsedStateIndicator.h"
#include "window/PaintCache.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
using Theme::TextStyle;

constexpr qreal radius = 16;
constexpr qreal padding = 16;
constexpr qreal stripHeight = 16;
constexpr qreal spacing = 12;
constexpr qreal footerHeight = 22;

} // namespace

KippetCardView::KippetCardView(Kippet* kippet, KippetCallback onEdit,
                               KippetCallback onEditInstructions, QWidget* parent)
    : KippetTile(kippet, std::move(onEdit), std::move(onEditInstructions), parent),
      previewHost_(new QWidget(this)), preview_(new CollapsedStateIndicator(kippet, false)),
      dimmed_(new DimmedPreviewEffect(previewHost_)) {
    // Clicks on the preview are clicks on the card.
    previewHost_->setAttribute(Qt::WA_TransparentForMouseEvents);
    preview_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* box = new QHBoxLayout(previewHost_);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(preview_);
    previewHost_->setGraphicsEffect(dimmed_);
    opennessChanged();
}

// Open: the preview at 30 % and without colour.
void KippetCardView::opennessChanged() {
    const qreal openness = this->openness();
    dimmed_->setEnabled(openness > 0);
    dimmed_->setDimming(openness);
}

void KippetCardView::resizeEvent(QResizeEvent* event) {
    KippetTile::resizeEvent(event);
    previewHost_->setGeometry(areas().preview.toAlignedRect());
}

KippetCardView::Areas KippetCardView::areas() const {
    const QRectF content = cardRect().adjusted(padding, padding, -padding, -padding);
    Areas areas;
    areas.strip = QRectF(content.left(), content.top(), content.width(), stripHeight);
    areas.footer =
        QRectF(content.left(), content.bottom() - footerHeight, content.width(), footerHeight);
    areas.preview = QRectF(content.left(), areas.strip.bottom() + spacing, content.width(),
                           areas.footer.top() - spacing - (areas.strip.bottom() + spacing));
    return areas;
}

QRectF KippetCardView::cardRect() const {
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

QRectF KippetCardView::activeDotRect() const {
    const QRectF card = cardRect();
    const qreal top = card.top() + padding + (stripHeight - 8) / 2;
    return QRectF(card.right() - padding - 4 - 8, top, 8, 8);
}

void KippetCardView::paintShadow(QPainter& painter, const QRectF& card) const {
    // A soft shadow 6 below the card: rings of falling opacity out to the blur radius.
    const double opacity = 0.08 - 0.04 * openness();
    const auto drawShadow = [card, opacity](QPainter& target) {
        target.setPen(Qt::NoPen);
        const QRectF base = card.translated(0, 6);
        constexpr int steps = 6;
        for (int step = steps; step >= 1; --step) {
            const qreal spread = step * 1.6;
            target.setBrush(QColor::fromRgbF(0, 0, 0, float(opacity * 2.0 / steps)));
            target.drawRoundedRect(base.adjusted(-spread + 6, -spread + 6, spread - 6, spread - 6),
                                   radius + spread / 2, radius + spread / 2);
        }
    };
    // At rest every card of a size shares one drawing; mid-animation it is drawn as it is.
    const qreal openness = this->openness();
    if (openness > 0 && openness < 1) {
        drawShadow(painter);
        return;
    }
    const QString key = QStringLiteral("card-shadow-%1-%2-%3-%4-%5")
                            .arg(card.x())
                            .arg(card.y())
                            .arg(card.width())
                            .arg(card.height())
                            .arg(openness);
    PaintCache::blit(painter, rect(),
                     PaintCache::drawing(key, size(), devicePixelRatioF(), drawShadow));
}

void KippetCardView::paintStatusStrip(QPainter& painter, const QRectF& strip) const {
    const qreal openness = this->openness();
    if (openness <= 0)
        return;
    painter.save();
    painter.setOpacity(openness);
    const qreal dpr = devicePixelRatioF();
    const QColor tone = Theme::withAlpha(Theme::secondary(palette()), 0.7);
    const QRectF inner = strip.adjusted(4, 0, -4, 0);
    const QPixmap arrow = Theme::symbol(SymbolNames::arrowUpForwardApp, tone, 10, dpr);
    const QSizeF arrowSize = arrow.deviceIndependentSize();
    painter.drawPixmap(QPointF(inner.left(), inner.center().y() - arrowSize.height() / 2), arrow);
    painter.setFont(Theme::font(TextStyle::caption2));
    painter.setPen(tone);
    // The text comes in from the leading edge.
    const qreal shift = (1 - openness) * -12;
    painter.drawText(inner.adjusted(arrowSize.width() + 4 + shift, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kippet is open"));
    // The dot grows from half its size.
    const QRectF dot = activeDotRect();
    const qreal scale = 0.5 + 0.5 * openness;
    paintActiveDot(painter, QRectF(dot.center() - QPointF(dot.width(), dot.height()) * scale / 2,
                                   dot.size() * scale));
    painter.restore();
}

void KippetCardView::paintFooter(QPainter& painter, const QRectF& footer) const {
    const qreal dpr = devicePixelRatioF();
    const QColor secondary = Theme::secondary(palette());
    const QColor primary = Theme::primary(palette());

    const QColor iconColor = blend(kippetColor(), Theme::withAlpha(secondary, 0.5));
    const QPixmap icon = Theme::kippetIcon(kippet()->icon(), iconColor, 14, dpr);
    const QSizeF iconSize = icon.deviceIndependentSize();
    painter.drawPixmap(QPointF(footer.left(), footer.center().y() - iconSize.height() / 2), icon);

    const QFont badgeFont = Theme::font(TextStyle::caption, QFont::Bold);
    const QString count = countText();
    const QFontMetricsF badgeMetrics(badgeFont);
    const QSizeF badgeSize(badgeMetrics.horizontalAdvance(count) + 16, badgeMetrics.height() + 8);
    const QRectF badge(footer.right() - badgeSize.width(),
                       footer.center().y() - badgeSize.height() / 2, badgeSize.width(),
                       badgeSize.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::withAlpha(secondary, 0.2 - 0.1 * openness()));
    painter.drawRoundedRect(badge, badge.height() / 2, badge.height() / 2);
    painter.setFont(badgeFont);
    painter.setPen(blend(primary, Theme::withAlpha(secondary, 0.5)));
    painter.drawText(badge, Qt::AlignCenter, count);

    const QFont nameFont = Theme::font(TextStyle::headline);
    const QRectF nameRect(footer.left() + iconSize.width() + 8, footer.top(),
                          badge.left() - 8 - (footer.left() + iconSize.width() + 8),
                          footer.height());
    painter.setFont(nameFont);
    painter.setPen(blend(primary, Theme::withAlpha(secondary, 0.6)));
    painter.drawText(
        nameRect, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetricsF(nameFont).elidedText(kippet()->name(), Qt::ElideRight, nameRect.width()));
}

void KippetCardView::paintEvent(QPaintEvent* event) {
    if (!kippet())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = cardRect();
    const Areas parts = areas();
    const qreal openness = this->openness();
    const QColor fill = palette().color(QPalette::Window);
    const QColor edge = Theme::withAlpha(Theme::secondary(palette()), 0.12);
    const auto paintBody = [this, card, fill, edge](QPainter& target) {
        paintShadow(target, card);
        QPainterPath shape;
        shape.addRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        target.fillPath(shape, fill);
        target.setPen(QPen(edge, 1));
        target.setBrush(Qt::NoBrush);
        target.drawPath(shape);
    };
    // At rest every card of a size and look shares one drawing of its shadow, body and edge.
    // The strip and the footer sit a padding inside the rounded edge, clear of its corners.
    if (openness > 0 && openness < 1) {
        paintBody(painter);
    } else {
        const QString key = QStringLiteral("card-body-%1-%2-%3-%4")
                                .arg(openness)
                                .arg(fill.rgba(), 8, 16)
                                .arg(edge.rgba(), 8, 16)
                                .arg(card.width());
        PaintCache::blit(painter, event->rect(),
                         PaintCache::drawing(key, size(), devicePixelRatioF(), paintBody));
    }
    paintStatusStrip(painter, parts.strip);
    paintFooter(painter, parts.footer);
}
