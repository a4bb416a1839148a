#pragma once

#include "analysis/DecoderProtocol.h"

#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <sys/types.h>

// One decoder process and the socket the app talks to it over, used by one thread at a time.
// Each exchange is watched while the app waits for its answer: a decoder that uses more than its
// budget of CPU time or of wall time, or more memory than its bound, is ended with SIGKILL, and
// so is one whose answer does not add up. A process so ended, or one that died, is spent: the
// owner starts another for the next picture.
class DecoderProcess {
public:
    struct Limits {
        qint64 memoryBytes = 1024LL * 1024 * 1024;
        std::chrono::milliseconds cpu{4000};
        // Only a decoder denied the CPU by a busy machine (or stopped) runs into this one.
        std::chrono::milliseconds wall{12000};
    };

    struct Outcome {
        enum class Kind { answered, refused, failed };
        Kind kind = Kind::failed;
        std::optional<QImage> image;
        std::optional<QSize> size;
        // A PDF's page sizes in points.
        std::optional<QList<QSizeF>> pages;
        // For a failure: what happened, for the log.
        QString failure;
    };

    // Starts `program` with its socket; nothing when it cannot be started.
    static std::unique_ptr<DecoderProcess> start(const QString& program, qint64 memoryBytes);
    // A process that is already running (or none, pid 0) behind `socket`, which it takes.
    DecoderProcess(int socket, pid_t pid);
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    Outcome exchange(const DecoderProtocol::Request& request, const Limits& limits);

    pid_t pid() const { return pid_; }
    // Ended, died, or out of step with its socket: never to be asked again.
    bool isSpent() const { return spent_; }
    // Whether the decoder has said nothing since its last answer: one that sent more than it was
    // asked for, or closed its end, is out of step and must not be asked again.
    bool isQuiet() const;
    // Resident memory of the process now, in bytes; 0 when unknown.
    qint64 residentBytes() const;
    // The most it ever held (as the system counts it, VmHWM), in bytes, read last when it
    // answered or just before it was ended.
    qint64 peakBytes() const { return peakBytes_; }

private:
    enum class Wait { ready, timedOut, closed };
    struct Watch;

    Wait waitFor(short events, Watch& watch);
    bool sendAll(const char* data, qint64 size, Watch& watch);
    bool receiveAll(char* data, qint64 size, Watch& watch);
    Outcome fail(const QString& why);
    void end();

    int socket_ = -1;
    pid_t pid_ = 0;
    bool spent_ = false;
    mutable qint64 peakBytes_ = 0;
};
