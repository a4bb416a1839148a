#include "app/SyncAvailability.h"

namespace {
bool& flag() {
    static bool available = false;
    return available;
}
} // namespace

bool SyncAvailability::isAvailable() {
    return flag();
}

void SyncAvailability::setAvailable(bool available) {
    flag() = available;
}
