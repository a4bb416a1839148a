#pragma once

#include <QVector>
#include <QWidget>

class QVariantAnimation;

// A row of dots, one per step, that shows where the tour stands: the current dot in the accent
// colour and a fifth larger, the others faint. It reacts to nothing.
class OnboardingProgressDots : public QWidget {
    Q_OBJECT
public:
    static constexpr int dotSize = 8;
    static constexpr int spacing = 12;

    OnboardingProgressDots(int currentStep, int totalSteps, QWidget* parent = nullptr);

    int currentStep() const { return currentStep_; }
    int totalSteps() const { return totalSteps_; }
    // Moves the highlight, with a spring unless animations are off.
    void setCurrentStep(int step);
    // The centre of a dot, in the widget's coordinates.
    QPointF dotCenter(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVector<double> target() const;

    int currentStep_;
    int totalSteps_;
    // How far each dot is highlighted, from 0 (faint) to 1 (current).
    QVector<double> levels_;
    QVariantAnimation* animation_ = nullptr;
};
