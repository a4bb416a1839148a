#include "app/Workspace.h"

#include "analysis/ItemProvider.h"
#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QProcess>

namespace {
Workspace* installed = nullptr;

bool isOpenable(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (!url.isValid())
        return false;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return true;
    // A file URL naming another host is a network share, not a file of this machine; a path
    // with a control character names no file (the intake's test).
    const QString host = url.host();
    return ItemProvider::namesLocalFile(url) && !url.path().isEmpty() &&
           (host.isEmpty() || host == QLatin1String("localhost"));
}

// The desktop's opener, detached, with nothing of its output in ours: file managers and
// browsers write warnings that are no business of this app's log.
bool handToDesktop(const QUrl& url) {
    QProcess opener;
    opener.setProgram(QStringLiteral("xdg-open"));
    opener.setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    opener.setStandardInputFile(QProcess::nullDevice());
    opener.setStandardOutputFile(QProcess::nullDevice());
    opener.setStandardErrorFile(QProcess::nullDevice());
    return opener.startDetached();
}
} // namespace

Workspace& Workspace::shared() {
    // Before the composition root installs one, addresses still reach the desktop.
    static Workspace desktop;
    return installed ? *installed : desktop;
}

void Workspace::install(Workspace* workspace) {
    installed = workspace;
}

bool Workspace::open(const QUrl& url) {
    // A web page or a file; another scheme would start whatever handler claims it.
    if (!isOpenable(url)) {
        Log::line(
            QStringLiteral("⚠️ [Workspace] Not opening an address that is neither a web page "
                           "nor a file: ") +
            url.toString());
        return false;
    }
    opened_.append(url);
    if (recordingOnly_)
        return true;
    return handToDesktop(url);
}

bool Workspace::revealFile(const QUrl& fileUrl) {
    if (fileUrl.isLocalFile() && !ItemProvider::namesLocalFile(fileUrl)) {
        Log::line(QStringLiteral("⚠️ [Workspace] Not showing a location that names no file: ") +
                  fileUrl.toString(QUrl::FullyEncoded));
        return false;
    }
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
        return handToDesktop(folder);
    // Asked without waiting: a slow or absent file manager must not hold the GUI thread.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, folder] {
        if (watcher->isError())
            handToDesktop(folder);
        watcher->deleteLater();
    });
    return true;
}
