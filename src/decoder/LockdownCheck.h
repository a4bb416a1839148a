#pragma once

#include <QString>
#include <future>
#include <sys/types.h>

// The decoder's walls tried from inside, for the tests (`--check-lockdown`): once they are up, the
// decoder attempts what code smuggled in by a picture would, and says on standard error, one line
// each, what it was let do. Made before the walls go up, it holds what such code would find
// already there: a thread started earlier and a pidfd on the app.
class LockdownCheck {
public:
    LockdownCheck();
    ~LockdownCheck();
    LockdownCheck(const LockdownCheck&) = delete;
    LockdownCheck& operator=(const LockdownCheck&) = delete;

    // 0 when every escape was refused and the decoder can still start threads and signal itself;
    // 2 otherwise. `unlocked` is why the walls are missing, if they are.
    int run(const QString& unlocked);

private:
    pid_t parent_;
    int parentHandle_;
    std::promise<void> go_;
    std::future<bool> earlierThreadOpened_;
};
