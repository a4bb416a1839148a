#pragma once

// The app-wide commands that both the application menus and the tray menu offer, so each does
// the same whichever menu it was chosen from. Each does nothing while the service it needs is
// not installed. GUI thread only.
namespace AppCommands {
// Asks for a name and opens the new kippet's panel.
void newKippet();
// A daily kippet, also when one was made today.
void newDailyKippet();
void showDashboard();
void showSettings();
// Once no edit is left unsaved, or the user chose to leave them behind.
void quit();
} // namespace AppCommands
