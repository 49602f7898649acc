#include "platform/host/TextScale.h"

#include "platform/foundation/Command.h"
#include "platform/gfx/Font.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace hestio::platform {

std::optional<double> parseTextScale(const std::string& answer)
{
    std::size_t begin = answer.find_first_not_of(" \t\r\n");
    std::size_t end = answer.find_last_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return std::nullopt;
    double value = 0;
    const char* first = answer.data() + begin;
    const char* last = answer.data() + end + 1;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}

std::optional<double> desktopTextScale()
{
    auto result = runCommand({ "gsettings", "get", "org.gnome.desktop.interface", "text-scaling-factor" },
        currentEnvironment(), std::chrono::milliseconds(2000));
    if (!result.succeeded())
        return std::nullopt;
    return parseTextScale(result.output);
}

double chooseTextScale(std::optional<double> option, bool window, const std::function<std::optional<double>()>& desktop)
{
    std::optional<double> chosen = option;
    if (!chosen && window && desktop)
        chosen = desktop();
    if (!chosen || !std::isfinite(*chosen))
        return 1;
    return std::clamp(*chosen, minimumTextScale, maximumTextScale);
}

}
