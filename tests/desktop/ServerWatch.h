#pragma once

#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

// Watches a desktop's X server from a thread of its own. A client that stops or hangs while it
// holds the server (a grab) holds every other client still, the case among them: each request
// would wait for good, and the case would end only at the test's time-out, with no word of why.
// Should the server stay silent, the watch says what each of the session's processes is doing,
// lets go those stopped, and at last ends the app and the window manager, so the case fails with
// the reason.
struct xcb_connection_t;

class ServerWatch {
public:
    struct Patience {
        // Silent this long, the server is held: the processes are described and continued.
        std::chrono::milliseconds describe{60000};
        // Silent this long, the app is ended; a while later the window manager too.
        std::chrono::milliseconds endApp{90000};
        std::chrono::milliseconds endWindowManager{120000};
    };

    explicit ServerWatch(const QString& display, Patience patience);
    explicit ServerWatch(const QString& display) : ServerWatch(display, Patience{}) {}
    ~ServerWatch();
    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    // Names a process of the session (the app, the window manager...) for the watch to describe.
    void follow(const QString& name, qint64 pid);
    // What the watch said: a line for each thing it found or did.
    QList<QString> said() const;
    // The state the kernel shows of a process: 'S', 'T' (stopped), 'Z'...; 0 once it is gone.
    static char stateOf(qint64 pid);

private:
    void run(const QString& display);
    // Whether the server answered a request within the guard; false also once stopping.
    bool answered(xcb_connection_t* connection);
    void silentFor(std::chrono::milliseconds silence);
    void say(const QString& line);
    QList<std::pair<QString, qint64>> followed() const;

    Patience patience_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    QList<std::pair<QString, qint64>> processes_;
    QList<QString> said_;
    // Which steps have been taken for the current silence.
    bool described_ = false;
    bool appEnded_ = false;
    bool windowManagerEnded_ = false;
    std::thread thread_;
};
