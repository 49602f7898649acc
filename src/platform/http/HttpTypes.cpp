#include "platform/http/HttpTypes.h"

#include <strings.h>

namespace hestio::platform {

std::string HttpRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    }
    return {};
}

}
