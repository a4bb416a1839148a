#pragma once

class QPushButton;

// The tour's three button looks: plain text, a bordered button, and the prominent one filled
// with the accent colour. `large` is the larger control size.
namespace TourButtons {
enum class Kind { plain, bordered, prominent };
void style(QPushButton* button, Kind kind, bool large = false);
} // namespace TourButtons
