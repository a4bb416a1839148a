#pragma once

#include <QUrl>

// Hands files and addresses to the desktop: the user's default application opens them. Tests
// install a workspace that records what it was given instead. GUI thread only.
class Workspace {
public:
    virtual ~Workspace() = default;

    // The installed workspace, else the desktop's.
    static Workspace& shared();
    // nullptr restores the desktop's.
    static void install(Workspace* workspace);

    // False when nothing could open it.
    virtual bool open(const QUrl& url) = 0;
};

class DesktopWorkspace : public Workspace {
public:
    bool open(const QUrl& url) override;
};
