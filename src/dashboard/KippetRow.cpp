#include "dashboard/KippetRow.h"

#include "dashboard/ElapsedTime.h"
#include "model/Kippet.h"
#include "platform/ClockTimer.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {
using Theme::TextStyle;
constexpr qreal padding = 12;
constexpr qreal spacing = 12;
constexpr qreal badgeSize = 40;
// A wait a timer can hold: the time until a year-old kippet's text changes (a month) does not
// fit a timer's milliseconds, so the row wakes at least daily and plans again.
constexpr std::chrono::milliseconds longestWait = std::chrono::hours(24);

} // namespace

KippetRow::KippetRow(Kippet* kippet, KippetCallback onEdit, KippetCallback onEditInstructions,
                     QWidget* parent)
    : KippetTile(kippet, std::move(onEdit), std::move(onEditInstructions), parent),
      tick_(new ClockTimer(this)) {
    tick_->setSingleShot(true);
    connect(tick_, &ClockTimer::timeout, this, &KippetRow::refreshDetail);
}

void KippetRow::refreshDetail() {
    if (!kippet())
        return;
    const QString text = QStringLiteral("Created ") +
                         ElapsedTime::text(kippet()->createdDate(), Clock::shared().now());
    if (text != detailText_) {
        detailText_ = text;
        update();
    }
    scheduleTick();
}

void KippetRow::scheduleTick() {
    if (!kippet() || !isVisible())
        return;
    tick_->start(
        std::min(ElapsedTime::untilNextChange(kippet()->createdDate(), Clock::shared().now()),
                 std::chrono::duration_cast<std::chrono::milliseconds>(longestWait)));
}

void KippetRow::showEvent(QShowEvent* event) {
    KippetTile::showEvent(event);
    refreshDetail();
}

void KippetRow::hideEvent(QHideEvent* event) {
    KippetTile::hideEvent(event);
    tick_->stop();
}

QRectF KippetRow::activeDotRect() const {
    const QRectF inner = QRectF(rect()).adjusted(padding, padding, -padding, -padding);
    return QRectF(inner.right() - 8, inner.center().y() - 4, 8, 8);
}

void KippetRow::paintEvent(QPaintEvent*) {
    if (!kippet())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal dpr = devicePixelRatioF();
    const qreal openness = this->openness();
    const QColor secondary = Theme::secondary(palette());
    const QColor primary = Theme::primary(palette());
    const QRectF bounds(rect());
    painter.setOpacity(1 - 0.15 * openness);
    Theme::paintUltraThinMaterial(painter, bounds, 12, palette());
    const QRectF inner = bounds.adjusted(padding, padding, -padding, -padding);

    // Badge, grey while open.
    const QRectF circle(inner.left(), inner.center().y() - badgeSize / 2, badgeSize, badgeSize);
    const QColor color = blend(kippetColor(), secondary);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::withAlpha(color, 0.2 - 0.1 * openness));
    painter.drawEllipse(circle);
    const QPixmap icon = Theme::kippetIcon(
        kippet()->icon(), blend(kippetColor(), Theme::withAlpha(secondary, 0.5)), 17, dpr);
    const QSizeF iconSize = icon.deviceIndependentSize();
    painter.drawPixmap(QPointF(circle.center().x() - iconSize.width() / 2,
                               circle.center().y() - iconSize.height() / 2),
                       icon);

    // Open indicator on the trailing side.
    qreal textRight = inner.right();
    if (openness > 0) {
        painter.save();
        painter.setOpacity(painter.opacity() * openness);
        const QRectF dot = activeDotRect();
        const qreal scale = 0.5 + 0.5 * openness;
        paintActiveDot(painter,
                       QRectF(dot.center() - QPointF(dot.width(), dot.height()) * scale / 2,
                              dot.size() * scale));
        const QColor tone = Theme::withAlpha(secondary, 0.7);
        const QFont caption = Theme::font(TextStyle::caption);
        const qreal textWidth = QFontMetricsF(caption).horizontalAdvance(statusText());
        // The text comes in from the trailing edge.
        const QRectF textRect(dot.left() - 6 - textWidth + (1 - openness) * 12, inner.top(),
                              textWidth, inner.height());
        painter.setFont(caption);
        painter.setPen(tone);
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                         QStringLiteral("Kippet is open"));
        const QPixmap arrow = Theme::symbol(SymbolNames::arrowUpForwardApp, tone, 10, dpr);
        const QSizeF arrowSize = arrow.deviceIndependentSize();
        const QPointF arrowAt(textRect.left() - 6 - arrowSize.width(),
                              inner.center().y() - arrowSize.height() / 2);
        painter.drawPixmap(arrowAt, arrow);
        painter.restore();
        if (isOpen())
            textRight = arrowAt.x() - spacing;
    }

    // Name and detail line.
    const qreal left = circle.right() + spacing;
    const QFont nameFont = Theme::font(TextStyle::headline);
    const QFont caption = Theme::font(TextStyle::caption);
    const QFont badgeFont = Theme::font(TextStyle::caption, QFont::Bold);
    const qreal nameHeight = QFontMetricsF(nameFont).height();
    const qreal detailHeight = QFontMetricsF(badgeFont).height() + 4;
    const qreal top = inner.center().y() - (nameHeight + 4 + detailHeight) / 2;
    painter.setFont(nameFont);
    painter.setPen(blend(primary, Theme::withAlpha(secondary, 0.6)));
    painter.drawText(
        QRectF(left, top, textRight - left, nameHeight), Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetricsF(nameFont).elidedText(kippet()->name(), Qt::ElideRight, textRight - left));

    const QRectF detail(left, top + nameHeight + 4, textRight - left, detailHeight);
    const QString created = detailText();
    const qreal createdWidth = QFontMetricsF(caption).horizontalAdvance(created);
    painter.setFont(caption);
    painter.setPen(secondary);
    painter.drawText(detail, Qt::AlignLeft | Qt::AlignVCenter, created);
    const QString bullet = QStringLiteral("•");
    const qreal bulletLeft = left + createdWidth + 6;
    painter.setPen(Theme::withAlpha(secondary, 0.5));
    painter.drawText(QRectF(bulletLeft, detail.top(), 10, detail.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, bullet);
    const QString count = countText();
    const QFontMetricsF badgeMetrics(badgeFont);
    const qreal badgeLeft = bulletLeft + QFontMetricsF(caption).horizontalAdvance(bullet) + 6;
    const QRectF countBadge(badgeLeft, detail.top(), badgeMetrics.horizontalAdvance(count) + 12,
                            detail.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::withAlpha(secondary, 0.2));
    painter.drawRoundedRect(countBadge, countBadge.height() / 2, countBadge.height() / 2);
    painter.setFont(badgeFont);
    painter.setPen(primary);
    painter.drawText(countBadge, Qt::AlignCenter, count);
}
