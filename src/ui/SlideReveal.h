#pragma once

#include <QWidget>

class ClockAnimation;

// Holds one part of a form that comes and goes: it enters from its top edge while fading in,
// and leaves the same way, on the form's spring. The box grows with the part, so what lies below
// moves along; hidden, it takes no room. Steps on the Clock; with animations off, or while the
// box is not on screen, a change is complete at once.
class SlideReveal : public QWidget {
    Q_OBJECT
public:
    // Takes `content` as its only child.
    explicit SlideReveal(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }
    // Whether the part is wanted on screen (it may still be entering or leaving).
    bool isRevealed() const { return revealed_; }
    // How far the part is in: 0 gone, 1 fully shown.
    qreal fraction() const;
    void setRevealed(bool revealed);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int contentHeight(int width) const;
    void stepped();
    void settled();
    void placeContent();

    QWidget* content_;
    ClockAnimation* animation_;
    bool revealed_ = true;
};
