#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace hestio::sim {

/// Asks for a password with `prompt`; none when there is no answer at all.
using PasswordReader = std::function<std::optional<std::string>(const std::string& prompt)>;

/// Whether the command line is one of the administration commands (user,
/// household) rather than serving.
[[nodiscard]] bool isAdminCommand(const std::vector<std::string>& arguments);

/// Runs `user add NAME [--admin]`, `user passwd NAME`, `user remove NAME`,
/// `user list` or `household --name TEXT --zone ZONE`, each with the
/// optional --data DIR and --db FILE of the service. Passwords come from
/// `readPassword`, never from the command line. Writes what it did to `out`
/// and what went wrong to `err`; returns the exit status. A running hub sees
/// the change at its next request.
int runAdminCommand(const std::vector<std::string>& arguments, const PasswordReader& readPassword, std::ostream& out,
    std::ostream& err, int passwordIterations);

/// Reads a password from the terminal without echo (asking twice), or one
/// line of standard input when that is not a terminal.
std::optional<std::string> readPasswordFromTerminal(const std::string& prompt);

}
