#pragma once

#include <QAbstractButton>
#include <QColor>

// One round button of a tray row's action strip: a 12-point symbol on a 24 × 24 circle, white
// on the kippet's colour while its editor is open (dark on a light colour), else secondary on a
// faint circle.
class TuckAwayActionButton : public QAbstractButton {
    Q_OBJECT
public:
    TuckAwayActionButton(const QString& symbol, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    bool isActive() const { return isActive_; }
    void setActive(bool active, const QColor& activeColor);
    QSize sizeHint() const override { return {24, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    bool isActive_ = false;
    QColor activeColor_;
};
