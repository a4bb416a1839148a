#pragma once

#include <QByteArray>

// Equal bytes, answered without reading them when both arrays share one buffer (the usual case for
// item bytes, which are held once and copied only by reference) or differ in length.
inline bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size())
        return false;
    return a.constData() == b.constData() || a == b;
}
