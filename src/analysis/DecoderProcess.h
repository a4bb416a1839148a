#pragma once

#include "analysis/DecoderProtocol.h"
#include "analysis/ImageDecoder.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

// One decoder process and the socket the app talks to it over, used by one thread at a time.
// Each exchange is watched while the app waits for its answer: a decoder that uses more than its
// budget of CPU time or more memory than its bound, that spends no CPU time for its wall bound, or
// that has not answered by its ceiling, is ended with SIGKILL, and so is one whose answer does not
// add up. A process so ended, or one that died, is spent: the owner starts another for the next
// picture. A failure says why it happened, for only some are the picture's doing: a decoder
// stopped or killed from outside says nothing of its picture, and one that could not put up its
// walls says nothing of any picture: it answers none.
class DecoderProcess {
public:
    struct Limits {
        // Room for a picture at the largest decoded size taken (ImageDecoder::maxDecodedBytes), its
        // file bytes, and the PNG a paste is kept as. Measured in a release build, the most a
        // decoder held at once for a paste: 267 MB for a striped 36-megapixel photo (its PNG 92
        // MB); for 48-megapixel ones 258 MB smooth, 340 MB with grain (a 28 MB JPEG, a 117 MB PNG);
        // 394 MB for the largest taken with grain, whose PNG the decoder then writes twice rather
        // than hold it beside the pixels (see DecoderMain.cpp). The sanitized build's decoder holds
        // more of its own (94 MB before any picture against 43 MB, a shadow byte for every eight, a
        // small quarantine: see SanitizerOptions.cpp): it held 353 MB for the striped photo and 400
        // MB at most for the others above, writing more PNGs twice to stay within the same bound.
        qint64 memoryBytes = 448LL * 1024 * 1024;
        std::chrono::milliseconds cpu{4000};
        // How long a decoder may go without spending any CPU time: one stopped, or stuck in a
        // wait. One that a busy machine keeps short of the CPU is slow, not stuck: its CPU time
        // still advances, and the CPU budget is what bounds the picture's work.
        std::chrono::milliseconds wall{12000};
        // The longest an exchange is waited for, however its decoder advances: nothing is waited
        // for for ever, not even a decoder that crawls on. Several times the wall bound.
        std::chrono::milliseconds ceiling{60000};
        // Added to all three for a picture asked for as a file (a paste's) once the decoder says it
        // is decoded: writing it as a PNG is work the app asks for, not the picture's doing. This
        // much for the largest picture taken (8192 x 8192), its share of it for a smaller one, and
        // never less than a quarter of it (see encodingFor). Measured as CPU time of the whole
        // paste in a release build at load 20-25 on 8 cores, with a thread spinning on each
        // processor beside it: 48-megapixel pictures 0.7 s (sky), 0.9 s (screenshot), 1.7 s
        // (smooth, a 2.5 MB JPEG), 2.3 s (grain); 8192 x 8192 with grain, written twice, 5.1 s. The
        // sanitized build: 2.2 s (smooth), 4.8 s (grain, written twice), 6.6 s (the largest with
        // grain). Qt's own PNG writer took 13.2 s on the same smooth photo, 15-20 s at load 8-16 on
        // others like it: its time follows what the pixels show, this writer's does not (see
        // PngWriter).
        std::chrono::milliseconds encoding{12000};

        std::chrono::milliseconds encodingFor(QSize size) const {
            const qint64 largest = ImageDecoder::maxDecodedBytes / 4;
            const qint64 pixels = std::min(largest, qint64(size.width()) * size.height());
            return std::max(encoding / 4,
                            std::chrono::milliseconds(encoding.count() * pixels / largest));
        }
    };

    struct Outcome {
        enum class Kind { answered, refused, failed };
        // Why an exchange failed. The first three are the picture's doing: it spent the CPU
        // budget, reached the memory bound, made the decoder die of a signal of its own making
        // (as a failed allocation aborts) or end, or made it answer nonsense.
        // The others are not: the decoder was stopped, or made no progress for its wall bound,
        // or crawled on past its ceiling; it was killed by a signal the app did not send (as the
        // system's out-of-memory killer does: its walls keep a decoder from stopping or killing
        // itself); the app had no room for its pixels; it could not be reached at all; or it
        // ended, answering nothing, for want of its walls (DecoderProtocol::wallsDownStatus).
        enum class Failure {
            none,
            cpuBudget,
            memoryLimit,
            crashed,
            nonsense,
            stalled,
            killedFromOutside,
            noRoom,
            unreachable,
            wallsDown,
        };
        Kind kind = Kind::failed;
        Failure why = Failure::none;
        std::optional<QImage> image;
        std::optional<QSize> size;
        // A PDF's page sizes in points.
        std::optional<QList<QSizeF>> pages;
        // The file bytes of an encoded answer; `size` is then the picture's.
        std::optional<QByteArray> encoded;
        // The file's room in the app's budget (see FileRoom), kept while this is held.
        std::shared_ptr<void> encodedRoom;
        // For a failure: what happened, for the log.
        QString failure;

        // Whether the failure is the picture's: only then are its bytes refused for good.
        bool isThePicturesFault() const {
            return why == Failure::cpuBudget || why == Failure::memoryLimit ||
                   why == Failure::crashed || why == Failure::nonsense;
        }
    };

    // Where an image answer's pixels go: an image of that size and format to fill, or a null
    // one when the app has no room for them (the decoder, its answer unread, is then ended).
    using PixelRoom = std::function<QImage(QSize, QImage::Format)>;
    // Room for an encoded answer's bytes before they are taken: held until the returned handle
    // is let go, or null when the app has none (the decoder, its answer unread, is then ended).
    using FileRoom = std::function<std::shared_ptr<void>(qint64)>;

    // Starts `program` with its socket; nothing when it cannot be started.
    static std::unique_ptr<DecoderProcess> start(const QString& program, qint64 memoryBytes);
    // A process that is already running (or none, pid 0) behind `socket`, which it takes.
    DecoderProcess(int socket, pid_t pid);
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    Outcome exchange(const DecoderProtocol::Request& request, const Limits& limits,
                     const PixelRoom& room = {}, const FileRoom& fileRoom = {});

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
    Outcome fail(Outcome::Failure why, const QString& what);
    // Why a decoder that closed its end did so, once it is reaped.
    Outcome::Failure reapedCause(QString& what);
    void end();

    int socket_ = -1;
    pid_t pid_ = 0;
    bool spent_ = false;
    mutable qint64 peakBytes_ = 0;
};
