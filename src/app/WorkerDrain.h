#pragma once

#include <chrono>

// The last step of a quit. As the application object goes it waits for every worker of the
// app's pool and of the global one, and a worker stuck in the file system (a hung network mount, a
// device that never answers) would hold the process for ever, deaf to every further signal. By this
// step whatever had to be stored is stored, so such workers are waited for only so long.
class WorkerDrain {
public:
    static constexpr std::chrono::milliseconds patience{1000};

    // Returns once the workers of both pools have finished; when some still run after
    // `patience`, writes the preferences out and ends the process at once with `status`.
    static void finishOrLeave(int status,
                              std::chrono::milliseconds patience = WorkerDrain::patience);
};
