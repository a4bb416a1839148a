#include "app/Workspace.h"

#include <QDesktopServices>

namespace {
Workspace* installed = nullptr;
}

Workspace& Workspace::shared() {
    // Before the composition root installs one, addresses still reach the desktop.
    static Workspace desktop;
    return installed ? *installed : desktop;
}

void Workspace::install(Workspace* workspace) {
    installed = workspace;
}

bool Workspace::open(const QUrl& url) {
    opened_.append(url);
    if (recordingOnly_)
        return true;
    return QDesktopServices::openUrl(url);
}
