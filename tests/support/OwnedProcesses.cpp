#include "OwnedProcesses.h"

#include <QFile>
#include <QProcess>
#include <mutex>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Waits for its input to end, which it does as the test that started it goes, then ends every
// process that carries the test's mark ($1): asked first, killed after a second or so, until none
// is left. A zombie shows no environment and so counts as gone. It carries the marks of those
// around the test, not the test's own, nor do the tools it runs.
constexpr const char* watcherScript = R"(
mark=$1
while read -r _; do :; done
pattern="^KIPPETS_OWNERS=(.*:)?$mark(:.*)?\$"
for round in $(seq 60); do
    left=$(grep -lzE "$pattern" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3)
    [ -z "$left" ] && exit 0
    if [ "$round" -le 10 ]; then kill -TERM $left 2>/dev/null; else kill -KILL $left 2>/dev/null; fi
    sleep 0.1
done
exit 1
)";

// The kernel's start time of this process (the 22nd field of its stat line), in clock ticks
// since boot: with the process id, a mark no process shares, now or later.
QString startTime() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return QStringLiteral("0");
    const QByteArray line = stat.readAll();
    // The command's name, in parentheses, may hold spaces: the fields are counted after it.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields.at(19)) : QStringLiteral("0");
}
// Never destroyed, which would kill it: it outlives the test on purpose.
QProcess* watcher = nullptr;
} // namespace

QString OwnedProcesses::mark() {
    static const QString mark = QStringLiteral("%1-%2").arg(::getpid()).arg(startTime());
    return mark;
}

QProcessEnvironment OwnedProcesses::marked(QProcessEnvironment environment) {
    const QString name = QString::fromLatin1(variable);
    const QString owners = environment.value(name);
    if (!owners.split(QLatin1Char(':')).contains(mark()))
        environment.insert(name, owners.isEmpty() ? mark() : owners + QLatin1Char(':') + mark());
    return environment;
}

void OwnedProcesses::tie(QProcess& process, const QProcessEnvironment& environment, int signal) {
    startWatcher();
    process.setProcessEnvironment(marked(environment));
    // The signal comes as the thread that forked the process ends: only the main thread lives
    // as long as the test.
    if (::syscall(SYS_gettid) != ::getpid())
        return;
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([signal, parent] {
        ::prctl(PR_SET_PDEATHSIG, signal);
        // The test may have gone before the signal was asked for.
        if (::getppid() != parent)
            ::_exit(127);
    });
}

void OwnedProcesses::startWatcher() {
    static std::once_flag started;
    std::call_once(started, [] {
        // The write end of its input stays with this process alone: Qt opens its pipes
        // close-on-exec.
        watcher = new QProcess;
        watcher->setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        watcher->setStandardOutputFile(QProcess::nullDevice());
        watcher->setStandardErrorFile(QProcess::nullDevice());
        watcher->start(QStringLiteral("bash"),
                       {QStringLiteral("-c"), QString::fromLatin1(watcherScript),
                        QStringLiteral("watcher"), mark()});
        if (!watcher->waitForStarted(30000))
            qWarning("the watcher that ends the test's processes with it does not start: %s",
                     qPrintable(watcher->errorString()));
    });
}
