#pragma once

#include <QAbstractButton>

// One of the small buttons a hovered item card shows: a white symbol on a dark translucent
// circle that reaches four points beyond the symbol.
class CardHoverButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr qreal symbolPoints = 15;

    explicit CardHoverButton(const QString& systemName, QWidget* parent = nullptr);

    // The button's width and height.
    static int side();

    QString systemName() const { return systemName_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString systemName_;
};
