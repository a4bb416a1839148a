#pragma once

#include <QThreadPool>
#include <chrono>

// The threads the app's own work runs on: reading and writing item bytes, and everything that
// waits for a decoder process. Qt's painting borrows threads of the global pool and waits for
// them (a fill or a copy of more than a few dozen rows is cut into parts for them), so work that
// waits or computes for long there would hold every window's drawing still, a panel's change of
// form among them. The global pool is left to Qt.
class WorkerPool {
public:
    // As many threads as the machine has cores, created with the first call. Any thread.
    static QThreadPool* shared();
    // Waits until the pool's work (and whatever Qt itself runs on the global pool) is done;
    // false when some still runs after `patience`.
    static bool waitForDone(std::chrono::milliseconds patience);
    // The same without a bound, for tests that look at what the workers left.
    static void waitForDone();
};
