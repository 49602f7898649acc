#include "net/ServiceConfiguration.h"

#include "platform/foundation/PropertyList.h"

namespace hestio {

namespace {
    constexpr const char* fileName = "Service.plist";
}

ServiceConfiguration ServiceConfiguration::load(const std::filesystem::path& configDirectory)
{
    ServiceConfiguration configuration;
    auto dictionary = platform::readPropertyListDictionary(configDirectory / fileName);
    if (auto it = dictionary.find("host");
        it != dictionary.end() && it->second.asString() && !it->second.asString()->empty())
        configuration.host = *it->second.asString();
    if (auto it = dictionary.find("pin"); it != dictionary.end() && it->second.asString())
        configuration.pin = *it->second.asString();
    return configuration;
}

bool ServiceConfiguration::save(const std::filesystem::path& configDirectory) const
{
    // The user has just confirmed this service: whether it was kept is told
    // at once, before the app trusts it (a rare, explicit step, not a frame).
    platform::PropertyListValue::Dictionary dictionary { { "host", host }, { "pin", pin } };
    return platform::writePropertyListAtOnce(configDirectory / fileName, dictionary);
}

std::string ServiceConfiguration::hostName() const
{
    if (!host.empty() && host.front() == '[') {
        auto close = host.find(']');
        return host.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return host.substr(0, host.find(':'));
}

}
