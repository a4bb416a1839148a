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
    void setColor(Theme::Named color);
    // A fixed colour, for a symbol on a coloured tile or at an opacity of its own.
    void setColor(const QColor& color);
    void setGradient(Theme::Named from, Theme::Named to);
    // A shadow of `color` at `opacity`, with no offset, `radius` points wide.
    void setGlow(Theme::Named color, qreal opacity, qreal radius);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateGlow();

    QString symbol_;
    int points_;
    Theme::Named from_ = Theme::Named::primary;
    std::optional<Theme::Named> to_;
    std::optional<QColor> fixed_;
    std::optional<Theme::Named> glowColor_;
    qreal glowOpacity_ = 0;
    qreal glowRadius_ = 0;
};
