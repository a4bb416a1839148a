#include "platform/RectD.h"

QString RectD::toString() const {
    return QStringLiteral("(%1, %2, %3 × %4)").arg(x).arg(y).arg(width).arg(height);
}
