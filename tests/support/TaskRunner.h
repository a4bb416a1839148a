#pragma once

#include <QCoreApplication>
#include <QCoroTask>
#include <QDeadlineTimer>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <variant>

// Runs coroutines from test functions. Unlike QCoro::waitFor, failures are kept and rethrown
// rather than lost.
namespace TaskRunner {
template <typename T> struct Settled {
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
    bool done = false;
    std::optional<Value> value;
    std::exception_ptr error;
};

// Starts watching the task; `done` turns true when it ends, with its value or its failure.
template <typename T> std::shared_ptr<Settled<T>> settle(QCoro::Task<T> task) {
    auto state = std::make_shared<Settled<T>>();
    [](QCoro::Task<T> running, std::shared_ptr<Settled<T>> into) -> QCoro::Task<void> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await std::move(running);
                into->value.emplace();
            } else {
                into->value = co_await std::move(running);
            }
        } catch (...) {
            into->error = std::current_exception();
        }
        into->done = true;
    }(std::move(task), state);
    return state;
}

// The task's value, or its failure rethrown. Events are processed while the task waits for
// outside I/O (D-Bus, sockets); time-outs of our own never pass, since tests run on a manual
// clock. Throws std::runtime_error when the task has not ended within the guard.
template <typename T> T finish(QCoro::Task<T> task, int guardMs = 10000) {
    auto state = settle(std::move(task));
    const QDeadlineTimer guard(guardMs);
    while (!state->done && !guard.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (!state->done)
        throw std::runtime_error("the task did not finish");
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}
} // namespace TaskRunner
