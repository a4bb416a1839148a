#pragma once

#include <QByteArray>
#include <memory>
#include <optional>

// Inflates a gzip or deflate body as it arrives, never producing more than a given number of
// bytes however much the compressed bytes would expand to: a page that inflates to gigabytes
// costs what its first part costs.
class BoundedInflater {
public:
    enum class State { inflating, finished, failed };

    // For a Content-Encoding value: "gzip", "x-gzip" or "deflate" (zlib-wrapped or raw).
    // Nothing for an encoding this class does not take.
    static std::unique_ptr<BoundedInflater> forEncoding(const QByteArray& contentEncoding);
    // The encoding needs no inflating (none, or "identity").
    static bool isIdentity(const QByteArray& contentEncoding);

    ~BoundedInflater();
    BoundedInflater(const BoundedInflater&) = delete;
    BoundedInflater& operator=(const BoundedInflater&) = delete;

    // Inflates input onto output until output holds limit bytes or the stream ends. Returns the
    // state after it; once failed or finished, further input is ignored.
    State feed(const QByteArray& input, QByteArray& output, qint64 limit);
    State state() const { return state_; }

private:
    enum class Kind { gzip, deflate };
    explicit BoundedInflater(Kind kind);
    bool start(const QByteArray& firstBytes);

    struct Stream;
    Kind kind_;
    std::unique_ptr<Stream> stream_;
    bool started_ = false;
    State state_ = State::inflating;
};
