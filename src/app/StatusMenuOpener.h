#pragma once

#include "platform/Clock.h"
#include <QObject>
#include <QPoint>
#include <functional>

class QWindow;

// Opens the status item's menu for a click on its icon. Right after the app hid its windows
// (Ctrl+H), Qt still names the hidden window as focused until its deferred focus-out lands, and
// that late deactivation closes every popup open by then: a menu opened at once would vanish
// under the user's click. Such a click waits until the focus has settled, then opens the menu
// where it was made. GUI thread only.
class StatusMenuOpener : public QObject {
    Q_OBJECT
public:
    using Open = std::function<void(QPoint)>;

    // Qt's deferred focus-out comes within half a second; should it never come, the menu opens
    // after this long anyway.
    static constexpr std::chrono::milliseconds settleGuard{1000};

    StatusMenuOpener(Open open, QObject* parent = nullptr);

    // The user clicked the icon at `at`.
    void clicked(QPoint at);
    bool isWaiting() const { return phase_ == Phase::WaitingForFocus; }

    // Whether the app's focus still names a window it no longer shows.
    static bool focusIsStale();

private:
    enum class Phase { Idle, WaitingForFocus };

    void focusChanged(QWindow* focused);
    void guardExpired();
    void openWaiting();

    Open open_;
    Phase phase_ = Phase::Idle;
    QPoint at_;
    ScheduledAction guard_;
};
