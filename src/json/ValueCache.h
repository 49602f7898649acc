#pragma once

#include "json/Value.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace json::detail {

/// Type codes of decoded scalars; they enter the cache's hash seed and probe step.
enum class ValueType : std::uint8_t { String = 5, Signed = 7, Unsigned = 11, Double = 13 };

/// A scalar token about to become an object.
struct TokenValue {
    ValueType type;
    std::uint32_t hash;
    /// Strings: the unescaped UTF-8 bytes.
    const char* bytes;
    std::size_t length;
    /// Numbers: the converted value.
    union {
        std::int64_t i;
        std::uint64_t u;
        double d;
    };
};

/// Gives a decoder one shared object per distinct string or number: 1024
/// slots, four probes per lookup, and age bytes that hits raise and a
/// shift register decays, so that slots of values seen once are reused first.
class ValueCache {
public:
    static constexpr std::size_t kSlots = 1024;

    ValueCache();
    ~ValueCache();
    ValueCache(const ValueCache&) = delete;
    ValueCache& operator=(const ValueCache&) = delete;

    /// Starts a decode. Objects the cache makes from here on are seen by no
    /// other thread until the decode returns its result, so their counts can
    /// change without atomic read-modify-write instructions.
    void beginDecode() noexcept;
    /// The object for the token with one reference for the caller.
    Object* objectFor(const TokenValue& token);
    void clear() noexcept;

private:
    struct Slot {
        Object* object;
        std::uint32_t hash;
        std::uint32_t size;
        ValueType type;
        /// The decode that made the object.
        std::uint32_t generation;
    };
    static Object* makeObject(const TokenValue& token);
    static bool matches(const Slot& slot, const TokenValue& token) noexcept;
    void ageStep() noexcept;

    std::unique_ptr<Slot[]> m_slots;
    std::uint32_t m_generation { 1 };
    std::uint32_t m_lfsr { 1 };
    std::array<std::uint8_t, kSlots> m_ages {};
};

} // namespace json::detail
