#include "decoder/LockdownCheck.h"

#include "decoder/Lockdown.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <linux/io_uring.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {
bool opensAFile() {
    const int opened = ::open("/etc/hostname", O_RDONLY | O_CLOEXEC);
    if (opened >= 0)
        ::close(opened);
    return opened >= 0;
}

// A descriptor that a call handed over when it should not have: closed, and counted as allowed.
bool received(long descriptor) {
    if (descriptor >= 0)
        ::close(static_cast<int>(descriptor));
    return descriptor >= 0;
}

bool forks() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    return child > 0;
}

bool startsAThread() {
    try {
        std::thread([] {}).join();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

volatile sig_atomic_t abortSignals = 0;

// The signal abort() sends, caught here so that the check goes on: by kill to the process and by
// tgkill to this thread, as raise() sends it.
bool sendsItselfAbort() {
    struct sigaction catching {};
    catching.sa_handler = [](int) { abortSignals = abortSignals + 1; };
    sigemptyset(&catching.sa_mask);
    struct sigaction before {};
    if (::sigaction(SIGABRT, &catching, &before) != 0)
        return false;
    const bool sent = ::kill(::getpid(), SIGABRT) == 0 &&
                      ::syscall(SYS_tgkill, ::getpid(), ::gettid(), SIGABRT) == 0;
    ::sigaction(SIGABRT, &before, nullptr);
    return sent && abortSignals > 0;
}

} // namespace

LockdownCheck::LockdownCheck()
    : parent_(::getppid()), parentHandle_(static_cast<int>(::syscall(SYS_pidfd_open, parent_, 0))),
      maps_(::open("/proc/self/maps", O_RDONLY | O_CLOEXEC)) {
    earlierThreadOpened_ = std::async(std::launch::async, [ready = go_.get_future()] {
        ready.wait();
        return opensAFile();
    });
}

LockdownCheck::~LockdownCheck() {
    if (parentHandle_ >= 0)
        ::close(parentHandle_);
    if (maps_ >= 0)
        ::close(maps_);
}

int LockdownCheck::run(const QString& unlocked) {
    const bool filesOpen = opensAFile();
    std::fprintf(stderr, "%s\n",
                 filesOpen ? qPrintable(QStringLiteral("files open: ") + unlocked)
                           : "files forbidden");
    go_.set_value();
    int wrong = filesOpen ? 1 : 0;
    // One line for each attempt.
    const auto tried = [&](const char* attempt, bool allowed, bool mustBeAllowed) {
        std::fprintf(stderr, "%s: %s\n", attempt, allowed ? "allowed" : "refused");
        wrong += allowed != mustBeAllowed ? 1 : 0;
    };
    tried("opening a file from a thread started earlier", earlierThreadOpened_.get(), false);
    io_uring_params ringParameters{};
    tried("io_uring_setup", received(::syscall(SYS_io_uring_setup, 1, &ringParameters)), false);
    tried("fork", forks(), false);
    tried("kill of the parent", ::kill(parent_, 0) == 0, false);
    // Standard error: the one descriptor the app surely has open.
    const long handle = parentHandle_ >= 0 ? parentHandle_ : ::syscall(SYS_pidfd_open, parent_, 0);
    tried("pidfd_getfd on the parent",
          received(::syscall(SYS_pidfd_getfd, handle, STDERR_FILENO, 0)), false);
    tried("starting a thread", startsAThread(), true);
    tried("a signal to itself", sendsItselfAbort(), true);
    // Either would end the check here, or stop it for good, were it let through.
    tried("SIGKILL to itself", ::kill(::getpid(), SIGKILL) == 0, false);
    tried("SIGSTOP to itself", ::syscall(SYS_tgkill, ::getpid(), ::gettid(), SIGSTOP) == 0, false);
    const QByteArrayList code =
        maps_ >= 0 ? Lockdown::codeInData(maps_)
                   : QByteArrayList{QByteArrayLiteral("the memory map could not be opened")};
    std::fprintf(stderr, "writable or anonymous executable memory: %s\n",
                 code.isEmpty() ? "none" : code.join(" | ").constData());
    wrong += code.isEmpty() ? 0 : 1;
    std::fflush(stderr);
    return wrong == 0 ? 0 : 2;
}
