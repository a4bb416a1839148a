#pragma once

#include <atomic>
#include <memory>

// A flag that a caller raises to stop a running analysis. Copies share the flag, so the caller
// keeps one copy and hands another to the coroutine; a default token is never cancelled.
class CancellationToken {
public:
    CancellationToken() : flag_(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() { flag_->store(true); }
    bool isCancelled() const { return flag_->load(); }

private:
    std::shared_ptr<std::atomic<bool>> flag_;
};
