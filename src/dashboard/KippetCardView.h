#pragma once

#include "dashboard/KippetTile.h"

class CollapsedStateIndicator;
class DimmedPreviewEffect;

// A kippet as a card of the dashboard's grid: the open strip, the preview of its content (the
// collapsed window's own status, faded and grey while open), and a footer with icon, name and
// item count. The widget reaches `shadowMargin` beyond the card on every side for the card's
// shadow.
class KippetCardView : public KippetTile {
    Q_OBJECT
public:
    static constexpr int cardHeight = 200;
    static constexpr int shadowMargin = 10;

    KippetCardView(Kippet* kippet, KippetCallback onEdit, KippetCallback onEditInstructions,
                   QWidget* parent = nullptr);

    QRectF cardRect() const;
    // The collapsed window's status of the kippet, never the active one's.
    CollapsedStateIndicator* preview() const { return preview_; }

protected:
    QRectF activeDotRect() const override;
    QRectF hitRect() const override { return cardRect(); }
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void opennessChanged() override;

private:
    struct Areas {
        QRectF strip;
        QRectF preview;
        QRectF footer;
    };
    Areas areas() const;
    void paintShadow(class QPainter& painter, const QRectF& card) const;
    void paintStatusStrip(QPainter& painter, const QRectF& strip) const;
    void paintFooter(QPainter& painter, const QRectF& footer) const;

    // Holds the preview and dims it.
    QWidget* previewHost_;
    CollapsedStateIndicator* preview_;
    DimmedPreviewEffect* dimmed_;
};
