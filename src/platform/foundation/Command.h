#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace hestio::platform {

/// How a helper program ended, and what it wrote to its standard output.
struct CommandResult {
    enum class Outcome {
        Exited, ///< it ran and exited; see `exitStatus`
        NotStarted, ///< not found or not runnable; see `error`
        TimedOut, ///< still running after the time allowed; it was killed
        Killed, ///< ended by a signal
    };
    Outcome outcome { Outcome::NotStarted };
    int exitStatus { 0 };
    int error { 0 };
    std::string output;

    bool succeeded() const { return outcome == Outcome::Exited && exitStatus == 0; }
};

/// Runs a small helper program and waits for it: `arguments[0]` is looked up
/// in the PATH of `environment` (unless it holds a "/"), which is also the
/// program's whole environment. Its input is empty, its errors are dropped,
/// and at most 64 KiB of its output are kept. A program (with anything it
/// started) still running after `timeout` is killed. This blocks the caller,
/// so it is for programs that answer at once.
[[nodiscard]] CommandResult runCommand(const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment, std::chrono::milliseconds timeout);

/// This process's environment, as "NAME=value" texts.
std::vector<std::string> currentEnvironment();
/// The value of NAME in such an environment; empty when it is not set.
std::string environmentValue(const std::vector<std::string>& environment, const std::string& name);
/// Sets NAME in such an environment, replacing an earlier value.
void setEnvironmentValue(std::vector<std::string>& environment, const std::string& name, const std::string& value);

}
