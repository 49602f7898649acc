#include "json/ValueCache.h"

#include "json/ObjectMemory.h"

#include <cassert>
#include <cstring>
#include <new>

namespace json::detail {

namespace {

    // Counts of objects made by the running decode: no other thread holds them yet.
    void retainUnshared(Object* object, std::uint32_t n = 1) noexcept
    {
        object->refs.store(object->refs.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }

} // namespace

namespace {
    // The cache of the decode running on this thread, while it defers counts.
    thread_local constinit ValueCache* t_deferringCache = nullptr;
} // namespace

void settleDecodeCounts() noexcept
{
    if (ValueCache* cache = t_deferringCache)
        cache->settle();
}

// A slot's other parts are read only while its type is set, so only the
// types need clearing (the ages start again from 0 as well).
ValueCache::ValueCache()
    : m_slots(new Slot[kSlots]())
{
}

ValueCache::~ValueCache()
{
    clear();
}

void ValueCache::clear() noexcept
{
    ReleaseScope scope;
    // Eight types at a time: a decoder made for one small reply leaves most slots empty.
    for (std::size_t word = 0; word < kSlots; word += 8) {
        std::uint64_t types;
        std::memcpy(&types, &m_types[word], 8);
        if (!types)
            continue;
        for (std::size_t i = word; i < word + 8; ++i)
            if (m_types[i] != kEmpty && !(m_types[i] & kQuiet))
                empty(static_cast<std::uint32_t>(i));
    }
    m_types.fill(kEmpty);
    m_ages.fill(0);
}

void ValueCache::empty(std::uint32_t bucket) noexcept
{
    const Slot& slot = m_slots[bucket];
    Object* object = slot.object;
    if (!object)
        return;
    if (slot.generation != m_generation || !m_decoding) {
        release(object); // counted, and perhaps shared by now
        return;
    }
    const bool counted = m_types[bucket] & kCounted;
    if (!slot.pending && !counted)
        return; // the count is exact already, and the object need not be touched
    const std::uint32_t refs = object->refs.load(std::memory_order_relaxed) + slot.pending - (counted ? 1 : 0);
    if (refs == 0)
        destroy(object);
    else
        object->refs.store(refs, std::memory_order_relaxed);
}

void ValueCache::settleSlot(std::uint32_t bucket) noexcept
{
    Slot& slot = m_slots[bucket];
    const std::uint32_t added = slot.pending + ((m_types[bucket] & kCounted) ? 0 : 1);
    if (added)
        retainUnshared(slot.object, added);
    slot.pending = 0;
    m_types[bucket] = static_cast<std::uint8_t>((m_types[bucket] & ~kQuiet) | kCounted);
}

void ValueCache::settle() noexcept
{
    if (!m_deferring)
        return;
    m_deferring = false;
    t_deferringCache = nullptr;
    for (std::size_t i = 0; i < kSlots; ++i)
        if (m_types[i] != kEmpty && m_slots[i].generation == m_generation)
            settleSlot(static_cast<std::uint32_t>(i));
}

void ValueCache::endDecode(bool keepObjects) noexcept
{
    if (keepObjects)
        settle();
    else {
        m_deferring = false;
        t_deferringCache = nullptr;
        clear();
    }
    m_decoding = false;
}

void ValueCache::beginDecode() noexcept
{
    // After the count wraps, slots of long-gone decodes must not pass for the new one's.
    if (++m_generation == 0) {
        for (std::size_t i = 0; i < kSlots; ++i)
            m_slots[i].generation = 0;
        m_generation = 1;
    }
    m_decoding = true;
    m_deferring = true;
    t_deferringCache = this;
}

void ValueCache::ageStep() noexcept
{
    assert(m_lfsr != 0 && "the cache register is never 0");
    bool out = m_lfsr & 1u;
    m_lfsr >>= 1;
    if (out)
        m_lfsr ^= 0x80200003u;
    m_ages[m_lfsr & (kSlots - 1)] >>= 1;
}

// The lookup for one kind of token. `objectFor` takes strings and numbers
// apart once, so that each path is compiled for its own kind: a number's
// size is a constant, its comparison one word and its object made without
// a switch over the four types.
template<bool IsString> [[gnu::always_inline]] inline Object* ValueCache::lookup(const TokenValue& token)
{
    const auto size = static_cast<std::uint32_t>(IsString ? token.length : 8);
    const auto type = static_cast<std::uint8_t>(token.type);
    const std::uint32_t step = size + type + 3;
    auto isHit = [&](std::uint32_t bucket) {
        if (m_hashes[bucket] != token.hash || (m_types[bucket] & ~kFlags) != type)
            return false;
        if constexpr (IsString) {
            auto* s = static_cast<const StringObject*>(m_slots[bucket].object);
            return s->length == token.length && sameBytes(s->bytes(), token.bytes, token.length);
        } else {
            // Numbers compare their eight value bytes; the stored object keeps them.
            return static_cast<const NumberObject*>(m_slots[bucket].object)->u == token.u;
        }
    };
    auto hitAt = [&](std::uint32_t bucket) {
        hit(bucket);
        m_lastSlot = bucket;
        return m_slots[bucket].object;
    };
    // Four probes. Until a slot is chosen for a new object, an empty one or
    // one aged to 0 is chosen and the others age; then the rest of the
    // probes only look for a hit, up to an empty slot.
    std::uint32_t chosen = kSlots;
    std::uint32_t x = 0;
    for (; x < 4; ++x) {
        const std::uint32_t bucket = (token.hash + x * step) & (kSlots - 1);
        if (m_types[bucket] == kEmpty) {
            chosen = bucket;
            x = 4;
            break;
        }
        if (isHit(bucket))
            return hitAt(bucket);
        if (m_ages[bucket] == 0) {
            chosen = bucket;
            ++x;
            break;
        }
        m_ages[bucket] >>= 1;
        ageStep();
        ageStep();
    }
    for (; x < 4; ++x) {
        const std::uint32_t bucket = (token.hash + x * step) & (kSlots - 1);
        if (m_types[bucket] == kEmpty)
            break;
        if (isHit(bucket))
            return hitAt(bucket);
    }

    Object* object;
    if constexpr (IsString) {
        object = makeString(token.bytes, token.length, token.hash);
    } else {
        // Signed values and doubles have their kind; an unsigned token is
        // an integer up to the largest signed value.
        const Kind kind = token.type == ValueType::Double                           ? Kind::Double
            : token.type == ValueType::Unsigned && token.u > 9223372036854775807ULL ? Kind::Unsigned
                                                                                    : Kind::Integer;
        object = makeNumber(kind, token.u);
    }
    m_lastSlot = chosen;
    if (chosen != kSlots) {
        // A quiet slot's object owes nothing: leave it untouched.
        if (m_types[chosen] != kEmpty && !(m_types[chosen] & kQuiet))
            empty(chosen);
        if (!m_deferring)
            object->refs.store(2, std::memory_order_relaxed); // fresh: the caller's reference and the slot's
        m_slots[chosen] = Slot { object, m_generation, 0 };
        m_hashes[chosen] = token.hash;
        m_types[chosen] = static_cast<std::uint8_t>(type | (m_deferring ? kQuiet : kCounted));
        m_ages[chosen] = 0;
    }
    return object;
}

Object* ValueCache::objectFor(const TokenValue& token)
{
    if (token.type != ValueType::String)
        return lookup<false>(token);
    if (token.length == 0) {
        m_lastSlot = kSlots;
        return &emptyStringConstant;
    }
    return lookup<true>(token);
}

} // namespace json::detail
