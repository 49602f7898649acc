#pragma once

#include <string>

namespace hestio::platform {

/// Where the app's images, strings and font configuration are read from:
/// $HESTIO_ASSETS, else <prefix>/share/hestio/assets beside an installed
/// binary, else the source tree's assets folder.
[[nodiscard]] std::string assetsDirectory();

}
