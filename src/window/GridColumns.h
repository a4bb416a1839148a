#pragma once

#include <QObject>
#include <optional>

class ClockTimer;

// The column count of an expanded kippet window's item grid, from the width of its whole
// expanded layout. The first usable width sets it at once; later widths wait until the user has
// stopped resizing for a moment, so the cards do not jump at every step of a drag. It belongs to
// the content view, so the count survives a collapse and a return. GUI thread only.
class GridColumns : public QObject {
    Q_OBJECT
public:
    static constexpr int resizeDebounceMs = 200;

    explicit GridColumns(QObject* parent = nullptr);

    // As many 160-point columns with 12-point gaps as fit the width less the 16-point margins;
    // never fewer than one.
    static int columnCount(double width);
    // Greater than zero and finite.
    static bool isUsable(double width);

    int count() const { return count_; }
    bool hasInitialized() const { return hasInitialized_; }
    // A width change waits to be applied: the window is being resized.
    bool isResizePending() const;

    // The width when the expanded layout is first shown.
    void initializeIfNeeded(double width);
    // Every later width of the expanded layout.
    void handleWidthChange(double width);
    // The expanded layout went away: a waiting change is dropped.
    void cancelPendingResize();

signals:
    // `animated`: a change after a resize, which the cards follow smoothly; the first count is
    // set at once.
    void countChanged(int count, bool animated);
    void resizePendingChanged(bool isPending);

private:
    void apply();
    void setCount(int count, bool animated);

    int count_ = 1;
    bool hasInitialized_ = false;
    double pendingWidth_ = 0;
    ClockTimer* debounce_;
};
