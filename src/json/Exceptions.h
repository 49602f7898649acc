#pragma once

#include <stdexcept>
#include <string>

namespace json {

/// Raised for misuse of the codec (never for bad input, which yields an
/// `Error`). `name()` is the exception's name as the codec's callers know it.
class Exception : public std::runtime_error {
public:
    Exception(const char* name, const std::string& reason)
        : std::runtime_error(reason)
        , m_name(name)
    {
    }
    const char* name() const noexcept { return m_name; }
    const char* reason() const noexcept { return what(); }

private:
    const char* m_name;
};

class InvalidArgumentException : public Exception {
public:
    explicit InvalidArgumentException(const std::string& reason)
        : Exception("NSInvalidArgumentException", reason)
    {
    }
};

class InternalInconsistencyException : public Exception {
public:
    explicit InternalInconsistencyException(const std::string& reason)
        : Exception("NSInternalInconsistencyException", reason)
    {
    }
};

class RangeException : public Exception {
public:
    explicit RangeException(const std::string& reason)
        : Exception("NSRangeException", reason)
    {
    }
};

class MallocException : public Exception {
public:
    explicit MallocException(const std::string& reason)
        : Exception("NSMallocException", reason)
    {
    }
};

} // namespace json
