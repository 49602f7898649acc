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

namespace {

    /// Sets up the child's descriptors (output into the pipe, nothing in,
    /// errors dropped), its process group and its signals. 0 when all took.
    int prepareSpawn(posix_spawn_file_actions_t& actions, posix_spawnattr_t& attributes, int writeFd)
    {
        // Signals this process ignores (SIGPIPE) would stay ignored in it.
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        int prepared = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (prepared == 0)
            prepared = posix_spawn_file_actions_adddup2(&actions, writeFd, 1);
        if (prepared == 0)
            prepared = posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        // Its own process group, so that a timeout also ends what it started.
        if (prepared == 0)
            prepared = posix_spawnattr_setpgroup(&attributes, 0);
        if (prepared == 0)
            prepared = posix_spawnattr_setsigdefault(&attributes, &defaults);
        if (prepared == 0)
            prepared = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
        return prepared;
    }

    /// The strings as a null-terminated array of C strings; they must
    /// outlive it.
    std::vector<char*> nullTerminated(const std::vector<std::string>& strings)
    {
        std::vector<char*> pointers;
        for (const auto& entry : strings)
            pointers.push_back(const_cast<char*>(entry.c_str()));
        pointers.push_back(nullptr);
        return pointers;
    }

    /// Starts the program with its output into writeFd. 0 and the child's
    /// id in child, or the error number.
    int spawnChild(pid_t& child, const std::string& program, int writeFd, const std::vector<std::string>& arguments,
        const std::vector<std::string>& environment)
    {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        if (int error = posix_spawn_file_actions_init(&actions); error != 0)
            return error;
        if (int error = posix_spawnattr_init(&attributes); error != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return error;
        }
        int prepared = prepareSpawn(actions, attributes, writeFd);

        std::vector<char*> argv = nullTerminated(arguments);
        std::vector<char*> envp = nullTerminated(environment);

        int spawned = prepared != 0
            ? prepared
            : ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        return spawned;
    }

    /// Milliseconds until the deadline, never below 0.
    int millisecondsLeft(std::chrono::steady_clock::time_point deadline)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::int64_t>(0, left.count()));
    }

    /// Reads the program's output until it closes it, keeping at most
    /// largestOutput bytes. True when the deadline came first.
    bool readOutput(int readFd, std::string& output, std::chrono::steady_clock::time_point deadline)
    {
        char chunk[4096];
        while (true) {
            pollfd waiting { readFd, POLLIN, 0 };
            int ready = ::poll(&waiting, 1, millisecondsLeft(deadline));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return true;
            ssize_t got = ::read(readFd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            std::size_t room = largestOutput - std::min(largestOutput, output.size());
            output.append(chunk, std::min(room, static_cast<std::size_t>(got)));
        }
    }

    /// Waits for the child to end, until the deadline. True when the
    /// deadline came first; else ended and status as waitpid left them.
    bool waitForExit(pid_t child, pid_t& ended, int& status, std::chrono::steady_clock::time_point deadline)
    {
        while (true) {
            ended = ::waitpid(child, &status, WNOHANG);
            if (ended == child || (ended < 0 && errno != EINTR))
                return false;
            if (millisecondsLeft(deadline) == 0)
                return true;
            // The output is closed; the program is about to end.
            ::poll(nullptr, 0, std::min(millisecondsLeft(deadline), 5));
        }
    }

    /// Ends the child and all it started, and reaps it.
    void killGroup(pid_t child, int& status)
    {
        ::kill(-child, SIGKILL);
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    }

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

    pid_t child = 0;
    if (int spawned = spawnChild(child, program, writeEnd.fd, arguments, environment); spawned != 0) {
        result.error = spawned;
        return result;
    }
    writeEnd.reset();

    // A real process takes real time: the deadline is on the steady clock,
    // not the app's clock (which a test may hold still).
    auto deadline = std::chrono::steady_clock::now() + timeout;
    bool timedOut = readOutput(readEnd.fd, result.output, deadline);
    readEnd.reset();

    int status = 0;
    pid_t ended = 0;
    if (!timedOut)
        timedOut = waitForExit(child, ended, status, deadline);
    if (timedOut) {
        killGroup(child, status);
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
