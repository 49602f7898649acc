#pragma once

#include "json/Decoder.h"
#include "json/HugePages.h"
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
/// A block for a long input is one mapped block holding the three arrays
/// (`mappedBytes` non-zero), given back as a whole.
struct StackBlock {
    Object** objects { nullptr };
    Object** keys { nullptr };
    std::uint32_t* keyHashes { nullptr };
    std::size_t capacity { 0 };
    std::size_t mappedBytes { 0 };

    void free() noexcept
    {
        if (mappedBytes) {
            giveBackMappedBlock(objects, mappedBytes);
        } else {
            std::free(objects);
            std::free(keys);
            std::free(keyHashes);
        }
        *this = {};
    }
};

/// Frees this thread's kept block; the bytes it held.
std::size_t releaseSpareStackBlock() noexcept;

/// A mapped block for `capacity` entries; none when the system refuses it.
StackBlock mapStackBlock(std::size_t capacity) noexcept;

/// Takes this thread's kept block when it holds at least `count` entries.
StackBlock takeSpareStackBlock(std::size_t count) noexcept;
/// Offers a block for keeping; it is freed if a larger one is kept already or it is too large to keep.
void keepSpareStackBlock(StackBlock block) noexcept;

/// The decoder's pending values (and, for dictionaries, keys and key hashes)
/// across every open container. It starts in arrays supplied by the parse
/// call's own frame and moves to the heap only when outgrown, growing to
/// `count` + 128 entries rounded up to a multiple of 2048; the heap block
/// underneath at least doubles each time it is outgrown.
///
/// Given the most entries the input can need (`mostEntries`, from its
/// length), a stack that outgrows the 64 k entries a thread keeps moves to a
/// mapped block of that many entries: the growth steps then copy nothing,
/// and the pages it fills are fresh huge pages or those of a block a decode
/// before gave back. Below that it stays in heap arrays, which the thread
/// keeps for its next decode: a block of the bound for every long input
/// would cost fresh pages each time for a stack that mostly stays short.
class ObjectStack {
public:
    static constexpr std::size_t kFrameEntries = 1024;
    static constexpr std::size_t kGrowthMultiple = 2048;
    /// Stacks of up to this many entries (1.3 MB) are kept for the thread's next decode.
    static constexpr std::size_t kLargestSpare = 65536;

    /// Entries enough for any decode of `length` bytes, with the room the
    /// growth steps set aside: an open container's pending values take two
    /// bytes each (a value and its comma) but for the last, and a dictionary
    /// adds the entry it reserves for its next key.
    static constexpr std::size_t mostEntriesFor(std::size_t length) noexcept
    {
        return length / 2 + kMaximumNestingDepth + 2 * kGrowthMultiple;
    }

    ObjectStack(Object** objects, Object** keys, std::uint32_t* keyHashes, std::size_t count,
        std::size_t mostEntries = 0) noexcept
        : m_objects(objects)
        , m_keys(keys)
        , m_keyHashes(keyHashes)
        , m_count(count)
        , m_mostEntries(mostEntries)
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
    /// Whether the stack lies in a mapped block for a long input.
    bool isInMappedBlock() const noexcept { return m_mappedBytes != 0; }

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
    /// `push` for an array's element: its key entry is left as it is, so
    /// that a long array touches only the objects' pages. The entries of an
    /// array are released with `releaseValues`, never `releaseRange`.
    void pushValue(Object* object) noexcept { m_objects[m_index++] = object; }
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

    /// An array's entries from `start` were not used: release them (their
    /// keys were never written).
    void releaseValues(std::size_t start) noexcept
    {
        for (std::size_t i = start; i < m_index; ++i) {
            if (m_objects[i])
                release(m_objects[i]);
            m_objects[i] = nullptr;
            m_keys[i] = nullptr;
        }
        m_index = start;
    }

private:
    StackBlock heapBlock() const noexcept { return { m_objects, m_keys, m_keyHashes, m_capacity, m_mappedBytes }; }

    bool grow() noexcept
    {
        const std::size_t newCount = (m_count + 128 + kGrowthMultiple - 1) / kGrowthMultiple * kGrowthMultiple;
        // A kept block, or the room the last growth set aside, may already hold the grown stack.
        if (m_onHeap && newCount <= m_capacity) {
            if (m_mappedBytes && newCount > m_populated)
                populateAhead(newCount);
            m_count = newCount;
            return true;
        }
        if (m_onHeap)
            return growHeapBlock(newCount);
        StackBlock block = takeSpareStackBlock(newCount);
        if (!block.capacity)
            block = allocateStackBlock(newCount);
        if (!block.capacity)
            return false;
        moveTo(block, newCount);
        return true;
    }

    /// The heap block is outgrown. Past the entries a thread keeps, for a
    /// long input, it is left for a mapped block of the most entries the
    /// input can need, which no growth outgrows; else it is reallocated to at
    /// least twice its size, so that a long array costs a constant number of
    /// copies per entry. Growing by the fixed steps alone would copy the
    /// whole stack every 2048 entries, and decoding would take time quadratic
    /// in the array's length. `count` still follows the steps.
    bool growHeapBlock(std::size_t newCount) noexcept
    {
        const std::size_t capacity = std::max(newCount, 2 * m_capacity);
        if (!m_mappedBytes && newCount > kLargestSpare && m_mostEntries >= newCount) {
            if (StackBlock mapped = mapStackBlock(m_mostEntries); mapped.capacity) {
                // The block left behind is the thread's to keep, when it is the kind kept.
                const StackBlock left = heapBlock();
                moveTo(mapped, newCount);
                keepSpareStackBlock(left);
                return true;
            }
        }
        if (m_mappedBytes) {
            // Only when the caller's bound was wrong: the stack goes on in heap arrays.
            StackBlock block = allocateStackBlock(capacity);
            if (!block.capacity)
                return false;
            StackBlock left = heapBlock();
            moveTo(block, newCount);
            left.free();
            return true;
        }
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

    static StackBlock allocateStackBlock(std::size_t capacity) noexcept
    {
        StackBlock block;
        block.objects = static_cast<Object**>(std::malloc(capacity * sizeof(Object*)));
        block.keys = static_cast<Object**>(std::malloc(capacity * sizeof(Object*)));
        block.keyHashes = static_cast<std::uint32_t*>(std::malloc(capacity * sizeof(std::uint32_t)));
        block.capacity = capacity;
        if (!block.objects || !block.keys || !block.keyHashes)
            block.free();
        return block;
    }

    /// A stack in a mapped block puts the pages of its values in place 2 MB
    /// at a time ahead of the entries in use, one call rather than a fault
    /// per page (the keys and hashes, which only dictionaries write, fault
    /// as written).
    void populateAhead(std::size_t newCount) noexcept
    {
        constexpr std::size_t kBatch = kHugePageBytes / sizeof(Object*);
        const std::size_t to = std::min(m_capacity, std::max(newCount, m_populated + kBatch));
        populatePages(m_objects + m_populated, m_objects + to);
        m_populated = to;
    }

    /// Moves the stack to `block`; the caller sees to the block it leaves.
    void moveTo(const StackBlock& block, std::size_t newCount) noexcept
    {
        // Entries past the fill level are written before they are read: only those below it move.
        std::memcpy(static_cast<void*>(block.objects), m_objects, m_index * sizeof(Object*));
        std::memcpy(static_cast<void*>(block.keys), m_keys, m_index * sizeof(Object*));
        std::memcpy(block.keyHashes, m_keyHashes, m_index * sizeof(std::uint32_t));
        m_objects = block.objects;
        m_keys = block.keys;
        m_keyHashes = block.keyHashes;
        m_capacity = block.capacity;
        m_mappedBytes = block.mappedBytes;
        m_count = newCount;
        m_onHeap = true;
        // The entries copied in are in place already.
        m_populated = m_index;
        if (m_mappedBytes)
            populateAhead(newCount);
    }

    Object** m_objects;
    Object** m_keys;
    std::uint32_t* m_keyHashes;
    /// Entries in use by the growth rule, and entries the heap block holds.
    std::size_t m_count;
    std::size_t m_capacity { 0 };
    std::size_t m_index { 0 };
    std::size_t m_mostEntries;
    /// Non-zero when the heap block is one mapped block of this size.
    std::size_t m_mappedBytes { 0 };
    /// Entries of a mapped block whose pages are in place.
    std::size_t m_populated { 0 };
    bool m_onHeap { false };
};

} // namespace json::detail
