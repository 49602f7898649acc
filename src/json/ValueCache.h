#pragma once

#include "json/Value.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace json::detail {

/// Whether n bytes at two places are equal. Cached strings and keys are
/// mostly short: they are compared in overlapping words.
inline bool sameBytes(const char* a, const char* b, std::size_t n) noexcept
{
    auto load8 = [](const char* p) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        return word;
    };
    auto load4 = [](const char* p) {
        std::uint32_t word;
        std::memcpy(&word, p, 4);
        return word;
    };
    if (n > 16)
        return std::memcmp(a, b, n) == 0;
    if (n >= 8)
        return load8(a) == load8(b) && load8(a + n - 8) == load8(b + n - 8);
    if (n >= 4)
        return load4(a) == load4(b) && load4(a + n - 4) == load4(b + n - 4);
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

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
    /// change without atomic read-modify-write instructions, and until the
    /// decode first releases anything the cache keeps their counts itself:
    /// a slot holds its object without counting, and the references a slot
    /// hands out are added to the object when the slot gives it up or the
    /// decode ends. Evicting an object met once then never touches it.
    void beginDecode() noexcept;
    /// The object for the token with one reference for the caller.
    Object* objectFor(const TokenValue& token);
    /// The slot where the last `objectFor` found or put its object, or kSlots.
    std::uint32_t lastSlot() const noexcept { return m_lastSlot; }
    /// Whether the decode still defers counts: no value it made was
    /// released, so every object it made is still alive.
    bool isDeferring() const noexcept { return m_deferring; }
    /// `objectFor` for a string token that the lookup before found at its
    /// hash's first slot, `slot`, as `object`: when that slot still holds
    /// that object the lookup would find it there again, first probe, and
    /// this has the same effects without the probe. Null otherwise.
    Object* repeatFirstProbeHit(std::uint32_t slot, Object* object) noexcept
    {
        if ((m_types[slot] & ~kFlags) != static_cast<std::uint8_t>(ValueType::String) || m_slots[slot].object != object)
            return nullptr;
        hit(slot);
        return object;
    }

    /// Makes every count exact: call before the decode releases any value
    /// it made (a failure's clean-up, a duplicate key). The rest of the
    /// decode counts as it goes.
    void settle() noexcept;
    /// Ends a decode with exact counts. With `keepObjects` false the cache
    /// gives up every object (as `clear` would) at no extra cost, for a
    /// decoder used once.
    void endDecode(bool keepObjects) noexcept;
    void clear() noexcept;

private:
    // A slot is split: the probe reads only the small arrays of hashes,
    // types and ages, which stay in the nearest cache level; the rest of a
    // slot is read on a hash match and written on a fill.
    struct Slot {
        Object* object;
        /// The decode that made the object.
        std::uint32_t generation;
        /// References handed out by this decode that the object's count
        /// does not show yet (only while the decode defers counting).
        std::uint32_t pending;
    };
    static constexpr std::uint8_t kEmpty = 0;
    /// Added to a slot's type while the decode that filled it defers counts
    /// and has handed out no reference from it: evicting it needs no work.
    static constexpr std::uint8_t kQuiet = 0x80;
    /// Added to a slot's type when the object's count includes the slot's
    /// own reference (kept here, beside the type, so that a slot is 16 bytes).
    static constexpr std::uint8_t kCounted = 0x40;
    static constexpr std::uint8_t kFlags = kQuiet | kCounted;
    /// A hit on an occupied slot: its age, and the reference handed out.
    void hit(std::uint32_t bucket) noexcept
    {
        Slot& slot = m_slots[bucket];
        m_ages[bucket] = static_cast<std::uint8_t>(m_ages[bucket] * 2 + 1);
        m_types[bucket] &= static_cast<std::uint8_t>(~kQuiet);
        if (slot.generation != m_generation)
            retain(slot.object);
        else if (m_deferring)
            ++slot.pending;
        else
            slot.object->refs.store(slot.object->refs.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    template<bool IsString> Object* lookup(const TokenValue& token);
    void ageStep() noexcept;
    /// Gives up the slot's object with exact counts.
    void empty(std::uint32_t bucket) noexcept;
    /// Brings a slot of the running decode to exact counts, its own reference counted.
    void settleSlot(std::uint32_t bucket) noexcept;

    std::unique_ptr<Slot[]> m_slots;
    std::array<std::uint32_t, kSlots> m_hashes {};
    /// The value type of each slot's object (and kQuiet, kCounted), or kEmpty.
    std::array<std::uint8_t, kSlots> m_types {};
    std::uint32_t m_generation { 1 };
    std::uint32_t m_lastSlot { kSlots };
    bool m_decoding { false };
    bool m_deferring { false };
    std::uint32_t m_lfsr { 1 };
    std::array<std::uint8_t, kSlots> m_ages {};
};

/// Makes the counts of the decode running on this thread exact (see
/// `ValueCache::settle`); nothing when none runs. Code that may release a
/// value it was handed by a decode (a duplicate key's earlier pair, a failed
/// allocation's references) calls this first.
void settleDecodeCounts() noexcept;

} // namespace json::detail
