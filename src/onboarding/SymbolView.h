#pragma once

#include "onboarding/TourStyle.h"

#include <QString>
#include <QWidget>
#include <optional>

// One bundled symbol at a text size: a square about 1.1 times the size, filled with a named
// colour or with a gradient between two running from the top leading to the bottom trailing
// corner, optionally with a glow of a colour around it. Colours follow the palette.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString& symbol, int points, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);
    void setColor(TourStyle::Named color);
    void setGradient(TourStyle::Named from, TourStyle::Named to);
    // A shadow of `color` at `opacity`, with no offset, `radius` points wide.
    void setGlow(TourStyle::Named color, qreal opacity, qreal radius);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateGlow();

    QString symbol_;
    int points_;
    TourStyle::Named from_ = TourStyle::Named::primary;
    std::optional<TourStyle::Named> to_;
    std::optional<TourStyle::Named> glowColor_;
    qreal glowOpacity_ = 0;
    qreal glowRadius_ = 0;
};
