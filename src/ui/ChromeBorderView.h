#pragma once

#include <QColor>
#include <QWidget>

// The coloured border drawn over a panel's content, inside its rounded edge. It never takes
// the mouse, so clicks and drags reach the content beneath. It stays in place while hidden and
// repaints only the band along the edge when it changes, so the content is not drawn again.
class ChromeBorderView : public QWidget {
    Q_OBJECT
public:
    ChromeBorderView(double cornerRadius, QWidget* parent);

    // Shows the border in the colour and width.
    void setBorder(const QColor& color, double width);
    // Hides the border; its colour stays.
    void hideBorder();
    bool isBorderShown() const { return shown_; }
    QColor color() const { return color_; }
    double borderWidth() const { return shown_ ? width_ : 0; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateEdge();

    double cornerRadius_;
    QColor color_ = Qt::transparent;
    double width_ = 0;
    bool shown_ = false;
};
