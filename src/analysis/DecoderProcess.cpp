#include "analysis/DecoderProcess.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <future>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

// How often a waiting exchange looks at the decoder's CPU time and memory.
constexpr int tickMilliseconds = 20;

// The first `size` bytes of a small file under /proc, read without Qt: this runs between polls.
std::string procFile(pid_t pid, const char* name) {
    const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return {};
    std::string text(4096, '\0');
    const ssize_t got = ::read(descriptor, text.data(), text.size());
    ::close(descriptor);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

struct Progress {
    // CPU time used, user and system.
    std::chrono::milliseconds cpu{0};
    // Stopped by a signal (T) or by a tracer (t): it runs again only when someone outside says.
    bool stopped = false;
};

// How far the process is, from /proc/<pid>/stat.
std::optional<Progress> progressOf(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    // The command name in parentheses may hold spaces; the fields count from after it.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return std::nullopt;
    const char state = stat[close + 2];
    const char* at = stat.c_str() + close + 1;
    long long fields[13] = {};
    int field = 0;
    while (*at && field < 13) {
        while (*at == ' ')
            ++at;
        char* end = nullptr;
        fields[field] = std::strtoll(at, &end, 10);
        if (end == at) { // the state letter
            while (*at && *at != ' ')
                ++at;
        } else {
            at = end;
        }
        ++field;
    }
    if (field < 13)
        return std::nullopt;
    static const long ticksPerSecond = std::max(1L, ::sysconf(_SC_CLK_TCK));
    // After the state: ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
    return Progress{std::chrono::milliseconds((fields[11] + fields[12]) * 1000 / ticksPerSecond),
                    state == 'T' || state == 't'};
}

struct Memory {
    qint64 resident = 0;
    qint64 peak = 0;
};

// Resident memory now and at its peak, from /proc/<pid>/status.
Memory memoryOf(pid_t pid) {
    const std::string status = procFile(pid, "status");
    const auto field = [&](const char* name) -> qint64 {
        const size_t at = status.find(name);
        if (at == std::string::npos)
            return 0;
        return std::strtoll(status.c_str() + at + std::strlen(name), nullptr, 10) * 1024;
    };
    return {field("VmRSS:"), field("VmHWM:")};
}

std::vector<std::string> childEnvironment() {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "QT_QPA_PLATFORM=", 16) != 0 &&
            std::strncmp(*variable, "QT_ENABLE_REGEXP_JIT=", 21) != 0)
            variables.emplace_back(*variable);
    }
    // The decoder draws into images only; it never shows a window.
    variables.emplace_back("QT_QPA_PLATFORM=offscreen");
    // Nor does it compile regular expressions to code in memory both writable and executable.
    // It sees to that itself as well, being a program anyone may start.
    variables.emplace_back("QT_ENABLE_REGEXP_JIT=0");
    return variables;
}
} // namespace

struct DecoderProcess::Watch {
    DecoderProcess::Limits limits;
    Clock::time_point started = Clock::now();
    std::optional<std::chrono::milliseconds> cpuAtStart;
    // When the decoder's CPU time was last seen to advance, and what it was then.
    Clock::time_point advanced = started;
    std::optional<std::chrono::milliseconds> cpuLastSeen;
    QString exceeded;
    DecoderProcess::Outcome::Failure why = DecoderProcess::Outcome::Failure::none;

    void exceed(DecoderProcess::Outcome::Failure cause, const QString& what) {
        why = cause;
        exceeded = what;
    }
};

namespace {
// A decoder ends with the thread that started it, not with the app: the parent-death signal it
// asks for follows the starting thread. Started from a worker that the pool later lets go, a
// decoder would be killed while idle or in the middle of another worker's picture. Every decoder
// is started from this one thread instead, which lasts as long as the app.
class LastingSpawner {
public:
    static LastingSpawner& shared() {
        // Never destroyed: decoders may still be started while the app ends.
        static auto* spawner = new LastingSpawner;
        return *spawner;
    }

    int spawn(std::function<int()> work) {
        std::packaged_task<int()> task(std::move(work));
        std::future<int> result = task.get_future();
        {
            const std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
        return result.get();
    }

private:
    LastingSpawner() {
        std::thread([this] {
            for (;;) {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !tasks_.empty(); });
                std::packaged_task<int()> task = std::move(tasks_.front());
                tasks_.pop_front();
                lock.unlock();
                task();
            }
        }).detach();
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<int()>> tasks_;
};
} // namespace

std::unique_ptr<DecoderProcess> DecoderProcess::start(const QString& program, qint64 memoryBytes) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return nullptr;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The decoder reads its requests from standard input and answers on it.
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDOUT_FILENO);
    const std::string path = program.toStdString();
    const std::string memory = "--memory=" + std::to_string(memoryBytes);
    std::vector<char*> arguments = {const_cast<char*>(path.c_str()),
                                    const_cast<char*>(memory.c_str()), nullptr};
    std::vector<std::string> variables = childEnvironment();
    std::vector<char*> environment;
    for (std::string& variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = LastingSpawner::shared().spawn([&] {
        return ::posix_spawn(&pid, path.c_str(), &actions, nullptr, arguments.data(),
                             environment.data());
    });
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        return nullptr;
    }
    return std::make_unique<DecoderProcess>(sockets[0], pid);
}

DecoderProcess::DecoderProcess(int socket, pid_t pid) : socket_(socket), pid_(pid) {
    ::fcntl(socket_, F_SETFL, ::fcntl(socket_, F_GETFL) | O_NONBLOCK);
}

DecoderProcess::~DecoderProcess() {
    end();
}

void DecoderProcess::end() {
    spent_ = true;
    if (pid_ > 0) {
        peakBytes_ = std::max(peakBytes_, memoryOf(pid_).peak);
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = 0;
    }
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

bool DecoderProcess::isQuiet() const {
    if (spent_)
        return false;
    pollfd descriptor{socket_, POLLIN, 0};
    return ::poll(&descriptor, 1, 0) == 0;
}

qint64 DecoderProcess::residentBytes() const {
    if (pid_ <= 0)
        return 0;
    const Memory memory = memoryOf(pid_);
    peakBytes_ = std::max(peakBytes_, memory.peak);
    return memory.resident;
}

DecoderProcess::Wait DecoderProcess::waitFor(short events, Watch& watch) {
    for (;;) {
        pollfd descriptor{socket_, events, 0};
        const int ready = ::poll(&descriptor, 1, tickMilliseconds);
        if (ready > 0) {
            if (descriptor.revents & events)
                return Wait::ready;
            return Wait::closed;
        }
        if (ready < 0 && errno != EINTR)
            return Wait::closed;
        // Only the CPU budget and the memory bound judge the picture: a decoder out of wall
        // time was kept from running, by someone who stopped it or by a wait it is stuck in.
        const auto noAnswerWithin = [&](std::chrono::milliseconds bound) {
            watch.exceed(Outcome::Failure::stalled,
                         QStringLiteral("no answer within %1 ms").arg(qint64(bound.count())));
            return Wait::timedOut;
        };
        const Clock::time_point now = Clock::now();
        if (now - watch.started > watch.limits.ceiling)
            return noAnswerWithin(watch.limits.ceiling);
        if (pid_ <= 0) {
            // Nothing tells how far a decoder without a process of its own is.
            if (now - watch.started > watch.limits.wall)
                return noAnswerWithin(watch.limits.wall);
            continue;
        }
        if (const std::optional<Progress> progress = progressOf(pid_)) {
            // Nothing in the app stops a decoder; one stopped goes on only when its stopper says.
            if (progress->stopped) {
                watch.exceed(Outcome::Failure::stalled,
                             QStringLiteral("the decoder was stopped from outside"));
                return Wait::timedOut;
            }
            // Counted from the first look, a tick after the request: close enough for seconds.
            if (!watch.cpuAtStart)
                watch.cpuAtStart = progress->cpu;
            if (progress->cpu - *watch.cpuAtStart > watch.limits.cpu) {
                watch.exceed(Outcome::Failure::cpuBudget,
                             QStringLiteral("more than %1 ms of CPU time")
                                 .arg(qint64(watch.limits.cpu.count())));
                return Wait::timedOut;
            }
            // A busy machine slows a decoder down but does not stop it: while its CPU time
            // advances it is working on the answer.
            if (watch.cpuLastSeen != progress->cpu) {
                watch.cpuLastSeen = progress->cpu;
                watch.advanced = now;
            }
        }
        // A decoder whose CPU time cannot be read is judged by the wall time since the request.
        if (now - watch.advanced > watch.limits.wall)
            return noAnswerWithin(watch.limits.wall);
        const Memory memory = memoryOf(pid_);
        peakBytes_ = std::max(peakBytes_, memory.peak);
        if (memory.resident > watch.limits.memoryBytes) {
            watch.exceed(Outcome::Failure::memoryLimit,
                         QStringLiteral("%1 MB of memory").arg(memory.resident >> 20));
            return Wait::timedOut;
        }
    }
}

bool DecoderProcess::sendAll(const char* data, qint64 size, Watch& watch) {
    while (size > 0) {
        const ssize_t sent = ::send(socket_, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            size -= sent;
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitFor(POLLOUT, watch) != Wait::ready)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool DecoderProcess::receiveAll(char* data, qint64 size, Watch& watch) {
    while (size > 0) {
        const ssize_t got = ::recv(socket_, data, static_cast<size_t>(size), 0);
        if (got > 0) {
            data += got;
            size -= got;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitFor(POLLIN, watch) != Wait::ready)
                return false;
        } else {
            return false; // the decoder closed its end, or died, before the whole answer
        }
    }
    return true;
}

DecoderProcess::Outcome DecoderProcess::fail(Outcome::Failure why, const QString& what) {
    end();
    Outcome outcome;
    outcome.kind = Outcome::Kind::failed;
    outcome.why = why;
    outcome.failure = what;
    return outcome;
}

DecoderProcess::Outcome::Failure DecoderProcess::reapedCause(QString& what) {
    if (pid_ <= 0)
        return Outcome::Failure::nonsense;
    // A decoder closes its end only by ending; the system reaps it a moment later.
    const auto until = Clock::now() + std::chrono::seconds(2);
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (reaped != pid_)
        return Outcome::Failure::nonsense; // it lives on, out of step: end() kills it
    pid_ = 0;
    // The app sends SIGKILL only from end(), to a process it then reaps at once: this one came
    // from outside, as the out-of-memory killer's does, and says nothing of the picture: its
    // walls let no decoder send itself SIGKILL, nor SIGSTOP.
    if (WIFEXITED(status) && WEXITSTATUS(status) == DecoderProtocol::wallsDownStatus) {
        what = QStringLiteral("the decoder could not put up its walls");
        return Outcome::Failure::wallsDown;
    }
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        what = QStringLiteral("the decoder was killed from outside");
        return Outcome::Failure::killedFromOutside;
    }
    if (WIFSIGNALED(status))
        what = QStringLiteral("the decoder died of signal %1").arg(WTERMSIG(status));
    return Outcome::Failure::crashed;
}

DecoderProcess::Outcome DecoderProcess::exchange(const DecoderProtocol::Request& request,
                                                 const Limits& limits, const PixelRoom& room,
                                                 const FileRoom& fileRoom) {
    if (spent_)
        return fail(Outcome::Failure::unreachable, QStringLiteral("the decoder is gone"));
    Watch watch;
    watch.limits = limits;
    // A transfer that broke off without a verdict of the watch's: the decoder ended, or sent
    // what no request gets.
    const auto failure = [&](const QString& what) {
        if (!watch.exceeded.isEmpty())
            return fail(watch.why, watch.exceeded);
        QString told = what;
        const Outcome::Failure why = reapedCause(told);
        return fail(why, told);
    };
    const QByteArray header = DecoderProtocol::requestHeader(request);
    if (!sendAll(header.constData(), header.size(), watch) ||
        !sendAll(request.bytes.constData(), request.bytes.size(), watch))
        return failure(QStringLiteral("the decoder took no request"));
    QByteArray answerBytes(DecoderProtocol::answerHeaderBytes, '\0');
    if (!receiveAll(answerBytes.data(), answerBytes.size(), watch))
        return failure(QStringLiteral("the decoder ended without an answer"));
    std::optional<DecoderProtocol::AnswerHeader> answer =
        DecoderProtocol::readAnswerHeader(answerBytes, request);
    // The file that follows is of the picture said to be decoded, and of no other size.
    const std::optional<QSize> decodedSize =
        answer && answer->answer == DecoderProtocol::Answer::decoded ? std::optional(answer->size)
                                                                     : std::nullopt;
    // The picture is decoded within its budget: writing its file is the app's asking, and has a
    // budget of its own on top. Said once; a second time is no answer.
    if (answer && answer->answer == DecoderProtocol::Answer::decoded) {
        const std::chrono::milliseconds encoding = limits.encodingFor(answer->size);
        watch.limits.cpu += encoding;
        watch.limits.wall += encoding;
        watch.limits.ceiling += encoding;
        if (!receiveAll(answerBytes.data(), answerBytes.size(), watch))
            return failure(QStringLiteral("the decoder ended without an answer"));
        answer = DecoderProtocol::readAnswerHeader(answerBytes, request);
        if (answer && answer->answer == DecoderProtocol::Answer::decoded)
            answer.reset();
    }
    if (!answer)
        return fail(Outcome::Failure::nonsense,
                    QStringLiteral("the decoder's answer does not add up"));
    Outcome outcome;
    switch (answer->answer) {
    case DecoderProtocol::Answer::refused:
        outcome.kind = Outcome::Kind::refused;
        return outcome;
    case DecoderProtocol::Answer::size:
        outcome.kind = Outcome::Kind::answered;
        outcome.size = answer->size;
        return outcome;
    case DecoderProtocol::Answer::pages: {
        QByteArray sizes(answer->pixelBytes, '\0');
        if (!receiveAll(sizes.data(), sizes.size(), watch))
            return failure(QStringLiteral("the decoder ended inside its pages"));
        outcome.pages = DecoderProtocol::readPageSizes(sizes, answer->size.width());
        if (!outcome.pages)
            return fail(Outcome::Failure::nonsense,
                        QStringLiteral("the decoder's pages do not add up"));
        outcome.kind = Outcome::Kind::answered;
        return outcome;
    }
    case DecoderProtocol::Answer::encoded: {
        if (decodedSize && *decodedSize != answer->size)
            return fail(Outcome::Failure::nonsense,
                        QStringLiteral("the decoder's answer does not add up"));
        // Counted in the app's budget before a byte of it is held, as pixels are.
        if (fileRoom) {
            outcome.encodedRoom = fileRoom(answer->pixelBytes);
            if (!outcome.encodedRoom)
                return fail(Outcome::Failure::noRoom,
                            QStringLiteral("no room for the decoder's file"));
            watch.started = Clock::now();
            watch.advanced = watch.started;
        }
        QByteArray file(answer->pixelBytes, Qt::Uninitialized);
        if (!receiveAll(file.data(), file.size(), watch))
            return failure(QStringLiteral("the decoder ended inside its picture"));
        outcome.kind = Outcome::Kind::answered;
        outcome.size = answer->size;
        outcome.encoded = std::move(file);
        return outcome;
    }
    case DecoderProtocol::Answer::decoded:
        return fail(Outcome::Failure::nonsense,
                    QStringLiteral("the decoder's answer does not add up"));
    case DecoderProtocol::Answer::image:
        break;
    }
    QImage image = room ? room(answer->size, answer->format) : QImage(answer->size, answer->format);
    if (image.isNull() || image.bytesPerLine() != answer->bytesPerLine ||
        image.sizeInBytes() != answer->pixelBytes)
        return fail(Outcome::Failure::noRoom, QStringLiteral("no room for the decoder's picture"));
    // The time the app took to make room is its own, not the decoder's.
    watch.started = Clock::now();
    watch.advanced = watch.started;
    if (!receiveAll(reinterpret_cast<char*>(image.bits()), answer->pixelBytes, watch))
        return failure(QStringLiteral("the decoder ended inside its picture"));
    if (answer->dotsPerMeterX > 0 && answer->dotsPerMeterY > 0) {
        image.setDotsPerMeterX(answer->dotsPerMeterX);
        image.setDotsPerMeterY(answer->dotsPerMeterY);
    }
    outcome.kind = Outcome::Kind::answered;
    outcome.image = std::move(image);
    return outcome;
}
