#pragma once

#include <QWidget>

class OnboardingState;

// Step 2: the four ways of putting content into a kippet and the kinds of content it takes. A
// static page: the key letters name the default keys, whatever keys the user has chosen.
class ContentStepView : public QWidget {
    Q_OBJECT
public:
    explicit ContentStepView(OnboardingState* state, QWidget* parent = nullptr);
};
