#pragma once

#include <QAbstractNativeEventFilter>
#include <QDateTime>
#include <QList>
#include <cstdint>
#include <optional>

class QCoreApplication;

// Keeps the times other X clients put on their selection traffic from stopping the app's
// clipboard. Qt takes the time of every selection request as the newest server time and stamps
// the app's later claims on the clipboard with it, and the server turns away a claim stamped
// later than its own clock. Some clients make their times up (PCManFM asks for a dragged file
// stamped with the wall clock's seconds), so one drag out to them left every later copy refused
// until the server's clock caught up, weeks later.
//
// The request itself must reach Qt unchanged: its time comes back in the answer, and such a
// client drops an answer that does not carry its own time. During a drag out it even takes the
// data only once Qt has made that time its own. So the guard lets Qt take the time, follows the
// server's clock from the events the server stamps itself (on the app's clock in between), and
// once a made-up time has come and no drag is under way, winds Qt's clock on round the 32-bit
// circle of X times to "now": Qt then asks the server for the time at its next claim. Qt only
// ever moves its clock forward, through events, so the winding goes through events of a hidden
// window of the guard's own whose times it sets. GUI thread only.
class X11TimestampGuard : public QAbstractNativeEventFilter {
public:
    // A time may lie this far ahead before it counts as made up: the events that show the
    // server's clock may wait that long behind a busy GUI thread.
    static constexpr qint64 toleranceMs = 10000;

    X11TimestampGuard() = default;
    ~X11TimestampGuard() override;
    X11TimestampGuard(const X11TimestampGuard&) = delete;
    X11TimestampGuard& operator=(const X11TimestampGuard&) = delete;

    // Marks a drag out of the app for as long as it lives: made-up times wait for its end.
    class DragScope {
    public:
        DragScope();
        ~DragScope();
        DragScope(const DragScope&) = delete;
        DragScope& operator=(const DragScope&) = delete;
    };

    // Filters the application's X events from now on; nothing happens off X11.
    void install(QCoreApplication& application);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The server's clock as the guard follows it.
    void noteServerTime(std::uint32_t time);
    bool isBeyondServerTime(std::uint32_t time) const;
    // The times that carry a clock standing at `from` forward to "now" (0): each one later than
    // the one before in X's order, that is less than half the circle on.
    static QList<std::uint32_t> stepsToNow(std::uint32_t from);

private:
    void observe(void* event);
    void checkSelectionTime(std::uint32_t time);
    void dragEnded();
    bool stampStep(void* propertyNotify);
    void windQtClockOn(std::uint32_t from);
    bool makeClockWindow();

    bool installed_ = false;
    std::optional<std::uint32_t> serverTime_;
    QDateTime serverTimeSeenAt_;
    std::uint32_t clockWindow_ = 0;
    std::uint32_t clockAtom_ = 0;
    QList<std::uint32_t> plannedSteps_;
    // A made-up time Qt took during a drag, to wind back from once the drag is over.
    std::optional<std::uint32_t> madeUpTime_;
};
