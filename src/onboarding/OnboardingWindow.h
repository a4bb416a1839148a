#pragma once

#include "platform/RectD.h"

#include <QWidget>

class OnboardingState;
class OnboardingView;
class WindowShapeMask;

// The guided tour's panel: frameless, on top of other windows, fixed at 900 × 700 with rounded
// corners, centred on the main screen's usable area, and not movable. Each one runs a fresh tour
// from the welcome step. It shows and activates itself when built, and deletes itself once
// closed.
//
// Every way out goes through close(): Escape, "Skip Onboarding", the completion step, the shell
// replacing the window and the window manager's close button. The first close posts
// "OnboardingWindowClosing", so the demo kippet leaves the open kippets before the tour's state
// goes.
class OnboardingWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr double cornerRadius = 25;
    static constexpr int windowWidth = 900;
    static constexpr int windowHeight = 700;

    OnboardingWindow();

    OnboardingView* view() const { return view_; }
    OnboardingState* state() const;
    // The window's frame, in the app's screen coordinates, centred on the area.
    static RectD frameCentredOn(const RectD& area);
    // Whether the corners come from a window mask, because no compositing manager runs.
    bool isMasked() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void place();

    OnboardingView* view_;
    WindowShapeMask* shapeMask_;
    bool closingPosted_ = false;
};
