#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <csignal>

class QProcess;

// Ties the processes a test starts to the test's own life, however the test ends: SIGKILL and
// QtTest's time-out included, where no destructor runs.
//
// Each process gets the test's mark in its environment (KIPPETS_OWNERS, a list, so that a test
// run by a script that marks too carries both), which whatever it starts inherits: a bus's
// services, a window manager's helpers, a daemon that leaves its parent. A watcher, started with
// the first such process, reads a pipe that only this test holds; when the test has gone, the
// pipe ends, and the watcher asks every process still marked with the test's mark to end, and
// kills those that have not within a second or two. Beside that, the process itself gets a
// signal the moment the test goes.
class OwnedProcesses {
public:
    // The environment variable that lists the marks of the owners.
    static constexpr const char* variable = "KIPPETS_OWNERS";

    // This test process's mark: its process id and start time, which no other process shares.
    static QString mark();
    // `environment` with this test's mark added.
    static QProcessEnvironment marked(QProcessEnvironment environment);
    // Gives `process` the environment, marked, and `signal` as this test ends; starts the
    // watcher once. The signal comes at the end of the thread that starts the process: only a
    // process the main thread starts gets it, the watcher sees to the rest.
    static void tie(QProcess& process, const QProcessEnvironment& environment,
                    int signal = SIGKILL);

private:
    static void startWatcher();
};
