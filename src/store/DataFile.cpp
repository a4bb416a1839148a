#include "store/DataFile.h"

#include "store/DurableFile.h"
#include "store/SystemText.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <atomic>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {
// The names from `root` down to `path`; nothing when `path` is not inside `root`.
std::optional<QStringList> namesBelow(const QString& root, const QString& path) {
    const QString cleanRoot = QDir::cleanPath(root);
    const QString cleanPath = QDir::cleanPath(path);
    if (cleanPath == cleanRoot)
        return QStringList();
    const QString prefix = cleanRoot.endsWith(QLatin1Char('/')) ? cleanRoot : cleanRoot + '/';
    if (cleanRoot.isEmpty() || !cleanPath.startsWith(prefix))
        return std::nullopt;
    const QStringList names = cleanPath.mid(prefix.size()).split(QLatin1Char('/'));
    if (names.contains(QStringLiteral("..")))
        return std::nullopt;
    return names;
}

struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int value) : fd(value) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd, other.fd);
        return *this;
    }
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

// The outcome of walking down folders without following a link: the last folder reached, or
// the errno and the folder that stopped the walk.
struct Walk {
    Descriptor folder;
    int error = 0;
    QString stoppedAt;
};

Walk walkFolders(const QString& root, const QStringList& names) {
    Walk walk;
    // The data folder itself is where the user keeps it, which may well be a link.
    walk.folder = Descriptor(::open(native(root).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (walk.folder.fd < 0) {
        walk.error = errno;
        walk.stoppedAt = root;
        return walk;
    }
    QString reached = root;
    for (const QString& name : names) {
        reached += QLatin1Char('/') + name;
        Descriptor next(::openat(walk.folder.fd, native(name).constData(),
                                 O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.fd < 0) {
            walk.error = errno;
            walk.stoppedAt = reached;
            return walk;
        }
        walk.folder = std::move(next);
    }
    return walk;
}

QString folderReason(const QString& folder, int error) {
    if (error == ELOOP || error == ENOTDIR)
        return QStringLiteral("the folder “%1” is a symbolic link or no folder").arg(folder);
    return QStringLiteral("the folder “%1” cannot be opened: %2").arg(folder, systemText(error));
}

std::atomic<DataFile::RemovalHook> beforeEmptying{nullptr};

// A call of the system's, made again when a signal interrupted it.
template <typename Call> int untilNotInterrupted(Call call) {
    int result = -1;
    for (int tries = 0; tries < 8; ++tries) {
        result = call();
        if (result >= 0 || errno != EINTR)
            break;
    }
    return result;
}

QString cannotRemove(const QString& path, int error) {
    return QStringLiteral("“%1” cannot be removed: %2").arg(path, systemText(error));
}

// Removes the name alone from the folder open as `parent`, as an empty folder's with
// AT_REMOVEDIR (a non-folder in its place then goes as a plain name); a name gone already is no
// failure.
DataFile::Failure removeName(int parent, const QByteArray& name, const QString& path, int flags) {
    if (untilNotInterrupted([&] { return ::unlinkat(parent, name.constData(), flags); }) == 0 ||
        errno == ENOENT)
        return std::nullopt;
    if (errno == ENOTDIR && flags == AT_REMOVEDIR)
        return removeName(parent, name, path, 0);
    return cannotRemove(path, errno);
}

// The names in an open folder, read before any of them goes; or why they cannot be read.
std::optional<QList<QByteArray>> namesIn(int folder, int* error) {
    // fdopendir takes over the descriptor it is given: a second one, so the caller's stays open.
    const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR* listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!listing) {
        *error = errno;
        if (copy >= 0)
            ::close(copy);
        return std::nullopt;
    }
    QList<QByteArray> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing);
        if (!entry)
            break;
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QByteArray(entry->d_name));
    }
    *error = errno;
    ::closedir(listing);
    if (*error != 0)
        return std::nullopt;
    return names;
}

// Removes `name` from the folder open as `parent`: a folder with what it holds, anything else (a
// symbolic link too) as the name alone. Each step goes through the descriptor of the folder it
// is in, never through a path: a folder swapped for a link meanwhile has the link removed, and
// nothing the link leads to is touched. What cannot be removed is left, and the first such
// failure is returned; a name that is gone already is no failure.
DataFile::Failure removeEntry(int parent, const QByteArray& name, const QString& path) {
    const Descriptor folder(untilNotInterrupted([&] {
        return ::openat(parent, name.constData(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }));
    if (folder.fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return std::nullopt;
        if (error != ENOTDIR && error != ELOOP)
            return cannotRemove(path, error);
        return removeName(parent, name, path, 0);
    }
    if (const DataFile::RemovalHook hook = beforeEmptying.load())
        hook(path);
    DataFile::Failure failure;
    int listError = 0;
    const std::optional<QList<QByteArray>> names = namesIn(folder.fd, &listError);
    if (!names)
        failure = cannotRemove(path, listError);
    for (const QByteArray& entry : names.value_or(QList<QByteArray>())) {
        const DataFile::Failure inner =
            removeEntry(folder.fd, entry, path + QLatin1Char('/') + QFile::decodeName(entry));
        if (!failure)
            failure = inner;
    }
    if (failure)
        return failure;
    // Whatever holds the name by now: the emptied folder, or something put in its place, which
    // goes as a name only.
    return removeName(parent, name, path, AT_REMOVEDIR);
}

} // namespace

DataFile DataFile::open(const QString& root, const QString& path) {
    DataFile file;
    file.path_ = path;
    std::optional<QStringList> names = namesBelow(root, path);
    if (!names || names->isEmpty()) {
        file.refuse(EACCES, QStringLiteral("it is outside the data folder"));
        return file;
    }
    const QString last = names->takeLast();
    const Walk walk = walkFolders(root, *names);
    if (walk.error != 0) {
        file.refuse(walk.error, folderReason(walk.stoppedAt, walk.error));
        return file;
    }
    DataFile opened = openAt(walk.folder.fd, last, Reach::dataFolder);
    opened.path_ = path;
    return opened;
}

DataFile DataFile::openAt(int folder, const QString& name, Reach reach) {
    DataFile file;
    file.path_ = name;
    const int links = reach == Reach::dataFolder ? O_NOFOLLOW : 0;
    const int fd = ::openat(folder, native(name).constData(),
                            O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | links);
    if (fd < 0) {
        const int error = errno;
        file.refuse(error, error == ELOOP   ? QStringLiteral("it is a symbolic link")
                           : error == ENXIO ? QStringLiteral("it is not a regular file")
                                            : systemText(error));
        return file;
    }
    file.fd_ = fd;
    if (::fstat(fd, &file.info_) != 0)
        file.refuse(errno, systemText(errno));
    else if (!S_ISREG(file.info_.st_mode))
        file.refuse(EINVAL, QStringLiteral("it is not a regular file"));
    else if (reach == Reach::dataFolder && file.info_.st_uid != ::geteuid())
        file.refuse(EPERM, QStringLiteral("it belongs to another user"));
    return file;
}

DataFile::Failure DataFile::folderRefusal(const QString& root, const QString& folder) {
    const std::optional<QStringList> names = namesBelow(root, folder);
    if (!names)
        return QStringLiteral("the folder “%1” is outside the data folder").arg(folder);
    const Walk walk = walkFolders(root, *names);
    if (walk.error == 0 || walk.error == ENOENT)
        return std::nullopt;
    return folderReason(walk.stoppedAt, walk.error);
}

DataFile::Failure DataFile::removeFolder(const QString& root, const QString& folder) {
    std::optional<QStringList> names = namesBelow(root, folder);
    if (!names)
        return QStringLiteral("the folder “%1” is outside the data folder").arg(folder);
    if (names->isEmpty())
        return QStringLiteral("the folder “%1” is the data folder itself").arg(folder);
    const QString last = names->takeLast();
    const Walk walk = walkFolders(root, *names);
    // Nothing on the way: nothing to remove.
    if (walk.error == ENOENT)
        return std::nullopt;
    if (walk.error != 0)
        return cannotRemove(folder, walk.error) + QStringLiteral(" (") +
               folderReason(walk.stoppedAt, walk.error) + QLatin1Char(')');
    return removeEntry(walk.folder.fd, native(last), folder);
}

void DataFile::setBeforeEmptying(RemovalHook hook) {
    beforeEmptying.store(hook);
}

DataFile::DataFile(DataFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_), path_(std::move(other.path_)),
      refusal_(std::move(other.refusal_)), info_(other.info_) {}

DataFile& DataFile::operator=(DataFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        error_ = other.error_;
        path_ = std::move(other.path_);
        refusal_ = std::move(other.refusal_);
        info_ = other.info_;
    }
    return *this;
}

DataFile::~DataFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void DataFile::refuse(int error, QString reason) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    error_ = error;
    refusal_ = std::move(reason);
}

bool DataFile::isSameFile(const DataFile& other) const {
    return isOpen() && other.isOpen() && info_.st_dev == other.info_.st_dev &&
           info_.st_ino == other.info_.st_ino;
}

DataFile::Failure DataFile::linkAs(const QString& path) const {
    if (!isOpen())
        return refusal_;
    const QByteArray target = native(path);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0)
        return std::nullopt;
    const int error = errno;
    if (error != ENOENT || QFile::exists(path))
        return systemText(error);
    // Without /proc: by the name, as long as it still names the file that was checked.
    struct stat now {};
    const QByteArray source = native(path_);
    if (::lstat(source.constData(), &now) != 0 || now.st_dev != info_.st_dev ||
        now.st_ino != info_.st_ino)
        return QStringLiteral("it was replaced meanwhile");
    if (::link(source.constData(), target.constData()) != 0)
        return systemText(errno);
    return std::nullopt;
}

DataFile::Failure DataFile::copyAs(const QString& path) const {
    if (!isOpen())
        return refusal_;
    const QByteArray target = native(path);
    const int to =
        ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (to < 0)
        return systemText(errno);
    Failure failure = DurableFile::copyBytes(fd_, to);
    if (::close(to) != 0 && !failure && errno != EINTR)
        failure = systemText(errno);
    if (failure)
        ::unlink(target.constData());
    return failure;
}

DataFile::Failure DataFile::makeReadOnly() const {
    if (!isOpen())
        return refusal_;
    if (::fchmod(fd_, 0444) != 0)
        return systemText(errno);
    return std::nullopt;
}
