#include "app/Workspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

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

bool Workspace::revealFile(const QUrl& fileUrl) {
    revealed_.append(fileUrl);
    if (recordingOnly_)
        return true;
    if (!fileUrl.isLocalFile())
        return false;
    // The freedesktop file manager interface selects the file; without one, its folder opens.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUrl.toString(QUrl::FullyEncoded)} << QString();
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(fileUrl.toLocalFile()).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QDesktopServices::openUrl(folder);
    // Asked without waiting: a slow or absent file manager must not hold the GUI thread.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, folder] {
        if (watcher->isError())
            QDesktopServices::openUrl(folder);
        watcher->deleteLater();
    });
    return true;
}
