#include "AdminCommands.h"

#include "Crypto.h"
#include "FormData.h"
#include "Options.h"
#include "Store.h"

#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>

namespace hestio::sim {

namespace {
    constexpr size_t kMaxUserNameBytes = 100;
    constexpr size_t kMaxPasswordBytes = 256;

    bool isAdministrator(const UserRow& user)
    {
        return user.type == "Admin";
    }

    /// A name fit for a person or a household: 1 to `limit` bytes of UTF-8
    /// without control characters.
    bool isFitName(const std::string& name, size_t limit)
    {
        if (name.empty() || name.size() > limit || !isValidUtf8(name))
            return false;
        for (char c : name) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return false;
        }
        return true;
    }

    struct Command {
        std::string verb;
        std::vector<std::string> words;
        std::vector<std::string> serviceOptions;
        bool admin { false };
        std::optional<std::string> householdName;
        std::optional<std::string> zone;
    };

    /// Splits the command line; the text returned is what is wrong with it.
    std::optional<std::string> readCommand(const std::vector<std::string>& arguments, Command& command)
    {
        command.verb = arguments[0];
        for (size_t i = 1; i < arguments.size(); ++i) {
            const std::string& argument = arguments[i];
            bool valued = argument == "--data" || argument == "--db" || argument == "--name" || argument == "--zone";
            if (valued && i + 1 >= arguments.size())
                return argument + " needs a value";
            if (argument == "--data" || argument == "--db") {
                command.serviceOptions.push_back(argument);
                command.serviceOptions.push_back(arguments[++i]);
            } else if (argument == "--name") {
                command.householdName = arguments[++i];
            } else if (argument == "--zone") {
                command.zone = arguments[++i];
            } else if (argument == "--admin") {
                command.admin = true;
            } else if (argument.rfind("--", 0) == 0) {
                return "unknown option " + argument;
            } else {
                command.words.push_back(argument);
            }
        }
        return std::nullopt;
    }

    /// A new password, asked for; none (with the reason told) when unusable.
    std::optional<std::string> newPassword(
        const std::string& name, const PasswordReader& readPassword, std::ostream& err)
    {
        auto password = readPassword("Password for " + name + ": ");
        if (!password) {
            err << "hestio-hub: no password was given; nothing was changed\n";
            return std::nullopt;
        }
        if (password->empty()) {
            err << "hestio-hub: the password must not be empty; nothing was changed\n";
            return std::nullopt;
        }
        if (password->size() > kMaxPasswordBytes) {
            err << "hestio-hub: the password is longer than 256 bytes; nothing was changed\n";
            return std::nullopt;
        }
        return password;
    }

    int household(Store& store, const Command& command, std::ostream& out, std::ostream& err)
    {
        if (!command.householdName && !command.zone) {
            err << "hestio-hub: household needs --name TEXT, --zone ZONE or both\n";
            return 2;
        }
        if (command.householdName && !isFitName(*command.householdName, kMaxUserNameBytes)) {
            err << "hestio-hub: the household's name must be 1 to 100 characters without control characters\n";
            return 2;
        }
        if (command.zone && !isKnownTimeZone(*command.zone)) {
            err << "hestio-hub: --zone needs a time zone name such as Europe/Berlin (" << *command.zone
                << " is not one)\n";
            return 2;
        }
        auto current = store.firstHousehold();
        if (!current) {
            store.addHousehold("Home", machineTimeZone());
            current = store.firstHousehold();
        }
        std::string name = command.householdName.value_or(current->name);
        std::string zone = command.zone.value_or(current->timeZone);
        store.updateHousehold(current->id, name, zone);
        out << "household " << name << " in " << zone << "\n";
        return 0;
    }
    /// user add, passwd, remove or list, its words already checked.
    int userCommand(Store& store, const Command& command, const PasswordReader& readPassword, std::ostream& out,
        std::ostream& err, int passwordIterations)
    {
        const std::string& sub = command.words[0];
        auto home = store.firstHousehold();
        if (sub == "list") {
            for (const auto& user : home ? store.usersOf(home->id) : std::vector<UserRow> {})
                out << user.name << (isAdministrator(user) ? " (administrator)" : "") << "\n";
            return 0;
        }
        const std::string& name = command.words[1];
        auto user = store.userByName(name);
        if (sub == "add") {
            if (!isFitName(name, kMaxUserNameBytes)) {
                err << "hestio-hub: a user name must be 1 to 100 characters without control characters\n";
                return 2;
            }
            if (user) {
                err << "hestio-hub: a user named " << name << " exists already\n";
                return 1;
            }
            auto password = newPassword(name, readPassword, err);
            if (!password)
                return 1;
            if (!home) {
                store.addHousehold("Home", machineTimeZone());
                home = store.firstHousehold();
            }
            store.addUser(
                home->id, name, command.admin ? "Admin" : "Member", hashPassword(*password, passwordIterations));
            out << "added " << name << (command.admin ? " (administrator)" : "") << " to " << home->name << "\n";
            return 0;
        }
        if (!user) {
            err << "hestio-hub: no user is named " << name << "\n";
            return 1;
        }
        if (sub == "passwd") {
            auto password = newPassword(name, readPassword, err);
            if (!password)
                return 1;
            store.setPasswordHash(user->id, hashPassword(*password, passwordIterations));
            // Whoever signed in with the old password has to sign in again.
            store.removeSessionsOf(user->id, "");
            out << "changed the password of " << name << "\n";
            return 0;
        }
        auto users = store.usersOf(user->householdId);
        bool anotherAdministrator = std::any_of(
            users.begin(), users.end(), [&](const auto& u) { return u.id != user->id && isAdministrator(u); });
        if (isAdministrator(*user) && !anotherAdministrator) {
            err << "hestio-hub: " << name << " is the household's last administrator; add another first\n";
            return 1;
        }
        store.removeUser(user->id);
        out << "removed " << name << "\n";
        return 0;
    }
}

bool isAdminCommand(const std::vector<std::string>& arguments)
{
    return !arguments.empty() && (arguments[0] == "user" || arguments[0] == "household");
}

int runAdminCommand(const std::vector<std::string>& arguments, const PasswordReader& readPassword, std::ostream& out,
    std::ostream& err, int passwordIterations)
{
    Command command;
    if (auto wrong = readCommand(arguments, command)) {
        err << "hestio-hub: " << *wrong << "\n";
        return 2;
    }
    auto options = parseOptions(command.serviceOptions);
    if (!options) {
        err << "hestio-hub: " << options.error().message() << "\n";
        return 2;
    }
    const std::string& sub = command.words.empty() ? std::string() : command.words[0];
    size_t wordsNeeded = sub == "list" ? 1 : 2;
    if (command.verb == "user"
        && (command.words.size() != wordsNeeded || (sub != "add" && sub != "passwd" && sub != "remove" && sub != "list")
            || (command.admin && sub != "add"))) {
        err << "hestio-hub: use user add NAME [--admin], user passwd NAME, user remove NAME or user list\n";
        return 2;
    }
    if (command.verb == "household" && !command.words.empty()) {
        err << "hestio-hub: use household --name TEXT --zone ZONE\n";
        return 2;
    }
    if (options->database.has_parent_path())
        std::filesystem::create_directories(options->database.parent_path());
    Store store(options->database.string());
    if (command.verb == "household")
        return household(store, command, out, err);

    return userCommand(store, command, readPassword, out, err, passwordIterations);
}

std::optional<std::string> readPasswordFromTerminal(const std::string& prompt)
{
    auto readLine = [](std::optional<std::string>& line) {
        std::string text;
        if (std::getline(std::cin, text)) {
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            line = text;
        }
    };
    std::optional<std::string> first;
    if (!isatty(STDIN_FILENO)) {
        readLine(first);
        return first;
    }
    termios saved {};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::optional<std::string> second;
    std::cerr << prompt << std::flush;
    readLine(first);
    std::cerr << "\nAgain: " << std::flush;
    if (first)
        readLine(second);
    std::cerr << std::endl;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (first && second != first) {
        std::cerr << "hestio-hub: the two passwords differ\n";
        return std::nullopt;
    }
    return first;
}

}
