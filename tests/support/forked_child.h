#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

namespace plimbrook::testing {

// How long a forked child may run before it counts as hung.
inline constexpr std::chrono::milliseconds kChildLimit{20'000};

// Runs `body` in a forked child and waits for it. `body` ends the child itself, by _exit, exit
// or a signal; if it returns, the child exits with 99. Gives the child's wait status, or nothing
// if it could not start or was still running after `limit`: then it is killed, so that a call
// that blocks fails the row instead of hanging the suite.
template <typename Body>
std::optional<int> runForked(Body&& body, std::chrono::milliseconds limit = kChildLimit) {
    const pid_t child = ::fork();
    if (child < 0) {
        return std::nullopt;
    }
    if (child == 0) {
        body();
        ::_exit(99);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t waited = ::waitpid(child, &status, WNOHANG);
        if (waited == child) {
            return status;
        }
        if (waited < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace plimbrook::testing
