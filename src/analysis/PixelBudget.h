#pragma once

#include <QImage>
#include <QSize>
#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

// The bytes of decoded pixels the app holds at once, counted from the moment a decoder's answer
// is given room until the last copy of that image is let go. An image that does not fit waits
// for others to be let go; one larger than the whole budget never fits. Any thread.
class PixelBudget : public std::enable_shared_from_this<PixelBudget> {
public:
    explicit PixelBudget(qint64 bytes);

    // An image of that size and format, its pixels uninitialised, counted against the budget
    // while any copy of it lives; null when it is larger than the whole budget, or did not fit
    // within `patience`.
    QImage image(QSize size, QImage::Format format, std::chrono::milliseconds patience);

    // Room for `bytes` of a picture's file (a paste's, as a decoder writes it), counted against
    // the budget until the returned handle is let go; null when it did not fit within `patience`.
    // A file larger than the whole budget waits until nothing else is held, and then holds the
    // budget alone: a paste's file is as large as its picture makes it.
    std::shared_ptr<void> room(qint64 bytes, std::chrono::milliseconds patience);

    qint64 bytes() const { return bytes_; }
    // The pixels held now, and the most ever held at once.
    qint64 held() const;
    qint64 peak() const;

private:
    void giveBack(qint64 bytes);

    const qint64 bytes_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    qint64 held_ = 0;
    qint64 peak_ = 0;
};
