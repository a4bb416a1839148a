#include "store/MappedBytes.h"

#include "store/DataFile.h"
#include "store/SystemText.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
using Header = QTypedArrayData<char>;

// The file-backed address ranges of the mappings, for the bus-error handler, which may take no
// lock: a fixed table of atomics. A range is entered before its bytes are handed out and cleared
// before it is unmapped, which happens only when nobody holds its bytes. More mappings than
// slots are not made (their bytes are read instead); the system allows fewer anyway.
struct GuardSlot {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};
constexpr size_t slotCapacity = 1 << 16;
GuardSlot guardSlots[slotCapacity];
std::atomic<size_t> slotsInUse{0};
std::atomic<int> noticeWriter{-1};
int noticeReader = -1;
uintptr_t pageSize = 4096;
struct sigaction previousBusAction {};

// A read of a guarded page that the file no longer has: the rest of that mapping becomes zero
// pages, so the read goes on with zeros, and the mapping is marked. Anything else is handed to
// whoever handled the signal before.
void onBusError(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    if (info && info->si_code > 0) {
        const auto address = uintptr_t(info->si_addr);
        const size_t used = slotsInUse.load(std::memory_order_acquire);
        for (size_t i = 0; i < used; ++i) {
            GuardSlot& slot = guardSlots[i];
            const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
            if (begin == 0 || address < begin)
                continue;
            const uintptr_t end = slot.end.load(std::memory_order_acquire);
            if (address >= end)
                continue;
            const uintptr_t page = address & ~(pageSize - 1);
            void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (zeros == MAP_FAILED)
                break;
            slot.damaged.store(true, std::memory_order_release);
            if (const int writer = noticeWriter.load(std::memory_order_acquire); writer >= 0) {
                const char notice = 1;
                [[maybe_unused]] const ssize_t written = ::write(writer, &notice, 1);
            }
            errno = savedErrno;
            return;
        }
    }
    errno = savedErrno;
    if ((previousBusAction.sa_flags & SA_SIGINFO) && previousBusAction.sa_sigaction) {
        previousBusAction.sa_sigaction(signal, info, context);
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
    } else {
        // The default action: the fault repeats on return, a sent signal is delivered again.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
}

void installGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
        int notices[2];
        if (::pipe2(notices, O_CLOEXEC | O_NONBLOCK) == 0) {
            noticeReader = notices[0];
            noticeWriter.store(notices[1], std::memory_order_release);
        }
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
}

// One mapped file: a page for the array's header, then the file's bytes, then at least one zero
// byte (the terminator a QByteArray promises after its data).
struct Mapping {
    void* base = nullptr;
    size_t length = 0;
    Header* header = nullptr;
    char* data = nullptr;
    qint64 size = 0;
    QString path;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    size_t slot = 0;

    QByteArray share() const {
        header->ref();
        return QByteArray(QByteArray::DataPointer(header, data, size));
    }
    bool isUnused() const { return header->ref_.loadAcquire() == 1; }
    bool isDamaged() const { return guardSlots[slot].damaged.load(std::memory_order_acquire); }
    bool holds(const char* bytes) const { return bytes >= data && bytes < data + size; }
    // The file's length, identity and time as they were when it was mapped.
    bool matches(const struct stat& info) const {
        return info.st_dev == device && info.st_ino == inode && info.st_size == size &&
               info.st_mtim.tv_sec == modified.tv_sec && info.st_mtim.tv_nsec == modified.tv_nsec;
    }
};

struct Registry {
    QMutex mutex;
    // By the address of the bytes.
    std::map<uintptr_t, Mapping> byAddress;
    // The mapping handed out for a path now; older ones of a replaced file stay in byAddress for
    // whoever still holds their bytes.
    QHash<QString, uintptr_t> current;
    std::vector<size_t> freeSlots;

    std::optional<size_t> takeSlot() {
        if (!freeSlots.empty()) {
            const size_t slot = freeSlots.back();
            freeSlots.pop_back();
            return slot;
        }
        const size_t next = slotsInUse.load(std::memory_order_relaxed);
        if (next == slotCapacity)
            return std::nullopt;
        slotsInUse.store(next + 1, std::memory_order_release);
        return next;
    }

    void guard(const Mapping& mapping) {
        GuardSlot& slot = guardSlots[mapping.slot];
        slot.damaged.store(false, std::memory_order_relaxed);
        const auto begin = uintptr_t(mapping.data);
        slot.end.store(begin + (size_t(mapping.size) + pageSize - 1) / pageSize * pageSize,
                       std::memory_order_release);
        slot.begin.store(begin, std::memory_order_release);
    }

    void unmap(const Mapping& mapping) {
        GuardSlot& slot = guardSlots[mapping.slot];
        slot.begin.store(0, std::memory_order_release);
        slot.end.store(0, std::memory_order_release);
        ::munmap(mapping.base, mapping.length);
        freeSlots.push_back(mapping.slot);
    }

    void releaseUnusedLocked() {
        for (auto it = byAddress.begin(); it != byAddress.end();) {
            if (it->second.isUnused()) {
                const auto found = current.constFind(it->second.path);
                if (found != current.cend() && *found == it->first)
                    current.erase(found);
                unmap(it->second);
                it = byAddress.erase(it);
            } else {
                ++it;
            }
        }
    }

    const Mapping* holding(const char* bytes) const {
        auto it = byAddress.upper_bound(uintptr_t(bytes));
        if (it == byAddress.begin())
            return nullptr;
        --it;
        return it->second.holds(bytes) ? &it->second : nullptr;
    }
};

// Never destroyed: copies of the bytes may outlive every other object, up to the process's end.
Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

QString lengthsDiffer(qint64 held, qint64 stored) {
    return QStringLiteral("it holds %1 bytes where %2 were stored").arg(held).arg(stored);
}

std::variant<Mapping, QString> mapFile(int fd, const struct stat& info) {
    const size_t page = size_t(pageSize);
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
    mapping.modified = info.st_mtim;
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
    // Cut short or grown while it was read.
    struct stat after {};
    if (::fstat(fd, &after) == 0 && after.st_size != size)
        return lengthsDiffer(after.st_size, size);
    return bytes;
}
} // namespace

std::variant<QByteArray, QString> MappedBytes::map(const QString& path, qint64 expectedSize) {
    installGuard();
    // A link in the file's place leads to bytes the store never wrote, however long they are.
    const DataFile file = DataFile::openAt(AT_FDCWD, path, DataFile::Reach::dataFolder);
    if (!file.isOpen())
        return file.refusal();
    const struct stat& info = file.status();
    if (expectedSize >= 0 && info.st_size != expectedSize)
        return lengthsDiffer(info.st_size, expectedSize);
    if (info.st_size == 0)
        return QByteArray("", 0);
    Registry& all = registry();
    QMutexLocker lock(&all.mutex);
    all.releaseUnusedLocked();
    if (const auto found = all.current.constFind(path); found != all.current.cend()) {
        const Mapping& mapping = all.byAddress.at(*found);
        if (mapping.matches(info) && !mapping.isDamaged())
            return mapping.share();
    }
    const std::optional<size_t> slot = all.takeSlot();
    std::variant<Mapping, QString> mapped =
        slot ? mapFile(file.descriptor(), info) : std::variant<Mapping, QString>(QString());
    if (std::holds_alternative<QString>(mapped)) {
        if (slot)
            all.freeSlots.push_back(*slot);
        // Out of mappings (the system allows some tens of thousands): such bytes are read.
        return readFile(file.descriptor(), info.st_size);
    }
    Mapping& mapping = std::get<Mapping>(mapped);
    mapping.path = path;
    mapping.slot = *slot;
    all.guard(mapping);
    const auto address = uintptr_t(mapping.data);
    all.current.insert(path, address);
    return all.byAddress.emplace(address, std::move(mapping)).first->second.share();
}

std::optional<MappedBytes::Loss> MappedBytes::lostBecause(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return std::nullopt;
    Registry& all = registry();
    QMutexLocker lock(&all.mutex);
    const Mapping* mapping = all.holding(bytes.constData());
    if (!mapping)
        return std::nullopt;
    const auto cannotRead = [mapping](const QString& reason) {
        return Loss{mapping->path, reason};
    };
    struct stat info {};
    if (::stat(QFile::encodeName(mapping->path).constData(), &info) != 0)
        return cannotRead(systemText(errno));
    if (info.st_dev != mapping->device || info.st_ino != mapping->inode)
        return cannotRead(QStringLiteral("it was replaced while in use"));
    if (info.st_size != mapping->size)
        return cannotRead(lengthsDiffer(info.st_size, mapping->size));
    if (!mapping->matches(info))
        return cannotRead(QStringLiteral("it was changed while in use"));
    if (mapping->isDamaged())
        return cannotRead(QStringLiteral("it was cut short while in use"));
    return std::nullopt;
}

int MappedBytes::damageNotices() {
    installGuard();
    return noticeReader;
}

void MappedBytes::drainDamageNotices() {
    installGuard();
    char notices[64];
    while (noticeReader >= 0 && ::read(noticeReader, notices, sizeof notices) > 0) {
    }
}

void MappedBytes::releaseUnused() {
    Registry& all = registry();
    QMutexLocker lock(&all.mutex);
    all.releaseUnusedLocked();
}

qsizetype MappedBytes::count() {
    Registry& all = registry();
    QMutexLocker lock(&all.mutex);
    return qsizetype(all.byAddress.size());
}
