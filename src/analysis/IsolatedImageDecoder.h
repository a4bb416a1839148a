#pragma once

#include "analysis/DecoderProcess.h"
#include "analysis/ImageDecoder.h"

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
// decoded again at every repaint. A few decoders are kept waiting, so a thumbnail costs no process
// start; while all are busy another is started, so one hostile file never holds up the next
// picture. The calls block while the picture is decoded: meant for worker threads, safe on any
// thread.
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

    // A PDF's pages, each one's size in points; at most DecoderProtocol::maxPdfPages of them.
    std::optional<QList<QSizeF>> pdfPageSizes(const QByteArray& pdf);
    // Page `page` (from 0) drawn on white at the largest size that fits within `bound`: never
    // larger, whatever the page asks for.
    std::optional<QImage> renderPdfPage(const QByteArray& pdf, int page, QSize bound,
                                        qint64 limit = ImageDecoder::maxDecodedBytes);

    // Process ids of the decoders at work now.
    QList<qint64> busyDecoders() const;
    // Requests that reached a decoder process.
    int requestsSent() const;
    // The most memory any of its decoders ever held, in bytes.
    qint64 peakDecoderBytes() const;

private:
    DecoderProcess::Outcome run(DecoderProtocol::Request request);
    std::unique_ptr<DecoderProcess> acquire();
    // `pid` is the id it had when taken: an ended process has none.
    void release(std::unique_ptr<DecoderProcess> process, qint64 pid);
    bool isRemembered(const QByteArray& bytes);
    void remember(const QByteArray& bytes);

    const Settings settings_;
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
    // Digests of the bytes a decoder failed on, by their length: only bytes of a remembered
    // length are hashed at all.
    QHash<qsizetype, QList<QByteArray>> refused_;
};
