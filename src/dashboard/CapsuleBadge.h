#pragma once

#include <QColor>
#include <QWidget>

// A short word on a capsule of its colour at 20 %, the text in the colour ("Active").
class CapsuleBadge : public QWidget {
    Q_OBJECT
public:
    explicit CapsuleBadge(const QString& text, QWidget* parent = nullptr);

    QString text() const { return text_; }
    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor color_;
};
