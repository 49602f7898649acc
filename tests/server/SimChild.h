#pragma once

#include "json/Decoder.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim::test {

/// The service's reply to a GET (no body) or a form POST over HTTPS on
/// loopback, trusting its certificate unseen; a handle holding nothing when
/// no reply came.
inline json::Value callOverHttps(int port, const std::string& path, const std::string& body)
{
    httplib::SSLClient client("127.0.0.1", port);
    client.enable_server_certificate_verification(false);
    client.set_read_timeout(10);
    auto result = body.empty() ? client.Get(path.c_str())
                               : client.Post(path.c_str(), body, "application/x-www-form-urlencoded");
    return result ? json::objectFromJSONData(result->body) : json::Value();
}

/// hestio-hub run as a child process with its standard output (and its
/// error output too, when `withErrors`) on a pipe.
class Child {
public:
    explicit Child(std::vector<std::string> arguments, bool withErrors = false)
    {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            if (withErrors)
                dup2(fds[1], STDERR_FILENO);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv { const_cast<char*>(HESTIO_SIM_BINARY) };
            for (auto& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(HESTIO_SIM_BINARY, argv.data());
            _exit(127);
        }
        close(fds[1]);
        m_out = fds[0];
    }
    ~Child()
    {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
    }

    /// The next line of output, waiting at most 20 seconds for it.
    std::optional<std::string> readLine()
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (true) {
            size_t newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                return line;
            }
            auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd p { m_out, POLLIN, 0 };
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char chunk[512];
            ssize_t n = read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

    /// Reads lines up to the readiness line and returns the port it names.
    int waitUntilListening()
    {
        const std::string prefix = "hestio-hub listening on https://";
        while (auto line = readLine()) {
            m_lines.push_back(*line);
            if (line->rfind(prefix, 0) == 0)
                return std::stoi(line->substr(line->rfind(':') + 1));
        }
        return -1;
    }

    /// Sends the signal and returns the exit status (or -1 if killed).
    int stop(int signal)
    {
        kill(m_pid, signal);
        return waitForExit();
    }

    pid_t pid() const { return m_pid; }

    int waitForExit()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_exited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string allOutput()
    {
        std::string text;
        while (auto line = readLine())
            text += *line + "\n";
        return text;
    }

    const std::vector<std::string>& lines() const { return m_lines; }

private:
    pid_t m_pid { -1 };
    int m_out { -1 };
    bool m_exited { false };
    std::string m_buffer;
    std::vector<std::string> m_lines;
};

}
