#pragma once

#include "json/Value.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace json::detail {

/// Heap arrays of an object stack, kept by each thread for its next decode
/// that outgrows the frame: a long reply then grows the stack without
/// allocating or copying it again, and without the fresh pages of a new block.
struct StackBlock {
    Object** objects { nullptr };
    Object** keys { nullptr };
    std::uint32_t* keyHashes { nullptr };
    std::size_t capacity { 0 };

    void free() noexcept
    {
        std::free(objects);
        std::free(keys);
        std::free(keyHashes);
        *this = {};
    }
};

/// Takes this thread's kept block when it holds at least `count` entries.
StackBlock takeSpareStackBlock(std::size_t count) noexcept;
/// Offers a block for keeping; it is freed if a larger one is kept already or it is too large to keep.
void keepSpareStackBlock(StackBlock block) noexcept;

/// The decoder's pending values (and, for dictionaries, keys and key hashes)
/// across every open container. It starts in arrays supplied by the parse
/// call's own frame and moves to the heap only when outgrown, growing to
/// `count` + 128 entries rounded up to a multiple of 2048; the heap block
/// underneath at least doubles each time it is outgrown.
class ObjectStack {
public:
    static constexpr std::size_t kFrameEntries = 1024;
    static constexpr std::size_t kGrowthMultiple = 2048;

    ObjectStack(Object** objects, Object** keys, std::uint32_t* keyHashes, std::size_t count) noexcept
        : m_objects(objects)
        , m_keys(keys)
        , m_keyHashes(keyHashes)
        , m_count(count)
    {
        // Entries are written by push or reserveEntry before anything reads them.
    }
    ObjectStack(const ObjectStack&) = delete;
    ObjectStack& operator=(const ObjectStack&) = delete;
    ~ObjectStack()
    {
        releaseRange(0);
        if (m_onHeap)
            keepSpareStackBlock(heapBlock());
    }

    std::size_t count() const noexcept { return m_count; }
    std::size_t index() const noexcept { return m_index; }
    bool isOnHeap() const noexcept { return m_onHeap; }

    /// Grows when fewer than four entries are free; false when memory runs out.
    bool ensureRoom() noexcept
    {
        if (m_index + 4 <= m_count)
            return true;
        return grow();
    }

    void push(Object* object) noexcept
    {
        m_keys[m_index] = nullptr;
        m_objects[m_index++] = object;
    }
    std::size_t reserveEntry() noexcept
    {
        m_keys[m_index] = nullptr;
        m_objects[m_index] = nullptr;
        return m_index++;
    }
    void giveBack() noexcept { --m_index; }
    Object*& objectAt(std::size_t i) noexcept { return m_objects[i]; }
    Object*& keyAt(std::size_t i) noexcept { return m_keys[i]; }
    std::uint32_t& keyHashAt(std::size_t i) noexcept { return m_keyHashes[i]; }
    Object* const* objectsFrom(std::size_t i) const noexcept { return m_objects + i; }
    Object* const* keysFrom(std::size_t i) const noexcept { return m_keys + i; }
    const std::uint32_t* keyHashesFrom(std::size_t i) const noexcept { return m_keyHashes + i; }

    /// Entries from `start` now belong to a container: drop them without
    /// releasing. Nothing reads an entry at or past the fill level until
    /// `push` or `reserveEntry` writes it again, so they need no clearing.
    void handOver(std::size_t start) noexcept { m_index = start; }
    /// Entries from `start` were not used: release them.
    void releaseRange(std::size_t start) noexcept
    {
        for (std::size_t i = start; i < m_index; ++i) {
            if (m_objects[i])
                release(m_objects[i]);
            if (m_keys[i])
                release(m_keys[i]);
            m_objects[i] = nullptr;
            m_keys[i] = nullptr;
        }
        m_index = start;
    }

private:
    StackBlock heapBlock() const noexcept { return { m_objects, m_keys, m_keyHashes, m_capacity }; }

    bool grow() noexcept
    {
        const std::size_t newCount = (m_count + 128 + kGrowthMultiple - 1) / kGrowthMultiple * kGrowthMultiple;
        // A kept block, or the room the last growth set aside, may already hold the grown stack.
        if (m_onHeap && newCount <= m_capacity) {
            m_count = newCount;
            return true;
        }
        if (m_onHeap)
            return growHeapBlock(newCount);
        StackBlock block = takeSpareStackBlock(newCount);
        if (!block.capacity) {
            block.objects = static_cast<Object**>(std::malloc(newCount * sizeof(Object*)));
            block.keys = static_cast<Object**>(std::malloc(newCount * sizeof(Object*)));
            block.keyHashes = static_cast<std::uint32_t*>(std::malloc(newCount * sizeof(std::uint32_t)));
            block.capacity = newCount;
            if (!block.objects || !block.keys || !block.keyHashes) {
                block.free();
                return false;
            }
        }
        // Entries past the fill level are written before they are read: only those below it move.
        std::memcpy(static_cast<void*>(block.objects), m_objects, m_index * sizeof(Object*));
        std::memcpy(static_cast<void*>(block.keys), m_keys, m_index * sizeof(Object*));
        std::memcpy(block.keyHashes, m_keyHashes, m_index * sizeof(std::uint32_t));
        m_objects = block.objects;
        m_keys = block.keys;
        m_keyHashes = block.keyHashes;
        m_capacity = block.capacity;
        m_count = newCount;
        m_onHeap = true;
        return true;
    }

    /// The heap block is outgrown: it is reallocated to at least twice its
    /// size, so that a long array costs a constant number of copies per
    /// entry. Growing by the fixed steps alone would copy the whole stack
    /// every 2048 entries, and decoding would take time quadratic in the
    /// array's length. `count` still follows the steps.
    bool growHeapBlock(std::size_t newCount) noexcept
    {
        const std::size_t capacity = std::max(newCount, 2 * m_capacity);
        auto* objects = static_cast<Object**>(std::realloc(static_cast<void*>(m_objects), capacity * sizeof(Object*)));
        if (!objects)
            return false;
        m_objects = objects;
        auto* keys = static_cast<Object**>(std::realloc(static_cast<void*>(m_keys), capacity * sizeof(Object*)));
        if (!keys)
            return false;
        m_keys = keys;
        auto* keyHashes = static_cast<std::uint32_t*>(std::realloc(m_keyHashes, capacity * sizeof(std::uint32_t)));
        if (!keyHashes)
            return false;
        m_keyHashes = keyHashes;
        // The capacity counts only once all three arrays hold it.
        m_capacity = capacity;
        m_count = newCount;
        return true;
    }

    Object** m_objects;
    Object** m_keys;
    std::uint32_t* m_keyHashes;
    /// Entries in use by the growth rule, and entries the heap block holds.
    std::size_t m_count;
    std::size_t m_capacity { 0 };
    std::size_t m_index { 0 };
    bool m_onHeap { false };
};

} // namespace json::detail
