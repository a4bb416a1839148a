#include "platform/WorkerPool.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

QThreadPool* WorkerPool::shared() {
    // Never destroyed: a worker may still be finishing as static objects go. The application
    // object waits for it as it goes, as it does for the global pool; the quit has waited for it
    // with a bound before (WorkerDrain).
    static QThreadPool* const pool = [] {
        auto* created = new QThreadPool;
        created->setObjectName(QStringLiteral("WorkerPool"));
        qAddPostRoutine([] { shared()->waitForDone(); });
        return created;
    }();
    return pool;
}

bool WorkerPool::waitForDone(std::chrono::milliseconds patience) {
    const QDeadlineTimer deadline(patience);
    // The app's work first: it may hand parts of an image to the global pool as it ends.
    if (!shared()->waitForDone(int(std::max<qint64>(0, deadline.remainingTime()))))
        return false;
    return QThreadPool::globalInstance()->waitForDone(
        int(std::max<qint64>(0, deadline.remainingTime())));
}

void WorkerPool::waitForDone() {
    shared()->waitForDone();
    QThreadPool::globalInstance()->waitForDone();
}
