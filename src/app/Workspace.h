#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Opens web pages and files in the user's own applications. The app hands them to the desktop;
// a test records them instead, so no browser is ever started. GUI thread only.
class Workspace : public QObject {
    Q_OBJECT
public:
    static Workspace& shared();
    static void install(Workspace* workspace);

    // Whether the desktop took the address (always true while only recording).
    bool openUrl(const QUrl& url);

    void setRecordingOnly(bool recordingOnly) { recordingOnly_ = recordingOnly; }
    const QList<QUrl>& opened() const { return opened_; }

private:
    bool recordingOnly_ = false;
    QList<QUrl> opened_;
};
