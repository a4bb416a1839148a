#pragma once

#include "onboarding/TourStyle.h"

#include <QWidget>
#include <optional>

// A container drawn as a rounded rectangle (or a capsule) in a named colour at an opacity, with
// an optional border drawn inside the same shape. Colours follow the palette.
class RoundedPanel : public QWidget {
    Q_OBJECT
public:
    explicit RoundedPanel(QWidget* parent = nullptr);

    void setFill(Theme::Named color, qreal opacity);
    // A fixed colour in place of the named one, for fills that animate between two.
    void setFillColor(const QColor& color);
    void setBorder(Theme::Named color, qreal opacity, qreal width = 1);
    void setCornerRadius(qreal radius);
    // Corners as round as the shorter side allows.
    void setCapsule();

    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal radius() const;

    Theme::Named fill_ = Theme::Named::secondary;
    qreal fillOpacity_ = 0;
    std::optional<QColor> fixedFill_;
    std::optional<Theme::Named> border_;
    qreal borderOpacity_ = 0;
    qreal borderWidth_ = 1;
    qreal cornerRadius_ = 12;
    bool capsule_ = false;
};
