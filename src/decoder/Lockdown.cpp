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
    static const char* const forbidden[] = {
        "open", "openat", "openat2", "creat", "open_by_handle_at", "name_to_handle_at",
        "execve", "execveat", "fork", "vfork", "ptrace", "process_vm_readv", "process_vm_writev",
        "socket", "socketpair", "connect", "bind", "listen", "accept", "accept4",
        "mknod", "mknodat", "link", "linkat", "symlink", "symlinkat", "unlink", "unlinkat",
        "rename", "renameat", "renameat2", "mkdir", "mkdirat", "rmdir", "truncate",
        "chmod", "fchmodat", "chown", "fchownat", "lchown",
    };
    // clang-format on
    bool complete = true;
    for (const char* name : forbidden) {
        const int call = seccomp_syscall_resolve_name(name);
        if (call == __NR_SCMP_ERROR)
            continue; // not a call on this architecture
        complete = seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), call, 0) == 0 && complete;
    }
    const bool loaded = complete && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded ? QString() : QStringLiteral("the seccomp filter could not be loaded");
#else
    return QStringLiteral("built without libseccomp");
#endif
}
