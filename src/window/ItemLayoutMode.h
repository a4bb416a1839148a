#pragma once

#include <QString>

// How an expanded kippet window lays out its item cards. One stored preference serves every
// window, so switching it in one changes them all.
enum class ItemLayoutMode { grid, list };

namespace ItemLayoutModes {
inline const QString preferenceKey = QStringLiteral("floatingKippetItemLayoutMode");

// "list" is the list; anything else stored, also nothing or an unknown text, the grid.
ItemLayoutMode fromStorage(const QString& stored);
// The mode the preference selects now.
ItemLayoutMode stored();
// Flips the stored mode: "list" becomes "grid", every other value "list".
void toggleStored();
} // namespace ItemLayoutModes
