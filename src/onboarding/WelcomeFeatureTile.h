#pragma once

#include "onboarding/TourStyle.h"

#include <QString>
#include <QWidget>

// One of the welcome step's four feature tiles: a symbol in a 60 × 60 rounded tile of its colour,
// lowered by a small offset so that the row stands in a wave. The widget keeps room below for the
// offset, which may be a fraction of a pixel.
class WelcomeFeatureTile : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 60;
    static constexpr int waveHeight = 5;

    WelcomeFeatureTile(const QString& symbol, Theme::Named color, int index,
                       QWidget* parent = nullptr);

    // 5 × sin(0.5 × index) points downward.
    static double offsetFor(int index);

    QString symbol() const { return symbol_; }
    double verticalOffset() const { return offset_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    Theme::Named color_;
    double offset_;
};
