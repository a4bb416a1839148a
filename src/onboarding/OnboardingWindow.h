#pragma once

#include <QWidget>
#include <functional>

// The guided tour's window: 900 × 700, centred on the main screen's visible frame, shown and
// focused as soon as it is made. Closing it, on any road, first posts "OnboardingWindowClosing".
class OnboardingWindow : public QWidget {
    Q_OBJECT
public:
    // Builds the tour's content; the window owns what it returns.
    using ContentFactory = std::function<QWidget*(OnboardingWindow* window)>;

    static constexpr int width = 900;
    static constexpr int height = 700;

    OnboardingWindow();

    static void setContentFactory(ContentFactory factory);

protected:
    void closeEvent(QCloseEvent* event) override;
};
