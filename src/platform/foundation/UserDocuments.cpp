#include "platform/foundation/UserDocuments.h"

#include "platform/foundation/Command.h"
#include "platform/foundation/Log.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace hestio::platform {

namespace {

    std::filesystem::path homeOf(const std::vector<std::string>& environment)
    {
        if (std::string home = environmentValue(environment, "HOME"); !home.empty())
            return home;
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            return entry->pw_dir;
        return std::filesystem::temp_directory_path();
    }

    bool sameFolder(const std::filesystem::path& a, const std::filesystem::path& b)
    {
        return a.lexically_normal() / "" == b.lexically_normal() / "";
    }

    void openWithDesktop(const std::filesystem::path& folder)
    {
        std::string program = "xdg-open";
        std::string argument = folder.string();
        char* arguments[] = { program.data(), argument.data(), nullptr };
        pid_t child = 0;
        if (int error = ::posix_spawnp(&child, program.c_str(), nullptr, nullptr, arguments, environ); error != 0) {
            hestio::log("Cannot open " + argument + " with xdg-open: " + std::strerror(error));
            return;
        }
        // The file manager may take its time; its exit is collected aside.
        std::thread([child] {
            int status = 0;
            ::waitpid(child, &status, 0);
        }).detach();
    }

    FolderOpener& currentFolderOpener()
    {
        static FolderOpener opener = openWithDesktop;
        return opener;
    }

}

std::filesystem::path homeFolder(const DocumentsLookup& lookup)
{
    return homeOf(lookup.environment);
}

std::string folderDisplayName(const std::filesystem::path& folder, const std::filesystem::path& home)
{
    auto withoutSlash = [](std::filesystem::path path) {
        path = path.lexically_normal();
        return path.has_relative_path() && path.filename().empty() ? path.parent_path() : path;
    };
    std::filesystem::path below = withoutSlash(folder).lexically_relative(withoutSlash(home));
    if (below.empty() || below == "." || *below.begin() == "..")
        return folder.string();
    std::string name;
    for (const auto& part : below) {
        if (part.empty())
            continue;
        name += (name.empty() ? "" : " \u203a ") + part.string();
    }
    return name;
}

void openFolder(const std::filesystem::path& folder)
{
    if (FolderOpener opener = currentFolderOpener())
        opener(folder);
}

FolderOpener setFolderOpener(FolderOpener opener)
{
    return std::exchange(currentFolderOpener(), std::move(opener));
}

DocumentsLookup DocumentsLookup::forCurrentProfile()
{
    DocumentsLookup lookup;
    lookup.environment = currentEnvironment();
    if (const char* root = std::getenv("HESTIO_PROFILE"); root && *root) {
        std::error_code code;
        std::filesystem::path folder = std::filesystem::absolute(root, code);
        if (code)
            folder = root;
        setEnvironmentValue(lookup.environment, "HOME", folder.string());
        setEnvironmentValue(lookup.environment, "XDG_CONFIG_HOME", (folder / "config").string());
    }
    return lookup;
}

std::filesystem::path userDocumentsFolder(const DocumentsLookup& lookup)
{
    std::filesystem::path home = homeOf(lookup.environment);
    std::filesystem::path fallback = home / "Documents";
    CommandResult answer = runCommand({ lookup.command, "DOCUMENTS" }, lookup.environment, lookup.timeout);
    if (!answer.succeeded())
        return fallback;
    std::string text = answer.output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    // One absolute path on one line, or it is not an answer.
    if (text.empty() || text.front() != '/' || text.find('\n') != std::string::npos
        || text.find('\0') != std::string::npos)
        return fallback;
    std::filesystem::path folder(text);
    if (sameFolder(folder, home))
        return fallback;
    return folder;
}

}
