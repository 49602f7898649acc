#include "platform/host/SdlLibrary.h"

namespace hestio::platform::sdl {

LazyLibrary& library()
{
    static LazyLibrary sdl("libSDL2-2.0.so.0", "install SDL 2.0.18 or later, or run with --headless");
    return sdl;
}

}
