#pragma once

#include "json/Value.h"

#include <cstddef>
#include <cstdint>

namespace json {

/// An array of values in one block of references. Immutable arrays (mutation
/// marker 0) raise on every mutating call; mutable ones count their
/// mutations (never back to 0). Made only through `create` and `Value::array`.
class Array final : public detail::Object {
public:
    /// Takes over one reference from each of `count` objects; count and capacity both equal `count`.
    /// With `discardSource`, the whole pages of `objects` are given back to
    /// the system as the copy passes them (they must lie in a mapped block
    /// nobody reads again).
    static Value create(detail::Object* const* objects, std::size_t count, bool isMutable, bool discardSource = false);
    /// `create` for a decoded array of at most `kSmallInSlab` elements,
    /// inline in the decoder's array loop (defined beside it): null, having
    /// taken nothing over, when the decode's slab has no room for it.
    static detail::Object* createInSlab(detail::Object* const* objects, std::size_t count, bool isMutable) noexcept;
    static constexpr std::size_t kSmallInSlab = 8;
    /// Arrays of this many elements and more are worth discarding the source of (2 MB of entries).
    static constexpr std::size_t kDiscardedSourceEntries = std::size_t { 1 } << 18;

    std::size_t count() const noexcept { return m_count; }
    std::size_t capacity() const noexcept { return m_capacity; }
    std::uint32_t mutations() const noexcept { return m_mutations; }
    bool isMutable() const noexcept { return m_mutations != 0; }

    /// Raises `RangeException` beyond the end.
    const Value& objectAtIndex(std::size_t index) const;
    /// Unchecked element access for loops that already know the count.
    const Value& at(std::size_t index) const noexcept { return m_objects[index]; }
    void getObjects(Value* buffer, std::size_t location, std::size_t length) const;

    void insertObject(const Value& value, std::size_t index);
    void addObject(const Value& value) { insertObject(value, m_count); }
    void removeObjectAtIndex(std::size_t index);
    void replaceObjectAtIndex(std::size_t index, const Value& value);

    class Iterator {
    public:
        Iterator(const Array* array, std::size_t index)
            : m_array(array)
            , m_index(index)
        {
        }
        const Value& operator*() const { return m_array->objectAtIndex(m_index); }
        Iterator& operator++()
        {
            ++m_index;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return m_index < m_array->m_count && m_index != other.m_index; }

    private:
        const Array* m_array;
        std::size_t m_index;
    };
    Iterator begin() const { return { this, 0 }; }
    Iterator end() const { return { this, m_count }; }

private:
    friend void detail::destroy(detail::Object*) noexcept;
    Array() = default;
    void requireMutable(const char* selector) const;
    void noteMutation() noexcept;
    void destroy() noexcept;

    Value* m_objects { nullptr };
    std::uint32_t m_count { 0 };
    std::uint32_t m_capacity { 0 };
    std::uint32_t m_mutations { 0 };
    bool m_ownsBlock { false };
};

} // namespace json
