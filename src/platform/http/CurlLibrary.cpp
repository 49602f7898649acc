#include "platform/http/CurlLibrary.h"

namespace hestio::platform::curl {

LazyLibrary& library()
{
    static LazyLibrary curl("libcurl.so.4", "install libcurl 4");
    return curl;
}

}
