#include "app/Workspace.h"

#include <QDesktopServices>

namespace {
Workspace*& installed() {
    static Workspace* workspace = nullptr;
    return workspace;
}
} // namespace

Workspace& Workspace::shared() {
    if (!installed()) {
        static DesktopWorkspace desktop;
        return desktop;
    }
    return *installed();
}

void Workspace::install(Workspace* workspace) {
    installed() = workspace;
}

bool DesktopWorkspace::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}
