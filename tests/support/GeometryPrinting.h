#pragma once

#include "platform/RectD.h"

#include <QTest>

// Lets QCOMPARE print rectangles of the app's coordinates.
inline char* toString(const RectD& rect) {
    return QTest::toString(rect.toString());
}
