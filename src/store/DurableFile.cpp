#include "store/DurableFile.h"

#include "store/SystemText.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool isRunning(qint64 pid) {
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    // EPERM: the process exists but belongs to someone else.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

ssize_t systemCopy(int from, off_t* offset, int to, size_t length) {
    return ::copy_file_range(from, offset, to, nullptr, length, 0);
}

std::atomic<DurableFile::KernelCopy> kernelCopy{&systemCopy};

const QRegularExpression& unfinishedPattern() {
    static const QRegularExpression pattern(QStringLiteral("^(.+)\\.(\\d+)\\.part$"));
    return pattern;
}
} // namespace

DurableFile::Failure DurableFile::write(const QString& path, const QByteArray& bytes, bool sync,
                                        Access access) {
    const QByteArray name = native(path);
    const mode_t mode = access == Access::readOnly ? 0444 : 0644;
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return systemText(errno);
    int error = DurableFile::writeAll(fd, bytes.constData(), bytes.size());
    if (error == 0 && sync && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0) {
        ::unlink(name.constData());
        return systemText(error);
    }
    return std::nullopt;
}

DurableFile::Failure DurableFile::syncFolder(const QString& folder) {
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return systemText(errno);
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL)
        error = errno;
    ::close(fd);
    return error == 0 ? Failure() : Failure(systemText(error));
}

DurableFile::Failure DurableFile::copy(const QString& existing, const QString& path) {
    const int from = ::open(native(existing).constData(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return systemText(errno);
    struct stat info {};
    if (::fstat(from, &info) != 0) {
        const int error = errno;
        ::close(from);
        return systemText(error);
    }
    const QByteArray target = native(path);
    const int to =
        ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
    if (to < 0) {
        const int error = errno;
        ::close(from);
        return systemText(error);
    }
    Failure failure = copyBytes(from, to);
    ::close(from);
    if (::close(to) != 0 && !failure && errno != EINTR)
        failure = systemText(errno);
    if (failure)
        ::unlink(target.constData());
    return failure;
}

DurableFile::Failure DurableFile::link(const QString& existing, const QString& path) {
    if (::link(native(existing).constData(), native(path).constData()) != 0)
        return systemText(errno);
    return std::nullopt;
}

DurableFile::Failure DurableFile::rename(const QString& from, const QString& to) {
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        return systemText(errno);
    return std::nullopt;
}

qint64 DurableFile::linkCount(const QString& path) {
    struct stat info {};
    if (::stat(native(path).constData(), &info) != 0)
        return 0;
    return qint64(info.st_nlink);
}

bool DurableFile::sameFile(const QString& first, const QString& second) {
    struct stat one {};
    struct stat other {};
    if (::stat(native(first).constData(), &one) != 0 ||
        ::stat(native(second).constData(), &other) != 0)
        return false;
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

QString DurableFile::unfinishedName(const QString& finalName) {
    return QStringLiteral("%1.%2.part")
        .arg(finalName, QString::number(QCoreApplication::applicationPid()));
}

bool DurableFile::isUnfinished(const QString& name) {
    return unfinishedPattern().match(name).hasMatch();
}

std::optional<QString> DurableFile::abandonedFinalName(const QString& name) {
    const QRegularExpressionMatch match = unfinishedPattern().match(name);
    if (!match.hasMatch() || isRunning(match.captured(2).toLongLong()))
        return std::nullopt;
    return match.captured(1);
}

int DurableFile::writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(std::min<qint64>(size, 1 << 30)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= written;
    }
    return 0;
}

void DurableFile::setKernelCopy(KernelCopy copy) {
    kernelCopy.store(copy ? copy : &systemCopy);
}

DurableFile::Failure DurableFile::copyBytes(int from, int to) {
    struct stat info {};
    if (::fstat(from, &info) != 0)
        return systemText(errno);
    const off_t size = info.st_size;
    off_t offset = 0;
    const KernelCopy copy = kernelCopy.load();
    // Inside the kernel up to the size. A file system may report the end before it: what is left
    // then goes through the buffer below, as it does where the kernel cannot copy these files.
    while (offset < size) {
        const ssize_t copied =
            copy(from, &offset, to, size_t(std::min<off_t>(size - offset, off_t(1) << 30)));
        if (copied > 0)
            continue;
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
            errno != EOPNOTSUPP)
            return systemText(errno);
        break;
    }
    char buffer[1 << 16];
    for (;;) {
        const ssize_t read = ::pread(from, buffer, sizeof buffer, offset);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return systemText(errno);
        if (read == 0)
            break;
        if (const int error = DurableFile::writeAll(to, buffer, read))
            return systemText(error);
        offset += read;
    }
    // Cut short while it was copied, or shorter than its size claims: the copy is not whole.
    if (offset < size)
        return QStringLiteral("the file ended after %1 of its %2 bytes").arg(offset).arg(size);
    return std::nullopt;
}
