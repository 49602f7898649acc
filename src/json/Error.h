#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace json {

/// The first error of a decode or serialization. Decoder errors carry the
/// byte index and 1-based line where they were found; serializer errors
/// carry the description only.
struct Error {
    static constexpr const char* kDomain = "JCErrorDomain";
    static constexpr const char* kAtIndexKey = "JCAtIndexKey";
    static constexpr const char* kLineNumberKey = "JCLineNumberKey";

    std::string domain { kDomain };
    long code { -1 };
    std::string description;
    std::optional<std::uint64_t> atIndex;
    std::optional<std::uint64_t> lineNumber;
};

} // namespace json
