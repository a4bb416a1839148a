#pragma once

#include <QColor>
#include <QWidget>

// The coloured border drawn over a panel's content, inside its rounded edge. It never takes
// the mouse, so clicks and drags reach the content beneath.
class ChromeBorderView : public QWidget {
    Q_OBJECT
public:
    ChromeBorderView(double cornerRadius, QWidget* parent);

    void setBorder(const QColor& color, double width);
    QColor color() const { return color_; }
    double borderWidth() const { return width_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double cornerRadius_;
    QColor color_ = Qt::transparent;
    double width_ = 0;
};
