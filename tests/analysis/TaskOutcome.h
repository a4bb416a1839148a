#pragma once

#include "analysis/AIServiceError.h"
#include "support/TaskRunner.h"

// Shorthands of the analyzer tests over TaskRunner.
template <typename T> T valueOf(QCoro::Task<T> task) {
    return TaskRunner::finish(std::move(task));
}

// The case of the AIServiceError the task threw; a task that succeeds or throws anything else
// gives apiError, which no test expects.
template <typename T> AIServiceError::Case failureOf(QCoro::Task<T> task) {
    const auto error = TaskRunner::failure<AIServiceError>(std::move(task));
    return error ? error->errorCase() : AIServiceError::Case::apiError;
}
