#pragma once

#include "platform/foundation/Log.h"

#include <string>
#include <vector>

namespace hestio::test {

/// Captures every log line written while it is alive, instead of printing
/// it; the previous destination comes back when it goes.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<std::string>& lines() const { return m_lines; }
    /// True when some captured line contains `text`.
    bool contains(const std::string& text) const;
    void clear() { m_lines.clear(); }

private:
    std::vector<std::string> m_lines;
    platform::LogSink m_previous;
};

}
