#pragma once

#include <functional>
#include <optional>
#include <string>

namespace hestio::platform {

/// The desktop's text scaling factor, from the `text-scaling-factor` key of
/// `org.gnome.desktop.interface` read with the `gsettings` command; none
/// when the command is missing, fails, is slow or answers something that is
/// not a positive number.
[[nodiscard]] std::optional<double> desktopTextScale();

/// Reads a `gsettings get` answer ("1.25", "1.5\n"); none for anything else.
[[nodiscard]] std::optional<double> parseTextScale(const std::string& answer);

/// The text scale a run uses: the --text-scale option when given, else the
/// desktop's (asked only for a window: headless runs draw the same on every
/// desktop), else 1; kept within the range fonts allow.
[[nodiscard]] double chooseTextScale(std::optional<double> option, bool window,
    const std::function<std::optional<double>()>& desktop = desktopTextScale);

}
