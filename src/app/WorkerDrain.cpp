#include "app/WorkerDrain.h"

#include "platform/Log.h"

#include <QThreadPool>
#include <cstdio>
#include <unistd.h>

void WorkerDrain::finishOrLeave(int status, std::chrono::milliseconds patience) {
    if (QThreadPool::globalInstance()->waitForDone(int(patience.count())))
        return;
    Log::line(QStringLiteral("⚠️ [Quit] A worker is still busy; leaving without it"));
    std::fflush(nullptr);
    ::_exit(status);
}
