#pragma once

#include "model/OnboardingState.h"

#include <QPointer>
#include <QWidget>

class CrossFade;
class QCheckBox;
class QLabel;
class RoundedPanel;
class SymbolView;

// Step 1: the iCloud choice. The toggle edits the tour's iCloudSyncPreference in memory only; the
// completion step stores it. Where this system cannot synchronise, the toggle is disabled and
// shown off, the card says so, and the tour keeps the value it read when it began.
class iCloudSyncStepView : public QWidget {
    Q_OBJECT
public:
    explicit iCloudSyncStepView(OnboardingState* state, QWidget* parent = nullptr);

private:
    QWidget* switchCard();
    QWidget* statusCard();
    QWidget* benefits();
    // Shows what the current choice means; `animated` cross-fades the whole card.
    void showStatus(bool animated);

    QPointer<OnboardingState> state_;
    bool available_;
    QCheckBox* toggle_ = nullptr;
    RoundedPanel* status_ = nullptr;
    SymbolView* statusSymbol_ = nullptr;
    QLabel* statusTitle_ = nullptr;
    QLabel* statusExplanation_ = nullptr;
    CrossFade* statusFade_ = nullptr;
};
