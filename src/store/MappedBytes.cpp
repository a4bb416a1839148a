#include "store/MappedBytes.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using Header = QTypedArrayData<char>;

// One mapped file: a page for the array's header, then the file's bytes, then at least one zero
// byte (the terminator a QByteArray promises after its data).
struct Mapping {
    void* base = nullptr;
    size_t length = 0;
    Header* header = nullptr;
    char* data = nullptr;
    qint64 size = 0;
    dev_t device = 0;
    ino_t inode = 0;

    QByteArray share() const {
        header->ref();
        return QByteArray(QByteArray::DataPointer(header, data, size));
    }
    bool isUnused() const { return header->ref_.loadAcquire() == 1; }
    void unmap() const { ::munmap(base, length); }
};

struct Registry {
    QMutex mutex;
    QHash<QString, Mapping> byPath;

    void releaseUnusedLocked() {
        for (auto it = byPath.begin(); it != byPath.end();) {
            if (it->isUnused()) {
                it->unmap();
                it = byPath.erase(it);
            } else {
                ++it;
            }
        }
    }
};

// Never destroyed: copies of the bytes may outlive every other object, up to the process's end.
Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

std::variant<Mapping, QString> mapFile(int fd, const struct stat& info) {
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    const size_t size = size_t(info.st_size);
    // The rest of the file's last page reads as zeros; a file that fills its last page gets one
    // more page for its terminator.
    const size_t length = page + (size + page - 1) / page * page + (size % page == 0 ? page : 0);
    void* base =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return systemText(errno);
    char* data = static_cast<char*>(base) + page;
    if (::mmap(data, size, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
        const int error = errno;
        ::munmap(base, length);
        return systemText(error);
    }
    Mapping mapping;
    mapping.base = base;
    mapping.length = length;
    mapping.data = data;
    mapping.size = qint64(size);
    mapping.device = info.st_dev;
    mapping.inode = info.st_ino;
    // Qt finds an array's bytes right after its header; this one never frees either (the
    // registry's reference is always the last), so no allocation of Qt's stands behind it.
    mapping.header = reinterpret_cast<Header*>(data - sizeof(QArrayData));
    Q_ASSERT(Header::dataStart(mapping.header, alignof(Header::AlignmentDummy)) == data);
    mapping.header->ref_.storeRelaxed(1);
    mapping.header->flags = {};
    mapping.header->alloc = mapping.size;
    return mapping;
}

std::variant<QByteArray, QString> readFile(int fd, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t read = ::pread(fd, bytes.data() + done, size_t(size - done), done);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            return read < 0 ? systemText(errno) : QStringLiteral("it ended early");
        done += read;
    }
    return bytes;
}
} // namespace

std::variant<QByteArray, QString> MappedBytes::map(const QString& path, qint64 expectedSize) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return systemText(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return systemText(error);
    }
    if (expectedSize >= 0 && info.st_size != expectedSize) {
        ::close(fd);
        return QStringLiteral("it holds %1 bytes where %2 were stored")
            .arg(qint64(info.st_size))
            .arg(expectedSize);
    }
    if (info.st_size == 0) {
        ::close(fd);
        return QByteArray("", 0);
    }
    Registry& all = registry();
    QMutexLocker lock(&all.mutex);
    all.releaseUnusedLocked();
    if (const auto found = all.byPath.constFind(path); found != all.byPath.cend()) {
        if (found->device == info.st_dev && found->inode == info.st_ino &&
            found->size == info.st_size) {
            ::close(fd);
            return found->share();
        }
    }
    std::variant<Mapping, QString> mapped = mapFile(fd, info);
    if (std::holds_alternative<QString>(mapped)) {
        // Out of mappings (the system allows some tens of thousands): such bytes are read.
        std::variant<QByteArray, QString> read = readFile(fd, info.st_size);
        ::close(fd);
        return read;
    }
    ::close(fd);
    const Mapping& mapping = std::get<Mapping>(mapped);
    // A file replaced under the same name keeps its old mapping for whoever still holds it.
    if (const auto old = all.byPath.constFind(path); old != all.byPath.cend())
        all.byPath.insert(path + QStringLiteral("\n%1").arg(quintptr(old->base)), *old);
    all.byPath.insert(path, mapping);
    return mapping.share();
}

void MappedBytes::releaseUnused() {
    Registry& all = registry();
    QMutexLocker lock(&all.mutex);
    all.releaseUnusedLocked();
}

qsizetype MappedBytes::count() {
    Registry& all = registry();
    QMutexLocker lock(&all.mutex);
    return all.byPath.size();
}
