#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Hands web pages and files to the user's own applications. The app hands them to the desktop;
// a test records them instead, so no browser or viewer is ever started. GUI thread only.
class Workspace : public QObject {
    Q_OBJECT
public:
    // The installed workspace, else one that hands everything to the desktop.
    static Workspace& shared();
    // nullptr restores the desktop's.
    static void install(Workspace* workspace);

    // Opens web pages (http, https) and local files with the user's applications; refuses any
    // other address. False when refused or nothing could open it (true while only recording
    // what was not refused).
    virtual bool open(const QUrl& url);
    // Shows the local file selected in the file manager, else opens its folder. False when
    // neither could be done (always true while only recording).
    virtual bool revealFile(const QUrl& fileUrl);

    // For tests: record what would be opened instead of handing it to the desktop.
    void setRecordingOnly(bool recordingOnly) { recordingOnly_ = recordingOnly; }
    const QList<QUrl>& opened() const { return opened_; }
    const QList<QUrl>& revealed() const { return revealed_; }

private:
    bool recordingOnly_ = false;
    QList<QUrl> opened_;
    QList<QUrl> revealed_;
};
