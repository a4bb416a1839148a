#pragma once

// Whether the tour animates its changes; off, every change shows at once.
namespace TourAnimation {
bool enabled();
void setEnabled(bool enabled);
} // namespace TourAnimation
