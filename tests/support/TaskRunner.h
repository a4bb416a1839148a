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

// Processes events until the condition holds or the guard passes; whether it holds. Events
// arrive from outside I/O (D-Bus, sockets); time-outs of our own never pass, since tests run on
// a manual clock.
template <typename Condition> bool waitUntil(Condition condition, int guardMs = 30000) {
    const QDeadlineTimer guard(guardMs);
    while (!condition() && !guard.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return condition();
}

// The value of a settled task, or its failure rethrown, once it has ended. Throws
// std::runtime_error when it has not ended within the guard.
template <typename T> T result(const std::shared_ptr<Settled<T>>& state, int guardMs = 30000) {
    if (!waitUntil([&state] { return state->done; }, guardMs))
        throw std::runtime_error("the task did not finish");
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->value);
}

template <typename T> T finish(QCoro::Task<T> task, int guardMs = 30000) {
    return result(settle(std::move(task)), guardMs);
}

// The error of type E that the call threw; nothing when it returned or threw something else.
template <typename E, typename Call> std::optional<E> caught(Call call) {
    try {
        call();
    } catch (const E& error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}

template <typename E, typename T> std::optional<E> failure(QCoro::Task<T> task) {
    return caught<E>([&task] { finish(std::move(task)); });
}
} // namespace TaskRunner
