#include "platform/foundation/Command.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hestio::platform {

namespace {

    constexpr std::size_t largestOutput = 64 * 1024;

    /// The program's path: as given when it holds a "/", else the first
    /// executable file of that name on PATH. Empty when there is none.
    std::string findProgram(const std::string& name, const std::vector<std::string>& environment)
    {
        if (name.find('/') != std::string::npos)
            return name;
        std::string path = environmentValue(environment, "PATH");
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t end = path.find(':', start);
            if (end == std::string::npos)
                end = path.size();
            std::string folder = path.substr(start, end - start);
            std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
            struct stat status { };
            if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode)
                && ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
            start = end + 1;
        }
        return {};
    }

    /// Closes a descriptor once, when it goes out of scope.
    struct Descriptor {
        int fd { -1 };
        ~Descriptor() { reset(); }
        void reset()
        {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    };

}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry)
        environment.emplace_back(*entry);
    return environment;
}

std::string environmentValue(const std::vector<std::string>& environment, const std::string& name)
{
    std::string prefix = name + "=";
    for (const auto& entry : environment)
        if (entry.compare(0, prefix.size(), prefix) == 0)
            return entry.substr(prefix.size());
    return {};
}

void setEnvironmentValue(std::vector<std::string>& environment, const std::string& name, const std::string& value)
{
    std::string prefix = name + "=";
    std::erase_if(environment, [&](const std::string& entry) { return entry.compare(0, prefix.size(), prefix) == 0; });
    environment.push_back(prefix + value);
}

CommandResult runCommand(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
    std::chrono::milliseconds timeout)
{
    CommandResult result;
    if (arguments.empty()) {
        result.error = EINVAL;
        return result;
    }
    std::string program = findProgram(arguments.front(), environment);
    if (program.empty()) {
        result.error = ENOENT;
        return result;
    }

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        result.error = errno;
        return result;
    }
    Descriptor readEnd { pipeEnds[0] };
    Descriptor writeEnd { pipeEnds[1] };

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (int error = posix_spawn_file_actions_init(&actions); error != 0) {
        result.error = error;
        return result;
    }
    if (int error = posix_spawnattr_init(&attributes); error != 0) {
        posix_spawn_file_actions_destroy(&actions);
        result.error = error;
        return result;
    }
    // Signals this process ignores (SIGPIPE) would stay ignored in it.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    int prepared = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (prepared == 0)
        prepared = posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, 1);
    if (prepared == 0)
        prepared = posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Its own process group, so that a timeout also ends what it started.
    if (prepared == 0)
        prepared = posix_spawnattr_setpgroup(&attributes, 0);
    if (prepared == 0)
        prepared = posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (prepared == 0)
        prepared = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    pid_t child = 0;
    int spawned = prepared != 0
        ? prepared
        : ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        result.error = spawned;
        return result;
    }
    writeEnd.reset();

    // A real process takes real time: the deadline is on the steady clock,
    // not the app's clock (which a test may hold still).
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto remaining = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::int64_t>(0, left.count()));
    };
    bool timedOut = false;
    char chunk[4096];
    while (true) {
        pollfd waiting { readEnd.fd, POLLIN, 0 };
        int ready = ::poll(&waiting, 1, remaining());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        ssize_t got = ::read(readEnd.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        std::size_t room = largestOutput - std::min(largestOutput, result.output.size());
        result.output.append(chunk, std::min(room, static_cast<std::size_t>(got)));
    }
    readEnd.reset();

    int status = 0;
    pid_t ended = 0;
    while (!timedOut) {
        ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR))
            break;
        if (remaining() == 0) {
            timedOut = true;
            break;
        }
        // The output is closed; the program is about to end.
        ::poll(nullptr, 0, std::min(remaining(), 5));
    }
    if (timedOut) {
        ::kill(-child, SIGKILL);
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
        result.outcome = CommandResult::Outcome::TimedOut;
        return result;
    }
    if (ended < 0) {
        result.error = errno;
        return result;
    }
    if (WIFEXITED(status)) {
        result.outcome = CommandResult::Outcome::Exited;
        result.exitStatus = WEXITSTATUS(status);
    } else {
        result.outcome = CommandResult::Outcome::Killed;
    }
    return result;
}

}
