#pragma once

class Kippet;

// What the manager needs of the registry of kippet windows. The application shell implements it
// with the real windows and installs it on the manager; until then the manager closes nothing.
class WindowRegistry {
public:
    virtual ~WindowRegistry() = default;

    // Forgets the kippet's window and closes it when it is shown; nothing when it has none.
    virtual void closeWindow(Kippet* kippet) = 0;
};
