#pragma once

#include <QObject>

class ClockTimer;

// Follows the compositor starting and stopping while the app runs: the installed compositor
// check is asked again at a steady pace on the shared clock, and a change is announced once.
// One watch per clock, made when first asked for, so a test that installs its own clock gets a
// watch that its clock steps.
class CompositorWatch : public QObject {
    Q_OBJECT
public:
    // How often the display server is asked; a compositor that starts or stops shows within it.
    static constexpr int intervalMs = 1000;

    static CompositorWatch& shared();

    // The answer of the last look.
    bool isCompositing() const { return compositing_; }
    // Looks now; announces a change.
    void look();

signals:
    void compositingChanged(bool compositing);

private:
    explicit CompositorWatch(QObject* clock);

    ClockTimer* timer_;
    bool compositing_;
};
