#include "platform/Animations.h"

namespace {
bool& state() {
    static bool enabled = true;
    return enabled;
}
} // namespace

bool Animations::enabled() {
    return state();
}

void Animations::setEnabled(bool enabled) {
    state() = enabled;
}
