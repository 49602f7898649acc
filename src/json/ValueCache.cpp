#include "json/ValueCache.h"

#include "json/ObjectMemory.h"

#include <cassert>
#include <cstring>

namespace json::detail {

namespace {

    // Counts of objects made by the running decode: no other thread holds them yet.
    void retainUnshared(Object* object) noexcept
    {
        object->refs.store(object->refs.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    void releaseUnshared(Object* object) noexcept
    {
        const std::uint32_t refs = object->refs.load(std::memory_order_relaxed);
        if (refs == 1)
            destroy(object);
        else
            object->refs.store(refs - 1, std::memory_order_relaxed);
    }

} // namespace

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
    for (std::size_t i = 0; i < kSlots; ++i) {
        if (m_slots[i].object)
            release(m_slots[i].object);
        m_slots[i] = Slot {};
        m_ages[i] = 0;
    }
}

void ValueCache::beginDecode() noexcept
{
    // After the count wraps, slots of long-gone decodes must not pass for the new one's.
    if (++m_generation == 0) {
        for (std::size_t i = 0; i < kSlots; ++i)
            m_slots[i].generation = 0;
        m_generation = 1;
    }
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

namespace {

    // Cached strings are mostly short keys: compare them in overlapping words.
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

} // namespace

inline bool ValueCache::matches(const Slot& slot, const TokenValue& token) noexcept
{
    if (slot.hash != token.hash || slot.type != token.type)
        return false;
    if (token.type == ValueType::String) {
        auto* s = static_cast<const StringObject*>(slot.object);
        return s->length == token.length && sameBytes(s->bytes(), token.bytes, token.length);
    }
    // Numbers compare their eight value bytes; the stored object keeps them.
    return static_cast<const NumberObject*>(slot.object)->u == token.u;
}

Object* ValueCache::makeObject(const TokenValue& token)
{
    switch (token.type) {
    case ValueType::String:
        return makeString(token.bytes, token.length, token.hash);
    case ValueType::Signed: {
        auto* n = makeNumber(Kind::Integer);
        n->i = token.i;
        return n;
    }
    case ValueType::Unsigned: {
        auto* n = makeNumber(token.u > 9223372036854775807ULL ? Kind::Unsigned : Kind::Integer);
        n->u = token.u;
        return n;
    }
    case ValueType::Double: {
        auto* n = makeNumber(Kind::Double);
        n->d = token.d;
        return n;
    }
    }
    return nullptr;
}

Object* ValueCache::objectFor(const TokenValue& token)
{
    if (token.type == ValueType::String && token.length == 0)
        return &emptyStringConstant;

    const auto size = static_cast<std::uint32_t>(token.type == ValueType::String ? token.length : 8);
    const auto type = static_cast<std::uint32_t>(token.type);
    std::uint32_t bucket = token.hash & (kSlots - 1);
    std::size_t chosen = kSlots;
    for (std::uint32_t x = 0; x < 4; ++x) {
        Slot& slot = m_slots[bucket];
        if (!slot.object) {
            if (chosen == kSlots)
                chosen = bucket;
            break;
        }
        if (matches(slot, token)) {
            m_ages[bucket] = static_cast<std::uint8_t>(m_ages[bucket] * 2 + 1);
            if (slot.generation == m_generation)
                retainUnshared(slot.object);
            else
                retain(slot.object);
            return slot.object;
        }
        if (chosen == kSlots) {
            if (m_ages[bucket] == 0) {
                chosen = bucket;
            } else {
                m_ages[bucket] >>= 1;
                ageStep();
                ageStep();
            }
        }
        bucket = (token.hash + (x + 1) * (size + type + 3)) & (kSlots - 1);
    }

    Object* object = makeObject(token);
    if (chosen != kSlots) {
        Slot& slot = m_slots[chosen];
        if (slot.object) {
            if (slot.generation == m_generation)
                releaseUnshared(slot.object);
            else
                release(slot.object);
        }
        object->refs.store(2, std::memory_order_relaxed); // fresh: the caller's reference and the slot's
        slot = Slot { object, token.hash, size, token.type, m_generation };
        m_ages[chosen] = 0;
    }
    return object;
}

} // namespace json::detail
