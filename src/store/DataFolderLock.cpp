#include "store/DataFolderLock.h"

#include "store/DataFolderLockedError.h"
#include "store/SystemText.h"

#include <QFile>
#include <QMutex>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
using FileId = std::pair<dev_t, ino_t>;

// The lock files this process holds. A second lock of one of them from inside this process is
// refused before the file is opened: closing any other descriptor of the file would drop the
// record lock that names this process to others.
struct HeldFiles {
    QMutex mutex;
    std::set<FileId> ids;
};

HeldFiles& heldFiles() {
    static HeldFiles* instance = new HeldFiles;
    return *instance;
}

bool isHeldHere(const QByteArray& path) {
    struct stat status {};
    if (::stat(path.constData(), &status) != 0)
        return false;
    HeldFiles& held = heldFiles();
    QMutexLocker lock(&held.mutex);
    return held.ids.count({status.st_dev, status.st_ino}) > 0;
}

// The whole file, for the record lock that names its holder.
struct flock wholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;
    return range;
}

// The process holding the record lock on the file; 0 when none does (its holder is between
// taking the folder's lock and naming itself).
qint64 holderOf(int descriptor) {
    struct flock range = wholeFile(F_WRLCK);
    if (::fcntl(descriptor, F_GETLK, &range) != 0 || range.l_type == F_UNLCK)
        return 0;
    return range.l_pid > 0 ? qint64(range.l_pid) : 0;
}

// The holder takes the folder's lock a moment before the record lock that names it: a start
// refused in between waits that moment, at most a few milliseconds, for the name.
qint64 holderNamedBy(int descriptor) {
    constexpr int attempts = 40;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (const qint64 holder = holderOf(descriptor))
            return holder;
        ::usleep(250);
    }
    return 0;
}

// Whether the name still leads to the file open as `descriptor`: a start that made the lock file
// and was refused removes it again (removeFileIfMade), maybe while another start has it open.
bool isStillLinked(int descriptor, const QByteArray& path) {
    struct stat open {};
    struct stat named {};
    return ::fstat(descriptor, &open) == 0 && ::lstat(path.constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}
} // namespace

DataFolderLock::DataFolderLock(const QString& folder)
    : folder_(folder), path_(folder + QLatin1Char('/') + QLatin1String(fileName)) {
    const QByteArray path = QFile::encodeName(path_);
    auto cannotLock = [&](const QString& reason) {
        return StoreError(QStringLiteral("The data folder “%1” cannot be locked: “%2” %3")
                              .arg(folder_, path_, reason));
    };
    if (isHeldHere(path))
        throw DataFolderLockedError(folder_, qint64(::getpid()));
    // Opened without following a link and without blocking: whatever else stands under the name
    // is refused rather than waited on.
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    for (int attempt = 0;; ++attempt) {
        madeFile_ = false;
        descriptor_ = ::open(path.constData(), flags | O_CREAT | O_EXCL, 0644);
        if (descriptor_ >= 0) {
            madeFile_ = true;
        } else if (errno == EEXIST) {
            descriptor_ = ::open(path.constData(), flags);
            // Removed between the two opens by a start that was refused: made anew.
            if (descriptor_ < 0 && errno == ENOENT && attempt < 100)
                continue;
        }
        if (descriptor_ < 0)
            throw cannotLock(QStringLiteral("cannot be opened: ") + systemText(errno));
        struct stat status {};
        if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(descriptor_);
            descriptor_ = -1;
            throw cannotLock(QStringLiteral("is not a regular file"));
        }
        if (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const qint64 holder = error == EWOULDBLOCK ? holderNamedBy(descriptor_) : 0;
            ::close(descriptor_);
            descriptor_ = -1;
            if (error == EWOULDBLOCK)
                throw DataFolderLockedError(folder_, holder);
            throw cannotLock(QStringLiteral("cannot be locked: ") + systemText(error));
        }
        if (isStillLinked(descriptor_, path))
            break;
        ::close(descriptor_);
        descriptor_ = -1;
    }
    // The folder's lock is the one above. This record lock only lets a refused start learn the
    // holder's process id from the system, so nothing is ever written into the file; no other
    // process can hold it without the folder's lock, and it goes with the descriptor.
    struct flock range = wholeFile(F_WRLCK);
    ::fcntl(descriptor_, F_SETLK, &range);
    struct stat status {};
    ::fstat(descriptor_, &status);
    fileId_ = {status.st_dev, status.st_ino};
    HeldFiles& held = heldFiles();
    QMutexLocker lock(&held.mutex);
    held.ids.insert(fileId_);
}

DataFolderLock::~DataFolderLock() {
    {
        HeldFiles& held = heldFiles();
        QMutexLocker lock(&held.mutex);
        held.ids.erase(fileId_);
    }
    ::close(descriptor_);
}

void DataFolderLock::removeFileIfMade() {
    if (madeFile_)
        ::unlink(QFile::encodeName(path_).constData());
    madeFile_ = false;
}
