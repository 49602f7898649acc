#include "platform/foundation/Assets.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace hestio::platform {

std::string assetsDirectory()
{
    namespace fs = std::filesystem;
    if (const char* env = std::getenv("HESTIO_ASSETS"); env && *env)
        return env;
    std::error_code ec;
    // An installed binary lives in <prefix>/bin and its assets in
    // <prefix>/share/hestio/assets.
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        fs::path installed = exe.parent_path().parent_path() / "share" / "hestio" / "assets";
        if (fs::is_directory(installed, ec))
            return installed.string();
    }
#ifdef HESTIO_SOURCE_ASSETS
    return HESTIO_SOURCE_ASSETS;
#else
    return "assets";
#endif
}

}
