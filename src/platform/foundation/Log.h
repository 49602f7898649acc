#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace hestio {

/// Writes one plain line to standard error, exactly as given: no level, no
/// timestamp, a newline added. Thread-safe.
void log(std::string_view line);

/// printf-style convenience for the many "%@ …" lines the app writes.
[[gnu::format(printf, 1, 2)]] void logf(const char* format, ...);

/// Formats like printf into a std::string.
[[nodiscard]] [[gnu::format(printf, 1, 2)]] std::string format(const char* format, ...);

namespace platform {
    /// Replaces where log lines go (tests capture them); an empty sink restores
    /// standard error. Returns the previous sink.
    using LogSink = std::function<void(std::string_view)>;
    LogSink setLogSink(LogSink sink);
}

}
