#include "platform/foundation/Profile.h"

#include "platform/foundation/Log.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace hestio::platform {

namespace {

    std::filesystem::path homeDirectory()
    {
        if (const char* home = std::getenv("HOME"); home && *home)
            return home;
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            return entry->pw_dir;
        return std::filesystem::temp_directory_path();
    }

    // The XDG rules: a variable counts only when it holds an absolute path.
    std::filesystem::path xdgDirectory(const char* variable, const char* fallbackUnderHome)
    {
        if (const char* value = std::getenv(variable); value && value[0] == '/')
            return value;
        return homeDirectory() / fallbackUnderHome;
    }

}

Profile Profile::current()
{
    if (const char* root = std::getenv("HESTIO_PROFILE"); root && *root)
        return inFolder(root);
    return fromXdg();
}

Profile Profile::inFolder(const std::filesystem::path& root)
{
    std::error_code code;
    std::filesystem::path absolute = std::filesystem::absolute(root, code);
    if (code)
        absolute = root;
    Profile profile;
    profile.m_config = absolute / "config";
    profile.m_data = absolute / "data";
    profile.m_documents = absolute / "Documents";
    profile.m_cache = absolute / "cache";
    return profile;
}

Profile Profile::fromXdg()
{
    Profile profile;
    profile.m_config = xdgDirectory("XDG_CONFIG_HOME", ".config") / "hestio";
    profile.m_data = xdgDirectory("XDG_DATA_HOME", ".local/share") / "hestio";
    profile.m_documents = profile.m_data / "Documents";
    profile.m_cache = xdgDirectory("XDG_CACHE_HOME", ".cache") / "hestio";
    return profile;
}

bool Profile::createDirectories() const
{
    // The folders hold credentials, the failed-movement file and the user's
    // places: owner only, and so is any parent made for them.
    for (const auto* folder : { &m_config, &m_data, &m_documents }) {
        std::error_code code;
        std::vector<std::filesystem::path> made { *folder };
        for (auto parent = folder->parent_path(); parent.has_relative_path() && !std::filesystem::exists(parent, code);
             parent = parent.parent_path())
            made.push_back(parent);
        std::filesystem::create_directories(*folder, code);
        for (const auto& path : made) {
            if (!code)
                std::filesystem::permissions(path, std::filesystem::perms::owner_all, code);
        }
        if (code) {
            log("Could not create " + folder->string() + ": " + code.message());
            return false;
        }
    }
    return true;
}

}
