#include "dashboard/KippetPreview.h"

#include "app/DailyKippet.h"
#include "dashboard/SheetStyle.h"
#include "model/ItemCategory.h"
#include "model/Kippet.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>

namespace KippetPreview {

namespace {
using SheetStyle::TextStyle;

bool isAnalyzing(const Kippet& kippet) {
    for (const KippetItem& item : kippet.items())
        if (item.isProcessing && item.category == ItemCategory::uncategorized)
            return true;
    return false;
}

void paintAnalyzing(QPainter& painter, const QRectF& rect, const QPalette& palette) {
    const qreal dpr = painter.device()->devicePixelRatioF();
    const QColor secondary = SheetStyle::secondary(palette);
    const QFont title = SheetStyle::font(TextStyle::subheadline);
    const QFont caption = SheetStyle::font(TextStyle::caption);
    const qreal height =
        34 + 12 + QFontMetricsF(title).height() + 12 + QFontMetricsF(caption).height();
    qreal y = rect.center().y() - height / 2;
    const QPixmap symbol = SheetStyle::symbol(QStringLiteral("sparkles"),
                                              SheetStyle::withAlpha(secondary, 0.7), 34, dpr);
    painter.drawPixmap(QPointF(rect.center().x() - 17, y), symbol);
    y += 34 + 12;
    painter.setFont(title);
    painter.setPen(SheetStyle::withAlpha(secondary, 0.8));
    painter.drawText(QRectF(rect.left(), y, rect.width(), QFontMetricsF(title).height()),
                     Qt::AlignHCenter, QStringLiteral("Analyzing Content..."));
    y += QFontMetricsF(title).height() + 12;
    painter.setFont(caption);
    painter.setPen(SheetStyle::withAlpha(secondary, 0.6));
    painter.drawText(QRectF(rect.left(), y, rect.width(), QFontMetricsF(caption).height()),
                     Qt::AlignHCenter, QStringLiteral("AI is categorizing your items"));
}

void paintIdle(QPainter& painter, const QRectF& rect, const Kippet& kippet,
               const QPalette& palette) {
    const qreal dpr = painter.device()->devicePixelRatioF();
    const QColor color = kippet.isDailyKippet() ? dailyKippetColor() : kippet.color().toQColor();
    const QFont nameFont = SheetStyle::font(TextStyle::headline);
    const qreal nameHeight = QFontMetricsF(nameFont).height();
    const qreal badge = std::min<qreal>(56, std::max<qreal>(16, rect.height() - nameHeight - 10));
    const qreal top = rect.center().y() - (badge + 10 + nameHeight) / 2;
    const QRectF circle(rect.center().x() - badge / 2, top, badge, badge);

    painter.setPen(Qt::NoPen);
    painter.setBrush(SheetStyle::withAlpha(color, 0.18));
    painter.drawEllipse(circle);
    const qreal iconPoints = badge * 0.45;
    const QPixmap icon = SheetStyle::kippetIcon(kippet.icon(), color, iconPoints, dpr);
    const QSizeF iconSize = icon.deviceIndependentSize();
    painter.drawPixmap(QPointF(circle.center().x() - iconSize.width() / 2,
                               circle.center().y() - iconSize.height() / 2),
                       icon);

    const int count = kippet.totalItemCount();
    if (count > 0) {
        const QRectF bubble(circle.right() - 22 + 6, circle.bottom() - 22 + 6, 22, 22);
        painter.setBrush(palette.color(QPalette::Base));
        painter.drawEllipse(bubble);
        painter.setFont(SheetStyle::font(TextStyle::caption2, QFont::DemiBold));
        painter.setPen(SheetStyle::withAlpha(color, 0.6));
        painter.drawText(bubble, Qt::AlignCenter, QString::number(count));
    }

    painter.setFont(nameFont);
    painter.setPen(SheetStyle::secondary(palette));
    const QRectF nameRect(rect.left(), circle.bottom() + 10, rect.width(), nameHeight);
    painter.drawText(
        nameRect, Qt::AlignHCenter | Qt::AlignTop,
        QFontMetricsF(nameFont).elidedText(kippet.name(), Qt::ElideRight, rect.width()));
}
} // namespace

void paint(QPainter& painter, const QRectF& rect, const Kippet& kippet, const QPalette& palette) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (isAnalyzing(kippet))
        paintAnalyzing(painter, rect, palette);
    else
        paintIdle(painter, rect, kippet, palette);
    painter.restore();
}

} // namespace KippetPreview
