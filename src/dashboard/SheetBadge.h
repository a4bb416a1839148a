#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

// A kippet's icon in a circle of its colour, as the sheets' headers show it: the circle filled
// with the colour at 20 %, optionally outlined, and the symbol in the colour over it.
class SheetBadge : public QWidget {
    Q_OBJECT
public:
    // `borderAlpha`: the opacity of a 1-point outline inside the circle; none draws no outline.
    SheetBadge(int diameter, qreal symbolPoints, std::optional<qreal> borderAlpha,
               QWidget* parent = nullptr);

    void setColor(const QColor& color);
    void setIcon(const QString& icon);
    QColor color() const { return color_; }
    QString icon() const { return icon_; }

    QSize sizeHint() const override { return QSize(diameter_, diameter_); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int diameter_;
    qreal symbolPoints_;
    std::optional<qreal> borderAlpha_;
    QColor color_;
    QString icon_;
};
