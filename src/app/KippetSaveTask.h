#pragma once

class Kippet;

// Saves the kippet's window state (position, mode, tucked flag) through its manager after the
// caller has returned, on the next turn of the event loop; the caller never waits. A kippet that
// is gone by then is skipped.
void startSaveTask(Kippet* kippet);
