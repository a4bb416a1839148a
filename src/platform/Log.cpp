#include "platform/Log.h"

#include <QMutex>
#include <cstdio>

namespace {
QMutex& logMutex() {
    static QMutex mutex;
    return mutex;
}
Log::Sink& currentSink() {
    static Log::Sink sink;
    return sink;
}
} // namespace

void Log::line(const QString& text) {
    // Analyses log from worker threads too; one lock keeps lines whole.
    QMutexLocker lock(&logMutex());
    if (currentSink()) {
        currentSink()(text);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Log::Sink Log::setSink(Sink sink) {
    QMutexLocker lock(&logMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}
