#include "analysis/PixelBudget.h"

#include "platform/Log.h"

#include <algorithm>
#include <cstdlib>

namespace {
// What an image made here carries to its cleanup: the pixels to free and whom to tell.
struct Held {
    std::shared_ptr<PixelBudget> budget;
    qint64 bytes = 0;
    void* pixels = nullptr;
};

// Image rows are aligned to 32 bits, as QImage lays them out itself.
qint64 rowBytes(QImage::Format format, int width) {
    const qint64 bits = qint64(width) * QImage::toPixelFormat(format).bitsPerPixel();
    return ((bits + 31) / 32) * 4;
}
} // namespace

PixelBudget::PixelBudget(qint64 bytes) : bytes_(bytes) {}

qint64 PixelBudget::held() const {
    const std::lock_guard lock(mutex_);
    return held_;
}

qint64 PixelBudget::peak() const {
    const std::lock_guard lock(mutex_);
    return peak_;
}

QImage PixelBudget::image(QSize size, QImage::Format format, std::chrono::milliseconds patience) {
    if (size.isEmpty() || format == QImage::Format_Invalid)
        return {};
    const qint64 perRow = rowBytes(format, size.width());
    const qint64 bytes = perRow * size.height();
    if (bytes > bytes_)
        return {};
    {
        std::unique_lock lock(mutex_);
        if (held_ + bytes > bytes_) {
            const qint64 heldNow = held_;
            lock.unlock();
            Log::line(QStringLiteral("⏳ [ImageDecoder] The pixels of a %1 × %2 picture wait for "
                                     "room: %3 of %4 MB held")
                          .arg(size.width())
                          .arg(size.height())
                          .arg(heldNow >> 20)
                          .arg(bytes_ >> 20));
            lock.lock();
        }
        if (!freed_.wait_for(lock, patience, [&] { return held_ + bytes <= bytes_; }))
            return {};
        held_ += bytes;
        peak_ = std::max(peak_, held_);
    }
    void* pixels = std::malloc(static_cast<size_t>(bytes));
    if (!pixels) {
        giveBack(bytes);
        return {};
    }
    auto* held = new Held{shared_from_this(), bytes, pixels};
    const auto cleanup = [](void* info) {
        std::unique_ptr<Held> done(static_cast<Held*>(info));
        std::free(done->pixels);
        done->budget->giveBack(done->bytes);
    };
    return QImage(static_cast<uchar*>(pixels), size.width(), size.height(), perRow, format, cleanup,
                  held);
}

std::shared_ptr<void> PixelBudget::room(qint64 bytes, std::chrono::milliseconds patience) {
    if (bytes <= 0)
        return {};
    {
        std::unique_lock lock(mutex_);
        const bool fits = freed_.wait_for(lock, patience, [&] {
            return held_ + bytes <= bytes_ || (bytes > bytes_ && held_ == 0);
        });
        if (!fits)
            return {};
        held_ += bytes;
        peak_ = std::max(peak_, held_);
    }
    const std::shared_ptr<PixelBudget> budget = shared_from_this();
    return std::shared_ptr<void>(budget.get(), [budget, bytes](void*) { budget->giveBack(bytes); });
}

void PixelBudget::giveBack(qint64 bytes) {
    {
        const std::lock_guard lock(mutex_);
        held_ -= bytes;
    }
    freed_.notify_all();
}
