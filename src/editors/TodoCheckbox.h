#pragma once

#include <QAbstractButton>

// The round checkbox of a todo row: a circle outline, with a filled dot while the todo is done.
// Only the circle takes clicks. Accessibility reads it as a button whose value is "checked" or
// "unchecked".
class TodoCheckbox : public QAbstractButton {
    Q_OBJECT
public:
    TodoCheckbox(double size, double fillSize, QWidget* parent = nullptr);

    bool isDone() const { return done_; }
    void setDone(bool done);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    double size_;
    double fillSize_;
    bool done_ = false;
};
