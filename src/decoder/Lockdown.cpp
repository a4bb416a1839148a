#include "decoder/Lockdown.h"

#include <QStringList>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#ifdef KIPPETS_HAVE_SECCOMP
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define KIPPETS_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIPPETS_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef KIPPETS_ADDRESS_SANITIZER
#include <sanitizer/common_interface_defs.h>
#endif

QString Lockdown::raise(qint64 memoryBytes) {
    // Opened while files still may be; read once nothing more can be mapped as code.
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    QStringList missing;
    if (const QString memory = limitMemory(memoryBytes); !memory.isEmpty())
        missing.append(memory);
    if (const QString filter = allowOnlyDecoding(); !filter.isEmpty())
        missing.append(filter);
    if (maps < 0) {
        missing.append(QStringLiteral("its memory map could not be read"));
    } else {
        const QByteArrayList code = codeInData(maps);
        ::close(maps);
        if (!code.isEmpty())
            missing.append(QStringLiteral("memory that may run code: ") +
                           QString::fromUtf8(code.join(" | ")));
    }
    return missing.join(QStringLiteral("; "));
}

QString Lockdown::limitMemory(qint64 bytes) {
#ifdef KIPPETS_ADDRESS_SANITIZER
    Q_UNUSED(bytes);
    return {};
#else
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (::setrlimit(RLIMIT_DATA, &limit) == 0)
        return {};
    return QStringLiteral("its memory could not be bounded: ") +
           QString::fromLocal8Bit(std::strerror(errno));
#endif
}

QByteArrayList Lockdown::codeInData(int maps) {
    QByteArray text;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(maps, chunk, sizeof chunk);
        if (got > 0)
            text.append(chunk, got);
        else if (got < 0 && errno == EINTR)
            continue;
        else if (got < 0)
            return {QByteArrayLiteral("the memory map could not be read")};
        else
            break;
    }
    QByteArrayList found;
    for (const QByteArray& line : text.split('\n')) {
        // address perms offset device inode [path]
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() < 5 || fields.at(1).size() < 3 || fields.at(1).at(2) != 'x')
            continue;
        const QByteArray path = fields.size() > 5 ? fields.mid(5).join(' ') : QByteArray();
        if (path == "[vdso]" || path == "[vsyscall]")
            continue;
        // A memfd is memory with a name: mapped twice, once writable and once executable, it is
        // a JIT's page all the same.
        const bool anonymous = path.isEmpty() || path.startsWith('[') || path.startsWith("/memfd:");
        if (fields.at(1).at(1) == 'w' || anonymous)
            found.append(line);
    }
    return found;
}

#ifdef KIPPETS_HAVE_SECCOMP
namespace {

// What a decoder calls once its readers and fonts are loaded, found by tracing one through every
// kind of request on every format it reads, and through its pool threads starting and expiring.
// A call missing here fails with EPERM and costs the picture that needed it: a new kind of request
// that needs more adds it here, with the reason.
// clang-format off
constexpr int allowedCalls[] = {
    // Memory: the allocator and the pictures' pixels (mmap and mprotect follow, without
    // execution).
    SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise),
    // The descriptors it already holds: the socket, /dev/null and standard error.
    SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(close),
    // Time.
    SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday), SCMP_SYS(time),
    SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep),
    // Its own threads: Qt scales and converts large pictures on pool threads, which start and
    // expire while the decoder lives. Each gets an event dispatcher that wakes through an
    // eventfd, a counter that reaches nothing outside; the C library reads each one's CPU
    // affinity, which tells nothing worth keeping.
    SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
    SCMP_SYS(sched_getaffinity), SCMP_SYS(eventfd2), SCMP_SYS(gettid), SCMP_SYS(getpid),
    SCMP_SYS(getrandom), SCMP_SYS(exit), SCMP_SYS(exit_group),
    // Its own signal handling: masks, handlers and the stack they run on.
    SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigreturn),
    SCMP_SYS(sigaltstack), SCMP_SYS(restart_syscall),
};
// clang-format on

// A clone may make a thread of this process, never a new process (fork) nor one in namespaces of
// its own. The kernel lets no thread leave its process's namespaces, but the rule says it anyway.
constexpr scmp_datum_t cloneFlagsLooked = CLONE_THREAD | CLONE_NEWNS | CLONE_NEWCGROUP |
                                          CLONE_NEWUTS | CLONE_NEWIPC | CLONE_NEWUSER |
                                          CLONE_NEWPID | CLONE_NEWNET;

template <size_t count> bool allowEach(scmp_filter_ctx filter, const int (&calls)[count]) {
    for (const int call : calls) {
        // A call this architecture lacks has a negative stand-in number: nothing to allow.
        if (call >= 0 && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) != 0)
            return false;
    }
    return true;
}

// The sanitized build checks the dynamic type of objects as they are used, and tells whether
// memory is readable by writing it into a pipe of its own: without one, every such check fails
// and ends the decoder. A pipe reaches nothing outside the process.
bool allowForSanitizer(scmp_filter_ctx filter) {
#ifdef KIPPETS_ADDRESS_SANITIZER
    constexpr int sanitizerCalls[] = {SCMP_SYS(pipe), SCMP_SYS(pipe2)};
    return allowEach(filter, sanitizerCalls);
#else
    Q_UNUSED(filter);
    return true;
#endif
}

// One condition on a call's argument, spelt out: libseccomp's SCMP_A* macros are C compound
// literals. With SCMP_CMP_MASKED_EQ, `datum` is the mask and `value` what the masked bits must be.
scmp_arg_cmp argument(unsigned int index, scmp_compare compare, scmp_datum_t datum,
                      scmp_datum_t value = 0) {
    return scmp_arg_cmp{index, compare, datum, value};
}

bool allowWithArguments(scmp_filter_ctx filter) {
    const scmp_datum_t self = static_cast<scmp_datum_t>(::getpid());
    const auto allow = [&](int call, scmp_arg_cmp condition) {
        return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, condition) == 0;
    };
    // `signal` is the index of the call's signal argument; the first is the process.
    const auto allowSignal = [&](int call, unsigned int signal) {
        return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 2, argument(0, SCMP_CMP_EQ, self),
                                argument(signal, SCMP_CMP_EQ, SIGABRT)) == 0;
    };
    return
        // Memory may be written or read, never run: no code arrives after the readers (and
        // raise() finds none made before them that could be written).
        allow(SCMP_SYS(mmap), argument(2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)) &&
        allow(SCMP_SYS(mprotect), argument(2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)) &&
        allow(SCMP_SYS(clone), argument(0, SCMP_CMP_MASKED_EQ, cloneFlagsLooked, CLONE_THREAD)) &&
        // clone3 passes its flags in memory, which the filter cannot read: it answers that the
        // kernel lacks it, and the C library starts threads with clone instead.
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0 &&
        // One signal, to itself only: abort() ends the decoder with SIGABRT (and so do the C
        // library's checks and the sanitizers when they abort). Nothing else: a decoder that
        // could stop or kill itself would pass for one stopped or killed from outside, a victim
        // whose picture is tried again.
        allowSignal(SCMP_SYS(kill), 1) && allowSignal(SCMP_SYS(tgkill), 2) &&
        // Qt names each thread it starts.
        allow(SCMP_SYS(prctl), argument(0, SCMP_CMP_EQ, PR_SET_NAME)) && allowForSanitizer(filter);
}

} // namespace
#endif

QString Lockdown::allowOnlyDecoding() {
#ifdef KIPPETS_HAVE_SECCOMP
    // A refused call fails as one the kernel forbids rather than ending the process: the C
    // library and Qt meet such failures on paths of their own and carry on, so a call a reader
    // makes only on a rare path costs at most that picture, and the decoder stays for the next.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter)
        return QStringLiteral("seccomp is not available");
    // Threads already running (Qt's, the sanitizer's) come under the filter too, or none does.
    bool complete = seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1) == 0 &&
                    allowEach(filter, allowedCalls) && allowWithArguments(filter);
#ifdef KIPPETS_ADDRESS_SANITIZER
    // The sanitizer reads the process's mappings for its reports while it still may.
    __sanitizer_sandbox_arguments sandbox{};
    __sanitizer_sandbox_on_notify(&sandbox);
#endif
    complete = complete && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return complete ? QString() : QStringLiteral("the seccomp filter could not be loaded");
#else
    return QStringLiteral("built without libseccomp");
#endif
}
