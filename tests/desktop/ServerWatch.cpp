#include "ServerWatch.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {
using Clock = std::chrono::steady_clock;

// The state the kernel shows of a process, and where it waits.
QString describedProcess(qint64 pid) {
    const char state = ServerWatch::stateOf(pid);
    if (state == 0)
        return QStringLiteral("gone");
    QFile wchan(QStringLiteral("/proc/%1/wchan").arg(pid));
    const QByteArray waiting = wchan.open(QIODevice::ReadOnly) ? wchan.readAll() : QByteArray();
    return QStringLiteral("state %1, waiting in %2")
        .arg(QLatin1Char(state))
        .arg(waiting.isEmpty() || waiting == "0" ? QStringLiteral("nothing")
                                                 : QString::fromLatin1(waiting));
}

// The threads' stacks of a process of this session (a child: the debugger may attach to it).
QStringList stacksOf(qint64 pid) {
    const QByteArray command =
        QStringLiteral("gdb -batch -p %1 -ex 'thread apply all bt 16' 2>&1").arg(pid).toLatin1();
    QStringList lines;
    FILE* debugger = ::popen(command.constData(), "r");
    if (!debugger)
        return {QStringLiteral("no debugger to read its stacks")};
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, debugger)) {
        const QString line = QString::fromLocal8Bit(buffer).trimmed();
        if ((line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1String("Thread "))) &&
            lines.size() < 120)
            lines.append(line);
    }
    ::pclose(debugger);
    if (lines.isEmpty())
        lines.append(QStringLiteral("the debugger read no stack"));
    return lines;
}
} // namespace

ServerWatch::ServerWatch(const QString& display, Patience patience)
    : patience_(patience), thread_([this, display] { run(display); }) {}

ServerWatch::~ServerWatch() {
    stopping_ = true;
    thread_.join();
}

void ServerWatch::follow(const QString& name, qint64 pid) {
    if (pid <= 0)
        return;
    const std::lock_guard lock(mutex_);
    processes_.removeIf([&](const auto& process) { return process.first == name; });
    processes_.append({name, pid});
}

QList<QString> ServerWatch::said() const {
    const std::lock_guard lock(mutex_);
    return said_;
}

char ServerWatch::stateOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // "pid (name) state ...": the name may hold anything but the last parenthesis.
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

QList<std::pair<QString, qint64>> ServerWatch::followed() const {
    const std::lock_guard lock(mutex_);
    return processes_;
}

void ServerWatch::say(const QString& line) {
    {
        const std::lock_guard lock(mutex_);
        said_.append(line);
    }
    std::fprintf(stderr, "ServerWatch: %s\n", qPrintable(line));
    std::fflush(stderr);
}

void ServerWatch::run(const QString& display) {
    xcb_connection_t* connection = xcb_connect(display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    while (!stopping_) {
        if (!answered(connection))
            break;
        // A look a second: the server of a desktop at work answers at once.
        for (int waited = 0; waited < 1000 && !stopping_; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    xcb_disconnect(connection);
}

bool ServerWatch::answered(xcb_connection_t* connection) {
    const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(connection);
    xcb_flush(connection);
    const Clock::time_point asked = Clock::now();
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection, cookie.sequence, &reply, &error)) {
            std::free(reply);
            std::free(error);
            break;
        }
        // The server ending with the session ends the watch too.
        if (xcb_connection_has_error(connection))
            return false;
        if (stopping_) {
            xcb_discard_reply(connection, cookie.sequence);
            return false;
        }
        silentFor(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (described_) {
        say(QStringLiteral("the X server answers again after %1 s")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - asked)
                         .count()));
    }
    described_ = appEnded_ = windowManagerEnded_ = false;
    return true;
}

void ServerWatch::silentFor(std::chrono::milliseconds silence) {
    const QList<std::pair<QString, qint64>> processes = followed();
    if (silence >= patience_.describe && !described_) {
        described_ = true;
        say(QStringLiteral("the X server has not answered for %1 s: a client holds it")
                .arg(silence.count() / 1000));
        for (const auto& [name, pid] : processes) {
            const bool stopped = stateOf(pid) == 'T';
            say(QStringLiteral("%1 (%2): %3%4")
                    .arg(name)
                    .arg(pid)
                    .arg(describedProcess(pid),
                         stopped ? QStringLiteral(", stopped: continued") : QString()));
            // Continued, one that was stopped holding the server lets it go.
            if (stopped)
                ::kill(pid_t(pid), SIGCONT);
        }
    }
    const auto end = [&](const QString& which) {
        for (const auto& [name, pid] : processes) {
            if (name != which)
                continue;
            say(QStringLiteral("%1 (%2): %3; its stacks:")
                    .arg(name)
                    .arg(pid)
                    .arg(describedProcess(pid)));
            for (const QString& line : stacksOf(pid))
                say(QStringLiteral("  ") + line);
            say(QStringLiteral("%1 is ended, to let the server go").arg(name));
            ::kill(pid_t(pid), SIGKILL);
        }
    };
    if (silence >= patience_.endApp && !appEnded_) {
        appEnded_ = true;
        end(QStringLiteral("the app"));
    }
    if (silence >= patience_.endWindowManager && !windowManagerEnded_) {
        windowManagerEnded_ = true;
        end(QStringLiteral("the window manager"));
    }
}
