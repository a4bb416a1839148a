#include "onboarding/TourAnimation.h"

namespace {
bool& flag() {
    static bool on = true;
    return on;
}
} // namespace

bool TourAnimation::enabled() {
    return flag();
}

void TourAnimation::setEnabled(bool enabled) {
    flag() = enabled;
}
