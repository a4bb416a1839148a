#pragma once

#include "analysis/AIMode.h"
#include "analysis/AnalyzerID.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <optional>

class AIModeCard;
class AIPreferences;
class CrossFade;
class OnboardingState;
class QLabel;
class RoundedPanel;
class SymbolView;

// Step 5: how items are analysed. Three cards write the chosen mode to the preferences at once,
// so the choice holds however the tour ends; a panel explains the chosen mode, and a note warns
// that custom instructions need a model. The on-device card's badge shows whether the local model
// server can be used, from each answer of its probe while the step is shown.
class AIFeaturesStepView : public QWidget {
    Q_OBJECT
public:
    explicit AIFeaturesStepView(OnboardingState* state, QWidget* parent = nullptr);

    AIPreferences* preferences() const { return preferences_; }
    QString onDeviceStatusLabel() const { return onDeviceStatusLabel_; }
    bool onDeviceAvailable() const { return onDeviceAvailable_; }
    QList<AIModeCard*> cards() const { return cards_; }
    AIModeCard* card(AIMode mode) const;
    RoundedPanel* infoPanel() const { return panel_; }
    // Cross-fades the panel when the mode changes.
    CrossFade* infoPanelFade() const { return panelFade_; }
    QLabel* infoHeadline() const { return panelHeadline_; }
    QLabel* infoCaption() const { return panelCaption_; }
    QWidget* note() const { return note_; }

    void selectMode(AIMode mode);
    // Each answer sets both the text and whether the model is usable.
    void updateOnDeviceStatus(std::optional<AnalyzerUnavailableReason> reason);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* modeCards();
    QWidget* infoSection();
    QWidget* noteRow();
    void showMode();

    QPointer<OnboardingState> state_;
    AIPreferences* preferences_;
    QString onDeviceStatusLabel_;
    bool onDeviceAvailable_ = false;
    QList<AIModeCard*> cards_;
    RoundedPanel* panel_ = nullptr;
    SymbolView* panelSymbol_ = nullptr;
    QLabel* panelHeadline_ = nullptr;
    QLabel* panelCaption_ = nullptr;
    QWidget* note_ = nullptr;
    std::optional<AIMode> shownMode_;
    CrossFade* panelFade_ = nullptr;
};
