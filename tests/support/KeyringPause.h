#pragma once

#include <QtGlobal>
#include <csignal>
#include <sys/types.h>

// Stops the private keyring daemon (scripts/with-keyring) for as long as it lives: a keyring
// that answers late. What is asked meanwhile waits on the bus and is answered after resume().
class KeyringPause {
public:
    KeyringPause() : pid_(qEnvironmentVariableIntValue("KIPPETS_KEYRING_PID")) {
        if (pid_ > 0)
            ::kill(pid_, SIGSTOP);
    }
    ~KeyringPause() { resume(); }
    KeyringPause(const KeyringPause&) = delete;
    KeyringPause& operator=(const KeyringPause&) = delete;
    bool isPaused() const { return pid_ > 0 && paused_; }
    void resume() {
        if (pid_ > 0 && paused_)
            ::kill(pid_, SIGCONT);
        paused_ = false;
    }

private:
    pid_t pid_;
    bool paused_ = true;
};
