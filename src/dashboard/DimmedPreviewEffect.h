#pragma once

#include <QGraphicsEffect>

// Shows a widget faded and without colour in proportion to its dimming (0: as it is, 1: grey
// at 30 %), in one pass over one picture of it: two nested effects would render it twice.
class DimmedPreviewEffect : public QGraphicsEffect {
public:
    explicit DimmedPreviewEffect(QObject* parent = nullptr);

    qreal dimming() const { return dimming_; }
    void setDimming(qreal dimming);

protected:
    void draw(QPainter* painter) override;

private:
    qreal dimming_ = 0;
};
