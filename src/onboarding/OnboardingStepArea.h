#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QVariantAnimation;

// Holds the step view on screen. A new step comes in from the trailing edge while fading in, and
// the old one leaves toward the leading edge while fading out, whichever way the tour moved.
// Pictures of both play out the move (the views' own effects cannot be nested in a fade); the
// old view goes at once, the new one shows when the move ends.
class OnboardingStepArea : public QWidget {
    Q_OBJECT
public:
    explicit OnboardingStepArea(QWidget* parent = nullptr);

    QWidget* step() const { return step_; }
    // Takes the new view (and deletes the old one).
    void setStep(QWidget* step);
    bool isMoving() const { return animation_ != nullptr; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void finishMove();

    QPointer<QWidget> step_;
    QPixmap leaving_;
    QPixmap entering_;
    double progress_ = 1.0;
    QVariantAnimation* animation_ = nullptr;
};
