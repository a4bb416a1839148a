#pragma once

#include <QByteArray>
#include <algorithm>
#include <stdexcept>
#include <zlib.h>

// Compressed bodies for tests, made a piece at a time so that a body that inflates to hundreds
// of megabytes costs the test only its compressed size.
namespace Compressed {
// windowBits as zlib takes them: 31 gzip, 15 zlib, -15 raw deflate.
inline QByteArray deflated(const QByteArray& prefix, const QByteArray& filler, qint64 totalBytes,
                           int windowBits = 31) {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    QByteArray out;
    QByteArray chunk(256 * 1024, '\0');
    auto pump = [&](const QByteArray& input, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData()));
        z.avail_in = static_cast<uInt>(input.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(chunk.data());
            z.avail_out = static_cast<uInt>(chunk.size());
            deflate(&z, flush);
            out.append(chunk.constData(), chunk.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    pump(prefix, Z_NO_FLUSH);
    QByteArray block;
    while (block.size() < 1024 * 1024)
        block += filler;
    qint64 remaining = totalBytes - prefix.size();
    while (remaining > 0) {
        const qint64 count = std::min<qint64>(remaining, block.size());
        pump(count == block.size() ? block : block.left(count), Z_NO_FLUSH);
        remaining -= count;
    }
    pump(QByteArray(), Z_FINISH);
    deflateEnd(&z);
    return out;
}

inline QByteArray gzipped(const QByteArray& bytes) {
    return deflated(bytes, QByteArray(" "), bytes.size());
}
} // namespace Compressed
