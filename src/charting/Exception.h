#pragma once

#include <stdexcept>
#include <string>

namespace hestio::chart {

/// The engine's own failure ("CHException"): an unsupported scale type or
/// interpolation, mismatched data, a theme registered twice.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& reason)
        : std::runtime_error(reason)
    {
    }
    static constexpr const char* name = "CHException";
};

/// A caller passed an argument the operation cannot take
/// ("NSInvalidArgumentException").
class InvalidArgumentException : public std::invalid_argument {
public:
    explicit InvalidArgumentException(const std::string& reason)
        : std::invalid_argument(reason)
    {
    }
    static constexpr const char* name = "NSInvalidArgumentException";
};

/// A broken precondition inside the engine ("Invalid parameter not
/// satisfying: …").
class InternalInconsistencyException : public std::logic_error {
public:
    explicit InternalInconsistencyException(const std::string& condition)
        : std::logic_error("Invalid parameter not satisfying: " + condition)
    {
    }
    static constexpr const char* name = "NSInternalInconsistencyException";
};

}
