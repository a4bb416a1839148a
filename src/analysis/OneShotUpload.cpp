#include "analysis/OneShotUpload.h"

#include <algorithm>
#include <cstring>

OneShotUpload::OneShotUpload(QByteArray bytes, QObject* parent)
    : QIODevice(parent), bytes_(std::move(bytes)) {
    // Unbuffered, so that pos() inside readData is where the bytes are read from.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool OneShotUpload::seek(qint64 position) {
    if (position < furthestRead_) {
        ++refusedRewinds_;
        return false;
    }
    return QIODevice::seek(position);
}

qint64 OneShotUpload::readData(char* data, qint64 maxSize) {
    const qint64 position = pos();
    const qint64 count = std::clamp<qint64>(bytes_.size() - position, 0, maxSize);
    if (count > 0)
        std::memcpy(data, bytes_.constData() + position, static_cast<size_t>(count));
    furthestRead_ = std::max(furthestRead_, position + count);
    return count;
}
