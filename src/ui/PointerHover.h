#pragma once

class QWidget;

// Hover as the pointer stands now. The window system reports entering and leaving only when the
// pointer moves: content that scrolls or glides under a still pointer asks here instead.
namespace PointerHover {
// Whether the pointer is over a part of the widget that shows.
bool isUnderPointer(const QWidget* widget);
} // namespace PointerHover
