#pragma once

#include "json/Value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace json {

class DictionaryEnumerator;

/// An open-addressing hash table of key/value pairs whose capacity comes from
/// a fixed table of sizes. Iteration is in slot order, not document order.
/// Immutable dictionaries (mutation marker 0) raise on every mutating call.
class Dictionary final : public detail::Object {
public:
    /// A pair; a key's hash is read from the key (strings keep theirs).
    struct Entry {
        Value key;
        Value object;
    };

    /// Takes over one reference from each key and value; a later equal key replaces an earlier one.
    static Value create(detail::Object* const* keys, const std::uint32_t* keyHashes, detail::Object* const* objects,
        std::size_t count, bool isMutable);
    /// `create` for a decoded dictionary of 1 to `kSmallInSlab` pairs
    /// (tables of 3 and 7 slots), inline in the decoder's dictionary loop
    /// (defined beside it): null, having taken nothing over, when two keys
    /// have the same hash (one may replace the other) or the decode's slab
    /// has no room for it.
    static detail::Object* createInSlab(detail::Object* const* keys, const std::uint32_t* keyHashes,
        detail::Object* const* objects, std::size_t count, bool isMutable) noexcept;
    static constexpr std::size_t kSmallInSlab = 6;
    /// The table size for `count` pairs: the first capacity not below floor(count * 1.33).
    static std::size_t capacityForCount(std::size_t count) noexcept;

    std::size_t count() const noexcept { return m_count; }
    std::size_t capacity() const noexcept { return m_capacity; }
    std::uint32_t mutations() const noexcept { return m_mutations; }
    bool isMutable() const noexcept { return m_mutations != 0; }

    /// The value for the key, or a handle holding nothing.
    const Value& objectForKey(const Value& key) const noexcept;
    const Value& objectForKey(std::string_view key) const noexcept;
    const Value& objectForKey(const char* key) const noexcept { return objectForKey(std::string_view(key)); }
    const Value& objectForKey(const std::string& key) const noexcept { return objectForKey(std::string_view(key)); }
    /// Keys and values in slot order; either buffer may be null.
    void getObjects(Value* objects, Value* keys) const;
    DictionaryEnumerator keyEnumerator() const;
    std::vector<Value> allKeys() const;

    void setObject(const Value& object, const Value& key);
    void removeObjectForKey(const Value& key);

    /// Slot `index` (0 to capacity - 1), for walking the table; empty slots hold no key.
    const Entry& entryAtSlot(std::size_t index) const noexcept { return m_entries[index]; }

    class Iterator {
    public:
        Iterator(const Dictionary* dictionary, std::size_t slot)
            : m_dictionary(dictionary)
            , m_slot(slot)
        {
            skipEmpty();
        }
        const Entry& operator*() const { return m_dictionary->m_entries[m_slot]; }
        Iterator& operator++()
        {
            ++m_slot;
            skipEmpty();
            return *this;
        }
        bool operator!=(const Iterator& other) const { return m_slot != other.m_slot; }

    private:
        void skipEmpty()
        {
            while (m_slot < m_dictionary->m_capacity && !m_dictionary->m_entries[m_slot].key)
                ++m_slot;
            if (m_slot > m_dictionary->m_capacity)
                m_slot = m_dictionary->m_capacity;
        }
        const Dictionary* m_dictionary;
        std::size_t m_slot;
    };
    Iterator begin() const { return { this, 0 }; }
    Iterator end() const { return { this, m_capacity }; }

private:
    friend void detail::destroy(detail::Object*) noexcept;
    friend class Iterator;
    Dictionary() = default;
    template<std::uint32_t Capacity>
    static detail::Object* createInSlab(detail::Object* const* keys, const std::uint32_t* keyHashes,
        detail::Object* const* objects, std::size_t count, bool isMutable) noexcept;
    void requireMutable(const char* selector) const;
    void noteMutation() noexcept;
    void destroy() noexcept;
    std::size_t findSlot(const detail::Object* key, std::uint32_t hash) const noexcept;
    void addObject(std::uint32_t hash, Value&& key, Value&& object) noexcept;
    /// `create`'s filling of a large table without walking probe runs;
    /// false, having changed nothing, when a key is no string or the memory
    /// it needs is refused.
    /// Clears the table and places the decoded pairs by probing, over empty
    /// handles; `Capacity` is the table's when known at compile time (0:
    /// read it), so that small tables are cleared and probed without a loop
    /// counter or a division.
    template<std::uint32_t Capacity>
    void fillPairs(
        detail::Object* const* keys, const std::uint32_t* keyHashes, detail::Object* const* objects, std::size_t count);
    bool fillLarge(detail::Object* const* keys, const std::uint32_t* keyHashes, detail::Object* const* objects,
        std::size_t count) noexcept;
    /// `fillLarge`'s placing of the pairs not `replaced` by a later one,
    /// each in the first free slot of its probe run; `nextFree` has room for
    /// a link per slot and one past the last.
    void placeInProbeOrder(detail::Object* const* keys, const std::uint32_t* keyHashes, detail::Object* const* objects,
        std::size_t count, const std::uint8_t* replaced, std::uint32_t* nextFree) noexcept;
    void removeSlot(std::size_t slot) noexcept;
    void growIfNeeded();

    Entry* m_entries { nullptr };
    std::uint32_t m_count { 0 };
    std::uint32_t m_capacity { 0 };
    std::uint32_t m_mutations { 0 };
    bool m_ownsEntries { false };
};

/// Walks the keys of a dictionary in slot order, keeping the dictionary alive.
class DictionaryEnumerator {
public:
    explicit DictionaryEnumerator(Value dictionary);
    /// The next key, or a handle holding nothing at the end.
    Value nextObject();
    /// Every key still to come.
    std::vector<Value> allObjects();

private:
    Value m_collection;
    std::size_t m_nextObject { 0 };
};

} // namespace json
