#pragma once

#include "ui/NamedColors.h"

#include <QAbstractButton>
#include <QColor>
#include <QString>

class QVariantAnimation;

// The editors' round 32-point button: a symbol on a circle with a soft shadow, growing to 1.05
// with a deeper shadow while the pointer is over it. The circle is either filled with the
// accent colour (a gradient with a white rim, a white symbol, dark on a light accent) or a thin
// translucent material with the symbol in the text colour. The widget leaves room around the circle
// for the shadow.
class RoundSymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Fill { accent, material };

    static constexpr int diameter = 32;
    // Room on every side of the circle for the shadow and the hover growth.
    static constexpr int shadowMargin = 6;

    RoundSymbolButton(const QString& symbol, Fill fill, QWidget* parent = nullptr);

    void setAccentColor(const QColor& color);
    QColor accentColor() const { return accentColor_; }
    bool isHovering() const { return hovering_; }
    double scale() const { return scale_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void setHovering(bool hovering);
    void paintAccentCircle(QPainter& painter, const QRectF& circle);
    void paintMaterialCircle(QPainter& painter, const QRectF& circle);

    QString symbol_;
    Fill fill_;
    QColor accentColor_ = Theme::blue();
    bool hovering_ = false;
    double scale_ = 1.0;
    QVariantAnimation* scaleAnimation_ = nullptr;
};
