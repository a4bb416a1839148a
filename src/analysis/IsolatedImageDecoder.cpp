#include "analysis/IsolatedImageDecoder.h"

#include "platform/Log.h"
#include "platform/WorkerPool.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <utility>

namespace {
std::mutex sharedMutex;
std::shared_ptr<IsolatedImageDecoder> installed;

// Decoders whose heap grew past this after a large picture are ended rather than kept waiting.
constexpr qint64 keptResidentBytes = 192LL * 1024 * 1024;

// A worker of the app's pool that waits for a decoder lets the pool run another task meanwhile:
// eight hostile pictures at once must not hold up every other decode, read and write of the app.
class PoolThreadWaiting {
public:
    PoolThreadWaiting() : inPool_(WorkerPool::shared()->contains(QThread::currentThread())) {
        if (inPool_)
            WorkerPool::shared()->releaseThread();
    }
    ~PoolThreadWaiting() {
        if (inPool_)
            WorkerPool::shared()->reserveThread();
    }
    PoolThreadWaiting(const PoolThreadWaiting&) = delete;
    PoolThreadWaiting& operator=(const PoolThreadWaiting&) = delete;

private:
    bool inPool_;
};

bool isProgram(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QByteArray digest(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}
} // namespace

IsolatedImageDecoder::IsolatedImageDecoder(Settings settings)
    : settings_(std::move(settings)),
      maxProcesses_(int(std::clamp<qint64>(settings_.decodersMemoryBytes /
                                               std::max<qint64>(1, settings_.limits.memoryBytes),
                                           1, std::max(1, settings_.maxProcesses)))),
      pixels_(std::make_shared<PixelBudget>(settings_.pixelBytes)) {}

IsolatedImageDecoder::~IsolatedImageDecoder() = default;

std::shared_ptr<IsolatedImageDecoder> IsolatedImageDecoder::shared() {
    const std::lock_guard lock(sharedMutex);
    if (!installed) {
        Settings settings;
        settings.program = defaultProgram();
        installed = std::make_shared<IsolatedImageDecoder>(settings);
    }
    return installed;
}

void IsolatedImageDecoder::install(std::shared_ptr<IsolatedImageDecoder> decoder) {
    const std::lock_guard lock(sharedMutex);
    installed = std::move(decoder);
}

QString IsolatedImageDecoder::defaultProgram() {
    const QString chosen = qEnvironmentVariable("KIPPETS_DECODER");
    if (!chosen.isEmpty())
        return chosen;
    if (QCoreApplication::instance()) {
        const QString folder = QCoreApplication::applicationDirPath();
        for (const QString& candidate :
             {folder + QStringLiteral("/kippets-decoder"),
              folder + QStringLiteral("/../libexec/kippets/kippets-decoder")}) {
            if (isProgram(candidate))
                return QFileInfo(candidate).canonicalFilePath();
        }
    }
#ifdef KIPPETS_DECODER_BUILD_PATH
    return QStringLiteral(KIPPETS_DECODER_BUILD_PATH);
#else
    return QStringLiteral("kippets-decoder");
#endif
}

std::optional<QImage> IsolatedImageDecoder::decode(const QByteArray& bytes, qint64 limit) {
    return run({DecoderProtocol::Ask::decode, QSize(), limit, bytes}).image;
}

std::optional<QImage> IsolatedImageDecoder::decodeCovering(const QByteArray& bytes, QSize cover,
                                                           qint64 limit) {
    if (cover.isEmpty())
        return std::nullopt;
    return run({DecoderProtocol::Ask::covering, cover, limit, bytes}).image;
}

std::optional<QImage> IsolatedImageDecoder::decodeWithin(const QByteArray& bytes, QSize bound,
                                                         qint64 limit) {
    if (bound.isEmpty())
        return std::nullopt;
    return run({DecoderProtocol::Ask::within, bound, limit, bytes}).image;
}

std::optional<QSize> IsolatedImageDecoder::declaredSize(const QByteArray& bytes) {
    return run({DecoderProtocol::Ask::declaredSize, QSize(), ImageDecoder::maxDecodedBytes, bytes})
        .size;
}

std::optional<QList<QSizeF>> IsolatedImageDecoder::pdfPageSizes(const QByteArray& pdf) {
    return run({DecoderProtocol::Ask::pdfPageCount, QSize(), ImageDecoder::maxDecodedBytes, pdf})
        .pages;
}

std::optional<QImage> IsolatedImageDecoder::renderPdfPage(const QByteArray& pdf, int page,
                                                          QSize bound, qint64 limit) {
    if (bound.isEmpty() || page < 0 || page >= DecoderProtocol::maxPdfPages)
        return std::nullopt;
    return run({DecoderProtocol::Ask::pdfPage, bound, limit, pdf, page}).image;
}

std::optional<IsolatedImageDecoder::Encoded> IsolatedImageDecoder::encode(const QByteArray& bytes,
                                                                          qint64 limit) {
    DecoderProcess::Outcome outcome = run({DecoderProtocol::Ask::encoded, QSize(), limit, bytes});
    if (!outcome.encoded || !outcome.size)
        return std::nullopt;
    return Encoded{std::move(*outcome.encoded), *outcome.size, std::move(outcome.encodedRoom)};
}

QList<qint64> IsolatedImageDecoder::busyDecoders() const {
    const std::lock_guard lock(mutex_);
    QList<qint64> pids;
    for (const Busy& busy : busy_)
        pids.append(busy.pid);
    return pids;
}

QList<qint64> IsolatedImageDecoder::idleDecoders() const {
    const std::lock_guard lock(mutex_);
    QList<qint64> pids;
    for (const std::unique_ptr<DecoderProcess>& process : idle_)
        pids.append(process->pid());
    return pids;
}

void IsolatedImageDecoder::removeBusy(qint64 pid) {
    for (qsizetype index = 0; index < busy_.size(); ++index) {
        if (busy_.at(index).pid == pid) {
            busy_.removeAt(index);
            return;
        }
    }
}

bool IsolatedImageDecoder::mayStartAnother() const {
    if (busy_.size() >= maxProcesses_)
        return false;
    if (busy_.size() < settings_.eagerProcesses)
        return true;
    const auto now = std::chrono::steady_clock::now();
    return std::all_of(busy_.begin(), busy_.end(),
                       [&](const Busy& busy) { return now - busy.since >= settings_.patience; });
}

qint64 IsolatedImageDecoder::peakDecoderBytes() const {
    const std::lock_guard lock(mutex_);
    return peakDecoderBytes_;
}

int IsolatedImageDecoder::requestsSent() const {
    const std::lock_guard lock(mutex_);
    return requestsSent_;
}

bool IsolatedImageDecoder::decodesNothing() const {
    const std::lock_guard lock(mutex_);
    return wallsDown_;
}

std::optional<QString> IsolatedImageDecoder::refusalToTell() {
    const std::lock_guard lock(mutex_);
    if (!wallsDown_ || wallsDownTold_)
        return std::nullopt;
    wallsDownTold_ = true;
    return QStringLiteral("Pictures cannot be opened on this computer: Kippets opens them only in "
                          "a separate, locked-down helper, and this system does not allow the "
                          "lock (seccomp). The picture was not kept; dropped and imported files "
                          "are still kept as files.");
}

bool IsolatedImageDecoder::isRemembered(const QByteArray& bytes) {
    std::unique_lock lock(mutex_);
    if (!refused_.contains(bytes.size()))
        return false;
    lock.unlock();
    const QByteArray hash = digest(bytes);
    lock.lock();
    return refused_.value(bytes.size()).contains(hash);
}

void IsolatedImageDecoder::remember(const QByteArray& bytes) {
    const QByteArray hash = digest(bytes);
    const std::lock_guard lock(mutex_);
    QList<QByteArray>& digests = refused_[bytes.size()];
    if (!digests.contains(hash))
        digests.append(hash);
}

std::unique_ptr<DecoderProcess> IsolatedImageDecoder::acquire(bool fresh) {
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!fresh && !idle_.empty()) {
            std::unique_ptr<DecoderProcess> process = std::move(idle_.back());
            idle_.pop_back();
            if (process->isQuiet()) {
                busy_.append({process->pid(), std::chrono::steady_clock::now()});
                return process;
            }
        }
        if (mayStartAnother())
            break;
        // Woken when a decoder is freed; looked at again as the ones at work grow old.
        freed_.wait_for(lock, settings_.patience / 5);
    }
    busy_.append({0, std::chrono::steady_clock::now()}); // the place of the one being started
    lock.unlock();
    std::unique_ptr<DecoderProcess> process =
        DecoderProcess::start(settings_.program, settings_.limits.memoryBytes);
    lock.lock();
    removeBusy(0);
    if (!process) {
        if (!startFailed_)
            Log::line(QStringLiteral("❌ [ImageDecoder] Could not start the decoder ") +
                      settings_.program);
        startFailed_ = true;
        freed_.notify_one();
        return nullptr;
    }
    busy_.append({process->pid(), std::chrono::steady_clock::now()});
    return process;
}

void IsolatedImageDecoder::release(std::unique_ptr<DecoderProcess> process, qint64 pid) {
    const bool keep = !process->isSpent() && process->residentBytes() < keptResidentBytes;
    std::unique_lock lock(mutex_);
    removeBusy(pid);
    peakDecoderBytes_ = std::max(peakDecoderBytes_, process->peakBytes());
    if (keep && int(idle_.size()) < settings_.idleProcesses) {
        idle_.push_back(std::move(process));
    } else {
        lock.unlock();
        process.reset(); // ends it, outside the lock
        lock.lock();
    }
    freed_.notify_one();
}

DecoderProcess::Outcome IsolatedImageDecoder::run(DecoderProtocol::Request request) {
    DecoderProcess::Outcome refused;
    refused.kind = DecoderProcess::Outcome::Kind::refused;
    // What no reader takes is refused without a decoder: told by its signature alone.
    const bool pdf = request.ask == DecoderProtocol::Ask::pdfPageCount ||
                     request.ask == DecoderProtocol::Ask::pdfPage;
    if (request.bytes.size() > DecoderProtocol::maxRequestBytes ||
        !(pdf ? DecoderProtocol::isPdf(request.bytes)
              : ImageDecoder::formatOf(request.bytes).has_value()) ||
        isRemembered(request.bytes) || decodesNothing())
        return refused;
    // Pixels wait for room in the app's budget, no longer than a decoder may take to answer.
    const std::shared_ptr<PixelBudget> pixels = pixels_;
    const std::chrono::milliseconds patience = settings_.limits.wall;
    const DecoderProcess::PixelRoom room = [pixels, patience](QSize size, QImage::Format format) {
        return pixels->image(size, format, patience);
    };
    const DecoderProcess::FileRoom fileRoom = [pixels, patience](qint64 bytes) {
        return pixels->room(bytes, patience);
    };
    for (int attempt = 0;; ++attempt) {
        // A request waiting for a decoder keeps its worker: a window of thumbnails queues behind
        // the few decoders instead of taking a thread each. A second attempt is never given a
        // decoder that waited beside the one that failed: it may have been stopped as well.
        std::unique_ptr<DecoderProcess> process = acquire(attempt > 0);
        if (!process)
            return refused;
        {
            const std::lock_guard lock(mutex_);
            ++requestsSent_;
        }
        const qint64 pid = process->pid();
        DecoderProcess::Outcome outcome;
        {
            const PoolThreadWaiting waiting;
            outcome = process->exchange(request, settings_.limits, room, fileRoom);
        }
        release(std::move(process), pid);
        if (outcome.kind != DecoderProcess::Outcome::Kind::failed)
            return outcome;
        using Failure = DecoderProcess::Outcome::Failure;
        // Not this picture's doing, nor the next one's: no decoder here can decode safely.
        if (outcome.why == Failure::wallsDown) {
            std::unique_lock lock(mutex_);
            if (!std::exchange(wallsDown_, true)) {
                lock.unlock();
                Log::line(QStringLiteral("❌ [ImageDecoder] No picture from outside is decoded "
                                         "from now on: the decoder %1 could not put up its "
                                         "walls on this system (its own line on standard error "
                                         "says which)")
                              .arg(settings_.program));
            }
            return refused;
        }
        const bool outside = outcome.why == Failure::stalled ||
                             outcome.why == Failure::killedFromOutside ||
                             outcome.why == Failure::unreachable;
        if (outside && attempt == 0) {
            Log::line(QStringLiteral("🔁 [ImageDecoder] Trying a picture of %1 bytes again on a "
                                     "fresh decoder: %2")
                          .arg(request.bytes.size())
                          .arg(outcome.failure));
            continue;
        }
        Log::line(QStringLiteral("⚠️ [ImageDecoder] Refused a picture of %1 bytes: %2")
                      .arg(request.bytes.size())
                      .arg(outcome.failure));
        if (outcome.isThePicturesFault())
            remember(request.bytes);
        return refused;
    }
}
