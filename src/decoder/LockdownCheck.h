#pragma once

#include <QString>
#include <future>
#include <sys/types.h>

// The decoder's walls tried from inside, for the tests (`--check-lockdown`): once they are up, the
// decoder attempts what code smuggled in by a picture would, and says on standard error, one line
// each, what it was let do. Made before the walls go up, it holds what such code would find
// already there: a thread started earlier, a pidfd on the app and its own memory map, open.
class LockdownCheck {
public:
    LockdownCheck();
    ~LockdownCheck();
    LockdownCheck(const LockdownCheck&) = delete;
    LockdownCheck& operator=(const LockdownCheck&) = delete;

    // 0 when every escape was refused, no memory is both writable and executable or executable
    // with no file behind it, and the decoder can still start threads and send itself the
    // signal abort() sends (and no other); 2 otherwise. `unlocked` is why the walls are missing,
    // if they are.
    int run(const QString& unlocked);

private:
    pid_t parent_;
    int parentHandle_;
    int maps_;
    std::promise<void> go_;
    std::future<bool> earlierThreadOpened_;
};
