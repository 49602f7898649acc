#pragma once

// Starting the programs a test or benchmark of the hub needs (the broker,
// the hub, the plugs) with their output in a log file, and finding a free
// loopback port for one of them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace hestio::sim::test {

/// Starts `arguments` (the program's path first) with standard output and
/// error appended to `log`; with `input`, its standard input is a pipe whose
/// writing end is put there. The child's id, -1 when it could not start.
inline pid_t spawnLogged(std::vector<std::string> arguments, const std::string& log, int* input = nullptr)
{
    int fds[2] = { -1, -1 };
    if (input && pipe(fds) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        if (input) {
            dup2(fds[0], STDIN_FILENO);
            close(fds[1]);
        }
        std::vector<char*> argv;
        for (auto& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (input) {
        close(fds[0]);
        *input = fds[1];
    }
    return pid;
}

/// A loopback port free a moment ago.
inline int freePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

}
