#pragma once

#include <QWidget>
#include <chrono>

class ConfettiView;

// The celebration overlay: a frameless, transparent window over the main screen's whole frame,
// above other windows, that every click passes through and that never takes the focus. It shows
// itself when made and closes (and deletes) itself 3.5 seconds later on the shared clock.
class ConfettiWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds lifetime{3500};

    explicit ConfettiWindow(quint32 seed);

    // A celebration, or none where no compositing manager runs: a transparent window would black
    // out the screen there. Logs the skip.
    static ConfettiWindow* celebrate();

    ConfettiView* view() const { return view_; }

private:
    ConfettiView* view_;
};
