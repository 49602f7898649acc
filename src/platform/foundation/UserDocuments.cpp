#include "platform/foundation/UserDocuments.h"

#include "platform/foundation/Command.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

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
