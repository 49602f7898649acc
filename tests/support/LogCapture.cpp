#include "support/LogCapture.h"

#include <algorithm>

namespace hestio::test {

LogCapture::LogCapture()
    : m_previous(platform::setLogSink([this](std::string_view line) { m_lines.emplace_back(line); }))
{
}

LogCapture::~LogCapture()
{
    platform::setLogSink(std::move(m_previous));
}

bool LogCapture::contains(const std::string& text) const
{
    return std::any_of(
        m_lines.begin(), m_lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

}
