#pragma once

class Kippet;

// Creating today's daily kippet on the user's request, as the daily scheduler does at its hour:
// named for today's local date, in the daily colour, with the "calendar" icon, its window shown.
// It does not ask whether today's kippet exists; the controls that run it are disabled then.
namespace DailyKippetCommand {
// The new kippet, or nullptr when the store refused it (logged).
Kippet* createDailyKippet();
} // namespace DailyKippetCommand
