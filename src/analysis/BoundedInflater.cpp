#include "analysis/BoundedInflater.h"

#include <algorithm>
#include <zlib.h>

struct BoundedInflater::Stream {
    z_stream z{};
    bool initialised = false;
    ~Stream() {
        if (initialised)
            inflateEnd(&z);
    }
};

namespace {
QByteArray normalised(const QByteArray& contentEncoding) {
    return contentEncoding.trimmed().toLower();
}

// A zlib header: deflate method with a window of at most 32 KiB, and a check sum that fits.
bool hasZlibHeader(const QByteArray& bytes) {
    if (bytes.size() < 2)
        return false;
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    return (first & 0x0f) == 8 && (first >> 4) <= 7 && ((first << 8) | second) % 31 == 0;
}
} // namespace

std::unique_ptr<BoundedInflater> BoundedInflater::forEncoding(const QByteArray& contentEncoding) {
    const QByteArray encoding = normalised(contentEncoding);
    if (encoding == "gzip" || encoding == "x-gzip")
        return std::unique_ptr<BoundedInflater>(new BoundedInflater(Kind::gzip));
    if (encoding == "deflate")
        return std::unique_ptr<BoundedInflater>(new BoundedInflater(Kind::deflate));
    return nullptr;
}

bool BoundedInflater::isIdentity(const QByteArray& contentEncoding) {
    const QByteArray encoding = normalised(contentEncoding);
    return encoding.isEmpty() || encoding == "identity";
}

BoundedInflater::BoundedInflater(Kind kind) : kind_(kind), stream_(std::make_unique<Stream>()) {}

BoundedInflater::~BoundedInflater() = default;

bool BoundedInflater::start(const QByteArray& firstBytes) {
    // Servers disagree on what "deflate" means: the zlib format, as the standard says, or bare
    // deflate data; the first two bytes tell.
    int windowBits = 15 + 16;
    if (kind_ == Kind::deflate)
        windowBits = hasZlibHeader(firstBytes) ? 15 : -15;
    if (inflateInit2(&stream_->z, windowBits) != Z_OK)
        return false;
    stream_->initialised = true;
    started_ = true;
    return true;
}

BoundedInflater::State BoundedInflater::feed(const QByteArray& input, QByteArray& output,
                                             qint64 limit) {
    if (state_ != State::inflating || input.isEmpty())
        return state_;
    // The deflate kind needs two bytes to tell its format; a lone first byte waits for more.
    if (!started_ && !start(input)) {
        state_ = State::failed;
        return state_;
    }
    z_stream& z = stream_->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData()));
    z.avail_in = static_cast<uInt>(input.size());
    while (output.size() < limit && (z.avail_in > 0 || z.avail_out == 0)) {
        const qint64 room = std::min<qint64>(limit - output.size(), 64 * 1024);
        const qsizetype before = output.size();
        output.resize(before + room);
        z.next_out = reinterpret_cast<Bytef*>(output.data() + before);
        z.avail_out = static_cast<uInt>(room);
        const int status = inflate(&z, Z_NO_FLUSH);
        output.resize(output.size() - z.avail_out);
        if (status == Z_STREAM_END) {
            state_ = State::finished;
            break;
        }
        if (status == Z_BUF_ERROR)
            break; // no progress possible: all input consumed, more is needed
        if (status != Z_OK) {
            state_ = State::failed;
            break;
        }
        if (z.avail_out > 0 && z.avail_in == 0)
            break;
    }
    z.next_in = nullptr;
    z.avail_in = 0;
    return state_;
}
