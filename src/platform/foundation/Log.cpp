#include "platform/foundation/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace hestio {

namespace {

    std::recursive_mutex& sinkMutex()
    {
        static std::recursive_mutex mutex;
        return mutex;
    }

    platform::LogSink& currentSink()
    {
        static platform::LogSink sink;
        return sink;
    }

    std::string vformat(const char* format, va_list arguments)
    {
        va_list copy;
        va_copy(copy, arguments);
        char small[256];
        int length = std::vsnprintf(small, sizeof small, format, copy);
        va_end(copy);
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < sizeof small)
            return std::string(small, static_cast<std::size_t>(length));
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
        return std::string(buffer.data(), static_cast<std::size_t>(length));
    }

}

void log(std::string_view line)
{
    std::lock_guard lock(sinkMutex());
    if (auto& sink = currentSink()) {
        sink(line);
        return;
    }
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void logf(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string line = vformat(format, arguments);
    va_end(arguments);
    log(line);
}

std::string format(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string text = vformat(format, arguments);
    va_end(arguments);
    return text;
}

namespace platform {

    LogSink setLogSink(LogSink sink)
    {
        std::lock_guard lock(sinkMutex());
        LogSink previous = std::move(currentSink());
        currentSink() = std::move(sink);
        return previous;
    }

}

}
