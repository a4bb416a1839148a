#pragma once

#include <coroutine>
#include <functional>
#include <memory>

// Suspends a coroutine until a callback-style operation calls back once, and hands back what it
// called back with. start begins the operation with the function to call back.
template <typename Result> struct CallbackAwaiter {
    std::function<void(std::function<void(const Result&)>)> start;
    std::shared_ptr<Result> result = std::make_shared<Result>();

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        start([result = result, handle](const Result& settled) {
            *result = settled;
            handle.resume();
        });
    }
    Result await_resume() const { return *result; }
};
