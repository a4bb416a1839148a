#include "support/FullDisk.h"

#include "support/TaskRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
const char* childMark = "KIPPETS_TEST_ON_FULL_DISK";
} // namespace

bool FullDisk::isChild() {
    return qEnvironmentVariableIsSet(childMark);
}

FullDisk::ChildRun FullDisk::runThisTestInChild() {
    ChildRun run;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childMark), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("-rm"), QCoreApplication::applicationFilePath(),
                 QString::fromLatin1(QTest::currentTestFunction())});
    if (!child.waitForStarted()) {
        run.skipReason = QStringLiteral("unshare is not installed");
        return run;
    }
    if (!child.waitForFinished(240000)) {
        child.kill();
        child.waitForFinished();
    }
    run.output = child.readAll();
    if (child.exitCode() != 0 && run.output.startsWith("unshare:")) {
        run.skipReason = QStringLiteral("no user and mount namespace may be made here: ") +
                         QString::fromLocal8Bit(run.output.trimmed());
        return run;
    }
    run.passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    // A case the child skipped was not checked: said as the parent's skip, never as a pass.
    static const QRegularExpression skip(QStringLiteral("^SKIP +: \\S+ (.*)$"),
                                         QRegularExpression::MultilineOption);
    if (const QRegularExpressionMatch skipped = skip.match(QString::fromLocal8Bit(run.output));
        run.passed && skipped.hasMatch())
        run.skipReason = QStringLiteral("in namespaces of its own: ") + skipped.captured(1);
    return run;
}

FullDisk::FullDisk() {
    QByteArray folder = QFile::encodeName(QDir::tempPath()) + "/kippets-full-disk-XXXXXX";
    if (!::mkdtemp(folder.data()))
        return;
    folder_ = QFile::decodeName(folder);
    mounted_ = ::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=4m,mode=0700") == 0;
    if (mounted_)
        qputenv("TMPDIR", folder);
    filler_ = folder_ + QStringLiteral("/filler");
}

FullDisk::~FullDisk() {
    if (mounted_)
        ::umount2(QFile::encodeName(folder_).constData(), MNT_DETACH);
}

bool FullDisk::fill() {
    if (!mounted_)
        return false;
    const int fd =
        ::open(QFile::encodeName(filler_).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return false;
    QByteArray chunk(64 * 1024, 'f');
    bool full = false;
    // Down to single bytes, so that no block is left with room in it.
    for (qsizetype size = chunk.size(); size > 0;) {
        const ssize_t written = ::write(fd, chunk.constData(), size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            full = errno == ENOSPC;
            size /= 2;
        }
    }
    ::close(fd);
    return full;
}

bool FullDisk::emptyStoreLog(QSqlDatabase database, const QString& storePath) {
    const QString log = storePath + QStringLiteral("-wal");
    // A checkpoint of the store's own, started after its import, may hold the log a moment.
    return TaskRunner::waitUntil([&] {
        QSqlQuery(database).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        return QFileInfo(log).size() == 0;
    });
}

bool FullDisk::release() {
    return QFile::remove(filler_);
}
