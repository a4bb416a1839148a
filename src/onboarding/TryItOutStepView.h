#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class ConfettiWindow;
class DemoTaskRow;
class Kippet;
class OnboardingState;
class PopTransition;
class QLabel;

// Step 6: a real kippet to practise on. The first visit of a tour makes the demo kippet, puts it
// among the open kippets (never in the store) and opens its window against the tour's right
// edge; what the user does to its window ticks the five tasks of the checklist, on any step of
// the tour. Ticking the last task while this step is shown sets off the confetti.
class TryItOutStepView : public QWidget {
    Q_OBJECT
public:
    struct Task {
        const char* identifier;
        const char* title;
        const char* notification;
    };
    static const QList<Task>& tasks();

    TryItOutStepView(OnboardingState* state, QWidget* window, QWidget* parent = nullptr);

    QList<DemoTaskRow*> rows() const { return rows_; }
    QWidget* progressLine() const { return progress_; }
    QLabel* progressText() const { return progressText_; }
    QLabel* completionMessage() const { return completion_; }
    // Grows and fades the completion message in, on the tour's step spring.
    PopTransition* completionTransition() const { return completionPop_; }
    ConfettiWindow* confettiWindow() const;

    // The demo kippet of a tour, as the step makes it; its observers end with the state.
    static Kippet* makeDemoKippet(OnboardingState* state);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* demoCard();
    QWidget* menuHint();
    QWidget* checklist();
    QWidget* progress();
    void createDemoKippet();
    void showTasks();

    QPointer<OnboardingState> state_;
    QPointer<QWidget> window_;
    QList<DemoTaskRow*> rows_;
    QWidget* progress_ = nullptr;
    QLabel* progressText_ = nullptr;
    QLabel* completion_ = nullptr;
    PopTransition* completionPop_ = nullptr;
    QPointer<ConfettiWindow> confetti_;
    int shownCount_ = 0;
};
