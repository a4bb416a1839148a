#include "decoder/Lockdown.h"

#include <sys/resource.h>

#ifdef KIPPETS_HAVE_SECCOMP
#include <cerrno>
#include <seccomp.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define KIPPETS_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIPPETS_ADDRESS_SANITIZER 1
#endif
#endif

bool Lockdown::limitMemory(qint64 bytes) {
#ifdef KIPPETS_ADDRESS_SANITIZER
    Q_UNUSED(bytes);
    return false;
#else
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    return ::setrlimit(RLIMIT_DATA, &limit) == 0;
#endif
}

QString Lockdown::forbidFiles() {
#ifdef KIPPETS_HAVE_SECCOMP
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return QStringLiteral("seccomp is not available");
    // Everything else a decoder needs (memory, reading and writing its socket, time) stays.
    // clang-format off
    static const int forbidden[] = {
        SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(openat2), SCMP_SYS(creat),
        SCMP_SYS(open_by_handle_at), SCMP_SYS(name_to_handle_at),
        SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork), SCMP_SYS(vfork), SCMP_SYS(ptrace),
        SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev),
        SCMP_SYS(socket), SCMP_SYS(socketpair), SCMP_SYS(connect), SCMP_SYS(bind),
        SCMP_SYS(listen), SCMP_SYS(accept), SCMP_SYS(accept4),
        SCMP_SYS(mknod), SCMP_SYS(mknodat), SCMP_SYS(link), SCMP_SYS(linkat), SCMP_SYS(symlink),
        SCMP_SYS(symlinkat), SCMP_SYS(unlink), SCMP_SYS(unlinkat), SCMP_SYS(rename),
        SCMP_SYS(renameat), SCMP_SYS(renameat2), SCMP_SYS(mkdir), SCMP_SYS(mkdirat),
        SCMP_SYS(rmdir), SCMP_SYS(truncate), SCMP_SYS(chmod), SCMP_SYS(fchmodat), SCMP_SYS(chown),
        SCMP_SYS(fchownat), SCMP_SYS(lchown),
    };
    // clang-format on
    bool complete = true;
    for (const int call : forbidden) {
        // A call this architecture lacks has a negative stand-in number: nothing to forbid.
        if (call < 0)
            continue;
        complete = seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0) == 0 && complete;
    }
    const bool loaded = complete && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded ? QString() : QStringLiteral("the seccomp filter could not be loaded");
#else
    return QStringLiteral("built without libseccomp");
#endif
}
