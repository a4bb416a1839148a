#pragma once

#include <QCoroTask>
#include <exception>
#include <optional>

// Runs a task to its end in a nested event loop and hands back its result, or rethrows what it
// threw (QCoro::waitFor alone would wait forever on a task that throws).
namespace AwaitTask {
template <typename T>
QCoro::Task<std::optional<T>> capture(QCoro::Task<T> task, std::exception_ptr& error) {
    try {
        co_return co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    co_return std::nullopt;
}

inline QCoro::Task<bool> captureVoid(QCoro::Task<void> task, std::exception_ptr& error) {
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    co_return true;
}
} // namespace AwaitTask

template <typename T> T awaitTask(QCoro::Task<T> task) {
    std::exception_ptr error;
    std::optional<T> result = QCoro::waitFor(AwaitTask::capture(std::move(task), error));
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

inline void awaitTask(QCoro::Task<void> task) {
    std::exception_ptr error;
    QCoro::waitFor(AwaitTask::captureVoid(std::move(task), error));
    if (error)
        std::rethrow_exception(error);
}
