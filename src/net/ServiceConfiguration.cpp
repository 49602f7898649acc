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

void ServiceConfiguration::save(const std::filesystem::path& configDirectory, std::function<void(bool kept)> done) const
{
    // The user has just confirmed this service: the app trusts it only once
    // it is kept, which `done` hears on the caller's run loop.
    platform::PropertyListValue::Dictionary dictionary { { "host", host }, { "pin", pin } };
    static_cast<void>(platform::writePropertyList(configDirectory / fileName, dictionary, std::move(done)));
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
