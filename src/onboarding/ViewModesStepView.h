#pragma once

#include "model/KippetViewMode.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <chrono>

class ClockTimer;
class OnboardingState;
class ViewModeCard;
class ViewModePreview;

// Step 3: the three view modes. A card per mode, a preview of the tour's preview mode that moves
// on to the next mode every 3 seconds while the step is on screen, and the fixed keys of the
// modes. A click on any card, the selected one included, ends the rotation for this visit; each
// visit builds the step anew, so rotation resumes from the mode last shown.
class ViewModesStepView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds rotationInterval{3000};
    // The least the preview is given where the tour is too short for its full height.
    static constexpr int minimumPreviewHeight = 160;

    explicit ViewModesStepView(OnboardingState* state, QWidget* parent = nullptr);

    bool autoRotate() const { return autoRotate_; }
    bool isRotating() const;
    ViewModePreview* preview() const { return preview_; }
    QList<ViewModeCard*> cards() const { return cards_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* modeCards();
    QWidget* previewSection();
    QWidget* shortcutBadges();
    void select(KippetViewMode mode);
    void rotate();
    void showPreviewMode();

    QPointer<OnboardingState> state_;
    bool autoRotate_ = true;
    ClockTimer* rotationTimer_;
    QList<ViewModeCard*> cards_;
    ViewModePreview* preview_ = nullptr;
};
