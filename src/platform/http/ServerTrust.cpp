#include "platform/http/ServerTrust.h"

#include <algorithm>
#include <cctype>

namespace hestio::platform {

std::optional<std::string> ServerTrust::curlPin() const
{
    if (publicKeyPin.empty())
        return std::nullopt;
    if (publicKeyPin.rfind("sha256//", 0) == 0)
        return publicKeyPin;
    return "sha256//" + publicKeyPin;
}

std::string hostOfURL(const std::string& url)
{
    auto schemeEnd = url.find("://");
    std::size_t start = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (auto at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    std::string host;
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        host = authority.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
    return host;
}

}
