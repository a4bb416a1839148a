#pragma once

#include "analysis/DecoderProcess.h"
#include "analysis/ImageDecoder.h"
#include "analysis/PixelBudget.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSize>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Every image that comes from outside is decoded here, and every PDF's pages are drawn here: in
// decoder processes of their own (the kippets-decoder program beside the app), never in the app.
// The system bounds their memory, the app their time (see DecoderProcess), and a decoder that
// crashes, is killed or answers nonsense costs the one picture it was given: it is refused like any
// other bad input, and those bytes are refused at once for the rest of the session instead of being
// decoded again at every repaint.
// Only the picture's own doing refuses it so (its CPU budget spent, its memory bound reached, a
// crash, nonsense): a decoder stopped or killed from outside is replaced, and the picture tried
// once more on a fresh one.
// A few decoders are kept waiting, so a thumbnail costs no process start; while all are busy
// another is started, so one hostile file never holds up the next picture.
// A decoder that cannot put up its walls (see DecoderProtocol::wallsDownStatus) answers nothing:
// from then on no picture is decoded for the rest of the session, here or in the app. The log says
// why once, and the user is told in plain words the first time a picture is refused so.
// Memory is bounded twice: the decoders together never have more than their budget (each its
// bound, so only as many run at once as the budget holds), and the pixels the app receives wait
// for room in its own budget (see PixelBudget).
// The calls block while the picture is decoded: meant for worker threads, safe on any thread.
class IsolatedImageDecoder {
public:
    struct Settings {
        QString program;
        DecoderProcess::Limits limits;
        // Decoders at work at once; more requests wait for one of them.
        int maxProcesses = 16;
        // Decoders kept waiting for the next picture.
        int idleProcesses = 2;
        // Decoders started at once when pictures come together (a window of thumbnails); beyond
        // them another is started only when every one at work has been at it for `patience`: a
        // picture that takes that long may be a hostile one, and must hold up no other.
        int eagerProcesses = 4;
        std::chrono::milliseconds patience{250};
        // The decoders' memory together: as many run at once as their bounds fit in it.
        qint64 decodersMemoryBytes = 3 * 448LL * 1024 * 1024;
        // The decoded pixels the app holds at once: room for the largest picture analysis
        // looks at (4096 × 4096) and the thumbnails beside it.
        qint64 pixelBytes = 96LL * 1024 * 1024;
    };

    // A picture as the bytes of its file, and its size.
    struct Encoded {
        QByteArray bytes;
        QSize size;
        // The file's room in the pixel budget, kept while this is held.
        std::shared_ptr<void> room;
    };

    explicit IsolatedImageDecoder(Settings settings);
    ~IsolatedImageDecoder();
    IsolatedImageDecoder(const IsolatedImageDecoder&) = delete;
    IsolatedImageDecoder& operator=(const IsolatedImageDecoder&) = delete;

    // The decoder the app uses: the one installed, else one with the default program and limits.
    static std::shared_ptr<IsolatedImageDecoder> shared();
    // Replaces it (a test's own limits or program); nothing puts the default back.
    static void install(std::shared_ptr<IsolatedImageDecoder> decoder);
    // The decoder program: $KIPPETS_DECODER, else beside the app, else where it is installed,
    // else where this build made it.
    static QString defaultProgram();

    // As ImageDecoder's calls of the same names, decoded in a decoder process.
    std::optional<QImage> decode(const QByteArray& bytes,
                                 qint64 limit = ImageDecoder::maxDecodedBytes);
    std::optional<QImage> decodeCovering(const QByteArray& bytes, QSize cover,
                                         qint64 limit = ImageDecoder::maxDecodedBytes);
    // Shrunk while it is read to the largest size that fits within `bound` (never enlarged),
    // upright as its orientation tag says: what analysis looks at.
    std::optional<QImage> decodeWithin(const QByteArray& bytes, QSize bound,
                                       qint64 limit = ImageDecoder::maxDecodedBytes);
    std::optional<QSize> declaredSize(const QByteArray& bytes);
    // The picture at its own size as a PNG file (a JPEG one, at quality 95, when PNG fails),
    // made in the decoder process: the app never holds its pixels.
    std::optional<Encoded> encode(const QByteArray& bytes,
                                  qint64 limit = ImageDecoder::maxDecodedBytes);

    // A PDF's pages, each one's size in points; at most DecoderProtocol::maxPdfPages of them.
    std::optional<QList<QSizeF>> pdfPageSizes(const QByteArray& pdf);
    // Page `page` (from 0) drawn on white at the largest size that fits within `bound`: never
    // larger, whatever the page asks for.
    std::optional<QImage> renderPdfPage(const QByteArray& pdf, int page, QSize bound,
                                        qint64 limit = ImageDecoder::maxDecodedBytes);

    // Process ids of the decoders at work now, and of those kept waiting.
    QList<qint64> busyDecoders() const;
    QList<qint64> idleDecoders() const;
    // Decoders that may run at once, within the decoders' memory budget.
    int maxProcesses() const { return maxProcesses_; }
    // The app's decoded pixels, as its budget counts them.
    const PixelBudget& pixels() const { return *pixels_; }
    // Requests that reached a decoder process.
    int requestsSent() const;
    // Whether a decoder was found unable to put up its walls: every picture is refused since.
    bool decodesNothing() const;
    // What the user is told of it, in plain words, the first time it is asked for once pictures
    // are refused so; nothing before, nor after.
    std::optional<QString> refusalToTell();
    // The most memory any of its decoders ever held, in bytes.
    qint64 peakDecoderBytes() const;

private:
    DecoderProcess::Outcome run(DecoderProtocol::Request request);
    // A decoder for the next request: a waiting one, unless `fresh` asks for a new process.
    std::unique_ptr<DecoderProcess> acquire(bool fresh);
    // `pid` is the id it had when taken: an ended process has none.
    void release(std::unique_ptr<DecoderProcess> process, qint64 pid);
    bool isRemembered(const QByteArray& bytes);
    void remember(const QByteArray& bytes);

    const Settings settings_;
    const int maxProcesses_;
    const std::shared_ptr<PixelBudget> pixels_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    struct Busy {
        qint64 pid = 0;
        std::chrono::steady_clock::time_point since;
    };
    bool mayStartAnother() const;
    void removeBusy(qint64 pid);

    std::vector<std::unique_ptr<DecoderProcess>> idle_;
    QList<Busy> busy_;
    int requestsSent_ = 0;
    qint64 peakDecoderBytes_ = 0;
    bool startFailed_ = false;
    bool wallsDown_ = false;
    bool wallsDownTold_ = false;
    // Digests of the bytes a decoder failed on, by their length: only bytes of a remembered
    // length are hashed at all.
    QHash<qsizetype, QList<QByteArray>> refused_;
};
