#pragma once

#include "dashboard/KippetTile.h"

// A kippet as a card of the dashboard's grid: the open strip, the preview of its content (faded
// and grey while open), and a footer with icon, name and item count. The widget reaches
// `shadowMargin` beyond the card on every side for the card's shadow.
class KippetCardView : public KippetTile {
    Q_OBJECT
public:
    static constexpr int cardHeight = 200;
    static constexpr int shadowMargin = 10;

    using KippetTile::KippetTile;

    QRectF cardRect() const;

protected:
    QRectF activeDotRect() const override;
    QRectF hitRect() const override { return cardRect(); }
    void paintEvent(QPaintEvent* event) override;

private:
    void paintShadow(class QPainter& painter, const QRectF& card) const;
    void paintStatusStrip(QPainter& painter, const QRectF& strip) const;
    void paintPreview(QPainter& painter, const QRectF& area) const;
    void paintFooter(QPainter& painter, const QRectF& footer) const;
};
