#pragma once

#include "analysis/AIServiceError.h"

#include <QCoroTask>
#include <QEventLoop>
#include <optional>
#include <stdexcept>

// Runs an analyzer's task to its end in a local event loop and keeps what it gave: its value or
// the AIServiceError it threw.
template <typename T> struct TaskOutcome {
    std::optional<T> value;
    std::optional<AIServiceError> error;
    bool done = false;
};

template <typename T>
QCoro::Task<void> captureOutcome(QCoro::Task<T> task, TaskOutcome<T>* outcome, QEventLoop* loop) {
    try {
        outcome->value = co_await std::move(task);
    } catch (const AIServiceError& error) {
        outcome->error = error;
    }
    outcome->done = true;
    loop->quit();
}

template <typename T> TaskOutcome<T> outcomeOf(QCoro::Task<T> task) {
    TaskOutcome<T> outcome;
    QEventLoop loop;
    auto running = captureOutcome(std::move(task), &outcome, &loop);
    if (!outcome.done)
        loop.exec();
    return outcome;
}

// The task's value; a thrown error fails the calling test.
template <typename T> T valueOf(QCoro::Task<T> task) {
    TaskOutcome<T> outcome = outcomeOf(std::move(task));
    if (!outcome.value)
        throw std::runtime_error(outcome.error ? outcome.error->what() : "no value");
    return *outcome.value;
}

// The case of the error the task threw; a task that succeeds gives apiError, which no test expects.
template <typename T> AIServiceError::Case failureOf(QCoro::Task<T> task) {
    TaskOutcome<T> outcome = outcomeOf(std::move(task));
    return outcome.error ? outcome.error->errorCase() : AIServiceError::Case::apiError;
}
