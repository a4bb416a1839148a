#pragma once

#include <QList>
#include <QtGlobal>
#include <atomic>
#include <thread>

// The peak resident memory of a process so far (VmHWM), in bytes; -1 when unknown.
qint64 peakMemory(qint64 pid);

// The decoders `parent` runs now: its children named as the decoder program is.
QList<qint64> decodersOf(qint64 parent);

// The most the decoders of `parent` held together while it watched: at each look, the sum of the
// peaks of those alive, which no moment's total exceeds.
class DecoderMemoryWatch {
public:
    explicit DecoderMemoryWatch(qint64 parent);
    ~DecoderMemoryWatch();
    DecoderMemoryWatch(const DecoderMemoryWatch&) = delete;
    DecoderMemoryWatch& operator=(const DecoderMemoryWatch&) = delete;
    // Ends the watch; the peak seen.
    qint64 stop();

private:
    std::atomic<bool> done_ = false;
    std::atomic<qint64> peak_ = 0;
    std::thread thread_;
};
