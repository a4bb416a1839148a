#include "app/WorkerDrain.h"

#include "platform/Log.h"
#include "platform/Preferences.h"
#include "platform/WorkerPool.h"

#include <cstdio>
#include <unistd.h>

void WorkerDrain::finishOrLeave(int status, std::chrono::milliseconds patience) {
    if (WorkerPool::waitForDone(patience))
        return;
    Log::line(QStringLiteral("⚠️ [Quit] A worker is still busy; leaving without it"));
    // Leaving this way skips the destructors that write the preferences out: what the tear-down
    // wrote into them is written now.
    Preferences::shared().sync();
    std::fflush(nullptr);
    ::_exit(status);
}
