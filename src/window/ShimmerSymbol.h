#pragma once

#include <QString>
#include <QWidget>

class QVariantAnimation;

// The animated symbol of a status: the glyph pulses, and a light band sweeps across it from left
// to right, seen only inside the glyph. Both run only while the symbol is shown and animations
// are on.
class ShimmerSymbol : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal pointSize = 34;
    static constexpr qreal bandWidth = 52;

    // `opacity` of the glyph, `peakOpacity` of the band's middle, one sweep every `periodMs`.
    ShimmerSymbol(const QString& systemName, qreal opacity, qreal peakOpacity, int periodMs,
                  QWidget* parent = nullptr);

    QString systemName() const { return systemName_; }
    // The band's horizontal offset from the centre, -100 to 100 points.
    qreal shimmerOffset() const { return shimmerOffset_; }
    bool isAnimating() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startShimmer();
    QImage band(const QPixmap& glyph) const;

    QString systemName_;
    qreal opacity_;
    qreal peakOpacity_;
    qreal shimmerOffset_ = -100;
    // 1 at the pulse's brightest.
    qreal pulse_ = 1;
    QVariantAnimation* shimmer_;
    QVariantAnimation* pulseAnimation_;
};
