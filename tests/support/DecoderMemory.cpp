#include "support/DecoderMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>

qint64 peakMemory(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

QList<qint64> decodersOf(qint64 parent) {
    QList<qint64> pids;
    for (const QFileInfo& entry : QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.fileName().toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(entry.filePath() + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold anything but the last parenthesis.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (text.contains("(kippets-decoder)") && fields.size() > 1 &&
            fields.at(1).toLongLong() == parent)
            pids.append(pid);
    }
    return pids;
}

DecoderMemoryWatch::DecoderMemoryWatch(qint64 parent)
    : thread_([this, parent] {
          while (!done_) {
              qint64 together = 0;
              for (const qint64 pid : decodersOf(parent))
                  together += std::max<qint64>(0, peakMemory(pid));
              peak_ = std::max<qint64>(peak_, together);
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
      }) {}

DecoderMemoryWatch::~DecoderMemoryWatch() {
    stop();
}

qint64 DecoderMemoryWatch::stop() {
    done_ = true;
    if (thread_.joinable())
        thread_.join();
    return peak_;
}
