#pragma once

#include <QColor>
#include <QWidget>

// A section's emblem: a symbol in the title size and a colour, centred in a 44 × 44 tile of the
// same colour at 10 %, with corners of radius 10.
class SettingsIconTile : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 44;

    SettingsIconTile(const QString& symbol, const QColor& color, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override { return QSize(side, side); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QColor color_;
};
