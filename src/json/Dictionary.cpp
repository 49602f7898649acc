#include "json/Dictionary.h"

#include "json/Exceptions.h"
#include "json/HugePages.h"
#include "json/ObjectMemory.h"
#include "json/ValueCache.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

namespace json {

namespace {

    // Decoded dictionaries of this many pairs and more are filled by `fillLarge`.
    constexpr std::size_t kLargeFill = 4096;

    constexpr std::uint32_t kCapacities[] = { 0, 3, 7, 13, 23, 41, 71, 127, 191, 251, 383, 631, 1087, 1723, 2803, 4523,
        7351, 11959, 19447, 31231, 50683, 81919, 132607, 214519, 346607, 561109, 907759, 1468927, 2376191, 3845119,
        6221311, 10066421, 16287743, 26354171, 42641881, 68996069, 111638519, 180634607, 292272623, 472907251 };

    std::string prefix(const char* selector)
    {
        return std::string("*** -[JCDictionary ") + selector + "]: ";
    }

    std::string describe(const Value& key)
    {
        switch (key.kind()) {
        case Kind::String:
            return std::string(key.stringValue());
        case Kind::Integer:
            return std::to_string(key.integerValue());
        case Kind::Unsigned:
            return std::to_string(key.unsignedValue());
        case Kind::Double: {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", key.doubleValue());
            return text;
        }
        default:
            return key.className();
        }
    }

    // The hash a stored key was placed by; string keys, nearly all of them, keep theirs.
    std::uint32_t storedHash(const Value& key) noexcept
    {
        const detail::Object* object = key.object();
        if (object->kind == Kind::String)
            return static_cast<const detail::StringObject*>(object)->hash;
        return detail::hashOf(object);
    }

    // Whether a stored key is the key sought, which hashes to `hash`.
    bool isStoredKey(const Value& stored, const detail::Object* key, std::uint32_t hash) noexcept
    {
        return stored.object() == key || (storedHash(stored) == hash && detail::isEqual(stored.object(), key));
    }

    // The first slot a hash probes. Decoded dictionaries are mostly small, and
    // the compiler turns a division by a known capacity into a multiplication.
    std::uint32_t homeSlot(std::uint32_t hash, std::uint32_t capacity) noexcept
    {
        switch (capacity) {
        case 3:
            return hash % 3u;
        case 7:
            return hash % 7u;
        case 13:
            return hash % 13u;
        case 23:
            return hash % 23u;
        case 41:
            return hash % 41u;
        default:
            return hash % capacity;
        }
    }

} // namespace

std::size_t Dictionary::capacityForCount(std::size_t count) noexcept
{
    // Small dictionaries are by far the most common: their capacities are looked up directly.
    static constexpr std::uint8_t kSmall[] = { 0, 3, 3, 3, 7, 7, 7, 13, 13, 13, 13, 23, 23, 23, 23, 23, 23, 23, 23, 41,
        41, 41, 41, 41, 41, 41, 41, 41, 41, 41, 41, 41 };
    if (count < std::size(kSmall))
        return kSmall[count];
    auto target = static_cast<std::uint64_t>(static_cast<double>(count) * 1.33);
    const std::uint32_t* found = std::lower_bound(std::begin(kCapacities), std::end(kCapacities), target);
    return found == std::end(kCapacities) ? kCapacities[std::size(kCapacities) - 1] : *found;
}

Value Dictionary::create(detail::Object* const* keys, const std::uint32_t* keyHashes, detail::Object* const* objects,
    std::size_t count, bool isMutable)
{
    std::size_t capacity = capacityForCount(count);
    // Decoded dictionaries keep their table in the same block as the dictionary.
    std::uint8_t sizeClass = 0;
    void* memory = nullptr;
    try {
        memory = detail::allocateObjectInline(sizeof(Dictionary) + capacity * sizeof(Entry), sizeClass);
    } catch (const std::bad_alloc&) {
    }
    if (!memory) {
        detail::settleDecodeCounts();
        for (std::size_t i = 0; i < count; ++i) {
            detail::release(keys[i]);
            detail::release(objects[i]);
        }
        return {};
    }
    auto* dictionary = new (memory) Dictionary;
    detail::setUpHeader(dictionary, Kind::Dictionary, sizeClass);
    dictionary->m_entries = reinterpret_cast<Entry*>(dictionary + 1);
    dictionary->m_capacity = static_cast<std::uint32_t>(capacity);
    if (count >= kLargeFill) {
        std::memset(static_cast<void*>(dictionary->m_entries), 0, capacity * sizeof(Entry));
        if (!dictionary->fillLarge(keys, keyHashes, objects, count))
            dictionary->fillPairs<0>(keys, keyHashes, objects, count);
    } else {
        switch (capacity) {
        case 3:
            dictionary->fillPairs<3>(keys, keyHashes, objects, count);
            break;
        case 7:
            dictionary->fillPairs<7>(keys, keyHashes, objects, count);
            break;
        case 13:
            dictionary->fillPairs<13>(keys, keyHashes, objects, count);
            break;
        default:
            std::memset(static_cast<void*>(dictionary->m_entries), 0, capacity * sizeof(Entry));
            dictionary->fillPairs<0>(keys, keyHashes, objects, count);
            break;
        }
    }
    dictionary->m_mutations = isMutable ? 1 : 0;
    return Value::adopt(dictionary);
}

template<std::uint32_t Capacity>
void Dictionary::fillPairs(
    detail::Object* const* keys, const std::uint32_t* keyHashes, detail::Object* const* objects, std::size_t count)
{
    Entry* entries = m_entries;
    const std::uint32_t slots = Capacity ? Capacity : m_capacity;
    // Small tables are cleared in place: a library call costs more than the stores.
    if constexpr (Capacity != 0)
        for (std::uint32_t i = 0; i < Capacity; ++i)
            new (&entries[i]) Entry {};
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t hash = keyHashes[i];
        // Probe as addObject does; a key equal to an earlier one goes
        // through addObject itself, which replaces the earlier pair.
        std::uint32_t slot = Capacity ? hash % Capacity : homeSlot(hash, slots);
        for (;;) {
            Entry& entry = entries[slot];
            if (!entry.key) {
                // Over empty handles: nothing to release first.
                new (&entry.key) Value(Value::adopt(keys[i]));
                new (&entry.object) Value(Value::adopt(objects[i]));
                ++m_count;
                break;
            }
            if (isStoredKey(entry.key, keys[i], hash)) {
                detail::settleDecodeCounts(); // the earlier pair is released
                addObject(hash, Value::adopt(keys[i]), Value::adopt(objects[i]));
                break;
            }
            if (++slot == slots)
                slot = 0;
        }
    }
}

namespace {

    // A strong hash of a string key's bytes, to find equal keys among many
    // whose string hashes collide: FNV-1a, then mixed so that every bit of it
    // reaches the low bits that place a key in the index.
    std::uint64_t contentHash(const detail::StringObject* key) noexcept
    {
        std::uint64_t h = 0xCBF29CE484222325ULL;
        const auto* bytes = reinterpret_cast<const unsigned char*>(key->bytes());
        for (std::size_t i = 0; i < key->length; ++i)
            h = (h ^ bytes[i]) * 0x100000001B3ULL;
        h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDULL;
        h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ULL;
        return h ^ (h >> 33);
    }

    constexpr std::uint32_t kNoKey = UINT32_MAX;
    // How many keys ahead `fillLarge`'s loops fetch the slots a key will probe.
    constexpr std::size_t kAhead = 16;

    /// `fillLarge`'s scratch, in one block: each key's content hash, an
    /// index of the keys by it, each slot's next free slot, and which pairs
    /// a later key replaces.
    struct LargeFillScratch {
        std::uint64_t* strong;
        std::uint32_t* index;
        std::size_t indexSize;
        std::uint32_t* nextFree;
        std::uint8_t* replaced;
    };

    /// The index's size for `count` keys: a power of two, at least 1.5 ×
    /// `count`.
    std::size_t indexSizeFor(std::size_t count) noexcept
    {
        std::size_t indexSize = 1;
        while (indexSize < count + count / 2)
            indexSize *= 2;
        return indexSize;
    }

    std::size_t scratchBytes(std::size_t count, std::size_t indexSize, std::uint32_t capacity) noexcept
    {
        return count * sizeof(std::uint64_t) + indexSize * sizeof(std::uint32_t)
            + (std::size_t { capacity } + 1) * sizeof(std::uint32_t) + count;
    }

    /// Lays the scratch out in `block`, with an empty index and no pair replaced.
    LargeFillScratch layOutScratch(
        void* block, std::size_t count, std::size_t indexSize, std::uint32_t capacity) noexcept
    {
        LargeFillScratch scratch;
        scratch.strong = static_cast<std::uint64_t*>(block);
        scratch.index = reinterpret_cast<std::uint32_t*>(scratch.strong + count);
        scratch.indexSize = indexSize;
        scratch.nextFree = scratch.index + indexSize;
        scratch.replaced = reinterpret_cast<std::uint8_t*>(scratch.nextFree + capacity + 1);
        std::fill(scratch.index, scratch.index + indexSize, kNoKey);
        std::fill(scratch.replaced, scratch.replaced + count, std::uint8_t { 0 });
        return scratch;
    }

    /// Marks in `scratch.replaced` each pair whose key (all strings) comes
    /// again later: the later pair replaces it.
    void markReplacedKeys(detail::Object* const* keys, std::size_t count, const LargeFillScratch& scratch) noexcept
    {
        std::uint64_t* strong = scratch.strong;
        std::uint32_t* index = scratch.index;
        const std::size_t indexSize = scratch.indexSize;
        std::uint8_t* replaced = scratch.replaced;
        // Last pair first: a pair whose key comes again later is replaced by it.
        // The index is larger than the caches: its slots are fetched ahead.
        for (std::size_t i = 0; i < count; ++i)
            strong[i] = contentHash(static_cast<const detail::StringObject*>(keys[i]));
        for (std::size_t i = count; i-- > 0;) {
            if (i >= kAhead)
                __builtin_prefetch(&index[strong[i - kAhead] & (indexSize - 1)]);
            for (std::size_t at = strong[i] & (indexSize - 1);; at = (at + 1) & (indexSize - 1)) {
                const std::uint32_t other = index[at];
                if (other == kNoKey) {
                    index[at] = static_cast<std::uint32_t>(i);
                    break;
                }
                if (strong[other] == strong[i] && (keys[other] == keys[i] || detail::isEqual(keys[other], keys[i]))) {
                    replaced[i] = 1;
                    break;
                }
            }
        }
    }

} // namespace

bool Dictionary::fillLarge(detail::Object* const* keys, const std::uint32_t* keyHashes, detail::Object* const* objects,
    std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        if (keys[i]->kind != Kind::String)
            return false;
    const std::size_t indexSize = indexSizeFor(count);
    const std::size_t mapped = detail::mappedSize(scratchBytes(count, indexSize, m_capacity));
    void* block = detail::takeMappedBlock(mapped);
    if (!block)
        return false;
    const LargeFillScratch scratch = layOutScratch(block, count, indexSize, m_capacity);
    markReplacedKeys(keys, count, scratch);
    placeInProbeOrder(keys, keyHashes, objects, count, scratch.replaced, scratch.nextFree);
    detail::giveBackMappedBlock(block, mapped);
    return true;
}

void Dictionary::placeInProbeOrder(detail::Object* const* keys, const std::uint32_t* keyHashes,
    detail::Object* const* objects, std::size_t count, const std::uint8_t* replaced, std::uint32_t* nextFree) noexcept
{
    // The pairs not replaced in order, each in the first free slot of its
    // probe run, as the add does; that is where it lands when the pairs
    // replaced later were never added, which is where replacing them leaves
    // the rest. The free slot is found through links to the next free slot,
    // halved as they are followed, so that long runs of filled slots are not
    // walked again. The table's place and size are read once: the stores
    // to the links could otherwise be taken to change them.
    Entry* const entries = m_entries;
    const std::uint32_t capacity = m_capacity;
    for (std::uint32_t slot = 0; slot <= capacity; ++slot)
        nextFree[slot] = slot;
    auto findFree = [nextFree](std::uint32_t slot) {
        while (nextFree[slot] != slot) {
            nextFree[slot] = nextFree[nextFree[slot]];
            slot = nextFree[slot];
        }
        return slot;
    };
    bool settled = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kAhead < count) {
            const std::uint32_t ahead = homeSlot(keyHashes[i + kAhead], capacity);
            __builtin_prefetch(&nextFree[ahead]);
            __builtin_prefetch(&entries[ahead]);
        }
        if (replaced[i]) {
            if (!settled)
                detail::settleDecodeCounts(); // the replaced pairs are released
            settled = true;
            detail::release(keys[i]);
            detail::release(objects[i]);
            continue;
        }
        std::uint32_t slot = findFree(homeSlot(keyHashes[i], capacity));
        if (slot == capacity)
            slot = findFree(0);
        new (&entries[slot].key) Value(Value::adopt(keys[i]));
        new (&entries[slot].object) Value(Value::adopt(objects[i]));
        nextFree[slot] = slot + 1;
        ++m_count;
    }
}

void Dictionary::destroy() noexcept
{
    detail::ReleaseScope scope;
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        if (detail::Object* key = m_entries[i].key.leak())
            detail::releaseElement(key);
        if (detail::Object* object = m_entries[i].object.leak())
            detail::releaseElement(object);
    }
    if (m_ownsEntries)
        std::free(m_entries);
    std::uint8_t sizeClass = this->sizeClass;
    this->~Dictionary();
    detail::freeObjectInline(this, sizeClass);
}

std::size_t Dictionary::findSlot(const detail::Object* key, std::uint32_t hash) const noexcept
{
    if (!key || m_capacity == 0)
        return SIZE_MAX;
    std::size_t slot = hash % m_capacity;
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        const Entry& entry = m_entries[slot];
        if (!entry.key)
            return SIZE_MAX;
        if (isStoredKey(entry.key, key, hash))
            return slot;
        if (++slot == m_capacity)
            slot = 0;
    }
    return SIZE_MAX;
}

const Value& Dictionary::objectForKey(const Value& key) const noexcept
{
    if (!key)
        return kNone;
    std::size_t slot = findSlot(key.object(), detail::hashOf(key.object()));
    return slot == SIZE_MAX ? kNone : m_entries[slot].object;
}

const Value& Dictionary::objectForKey(std::string_view key) const noexcept
{
    if (m_capacity == 0)
        return kNone;
    std::uint32_t hash = detail::hashBytes(key.data(), key.size());
    std::size_t slot = hash % m_capacity;
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        const Entry& entry = m_entries[slot];
        if (!entry.key)
            return kNone;
        if (entry.key.isString()) {
            auto* stored = static_cast<const detail::StringObject*>(entry.key.object());
            if (stored->hash == hash && std::string_view(stored->bytes(), stored->length) == key)
                return entry.object;
        }
        if (++slot == m_capacity)
            slot = 0;
    }
    return kNone;
}

void Dictionary::addObject(std::uint32_t hash, Value&& key, Value&& object) noexcept
{
    if (m_capacity == 0)
        return;
    std::size_t slot = hash % m_capacity;
    for (std::uint32_t i = 0; i < m_capacity; ++i) {
        Entry& entry = m_entries[slot];
        if (entry.key && isStoredKey(entry.key, key.object(), hash))
            removeSlot(slot);
        if (!entry.key) {
            entry.key = std::move(key);
            entry.object = std::move(object);
            ++m_count;
            return;
        }
        if (++slot == m_capacity)
            slot = 0;
    }
}

void Dictionary::removeSlot(std::size_t slot) noexcept
{
    {
        Entry removed { std::move(m_entries[slot].key), std::move(m_entries[slot].object) };
        --m_count;
    }
    // Close the gap: every pair after it up to the next empty slot is stored
    // again from the start of its own probe run, so lookups never stop early.
    for (std::uint32_t i = 1; i <= m_capacity; ++i) {
        std::size_t next = (slot + i) % m_capacity;
        Entry& entry = m_entries[next];
        if (!entry.key)
            break;
        Entry lifted { std::move(entry.key), std::move(entry.object) };
        std::size_t target = storedHash(lifted.key) % m_capacity;
        while (m_entries[target].key)
            target = (target + 1) % m_capacity;
        m_entries[target] = std::move(lifted);
    }
}

void Dictionary::getObjects(Value* objects, Value* keys) const
{
    std::size_t n = 0;
    for (std::uint32_t slot = 0; slot < m_capacity; ++slot) {
        const Entry& entry = m_entries[slot];
        if (!entry.key)
            continue;
        if (keys)
            keys[n] = entry.key;
        if (objects)
            objects[n] = entry.object;
        ++n;
    }
}

std::vector<Value> Dictionary::allKeys() const
{
    std::vector<Value> keys;
    keys.reserve(m_count);
    for (const Entry& entry : *this)
        keys.push_back(entry.key);
    return keys;
}

DictionaryEnumerator Dictionary::keyEnumerator() const
{
    detail::retain(const_cast<Dictionary*>(this));
    return DictionaryEnumerator(Value::adopt(const_cast<Dictionary*>(this)));
}

void Dictionary::requireMutable(const char* selector) const
{
    if (m_mutations == 0)
        throw InternalInconsistencyException(prefix(selector) + "mutating method sent to immutable object");
}

void Dictionary::noteMutation() noexcept
{
    m_mutations = m_mutations == UINT32_MAX ? 1 : m_mutations + 1;
}

void Dictionary::growIfNeeded()
{
    std::size_t wanted = capacityForCount(m_count + 1);
    if (m_capacity >= wanted)
        return;
    auto* entries = static_cast<Entry*>(std::calloc(wanted, sizeof(Entry)));
    if (!entries)
        throw MallocException("Unable to allocate memory for hash table.");
    Entry* old = m_entries;
    std::uint32_t oldCapacity = m_capacity;
    bool ownedOld = m_ownsEntries;
    m_entries = entries;
    m_ownsEntries = true;
    m_capacity = static_cast<std::uint32_t>(wanted);
    m_count = 0;
    for (std::uint32_t i = 0; i < oldCapacity; ++i) {
        if (old[i].key)
            addObject(storedHash(old[i].key), std::move(old[i].key), std::move(old[i].object));
        old[i].~Entry();
    }
    if (ownedOld)
        std::free(old);
}

void Dictionary::setObject(const Value& object, const Value& key)
{
    requireMutable("setObject:forKey:");
    if (!key)
        throw InvalidArgumentException(prefix("setObject:forKey:") + "attempt to insert nil key");
    if (!object)
        throw InvalidArgumentException(
            prefix("setObject:forKey:") + "attempt to insert nil value (key: " + describe(key) + ")");
    growIfNeeded();
    Value copiedKey = key.copy();
    std::uint32_t hash = detail::hashOf(copiedKey.object());
    addObject(hash, std::move(copiedKey), Value(object));
    noteMutation();
}

void Dictionary::removeObjectForKey(const Value& key)
{
    requireMutable("removeObjectForKey:");
    if (!key)
        throw InvalidArgumentException(prefix("removeObjectForKey:") + "attempt to remove nil key");
    std::size_t slot = findSlot(key.object(), detail::hashOf(key.object()));
    if (slot == SIZE_MAX)
        return;
    removeSlot(slot);
    noteMutation();
}

DictionaryEnumerator::DictionaryEnumerator(Value dictionary)
    : m_collection(std::move(dictionary))
{
}

Value DictionaryEnumerator::nextObject()
{
    Dictionary* dictionary = m_collection.asDictionary();
    if (!dictionary)
        return {};
    while (m_nextObject < dictionary->capacity()) {
        const auto& entry = dictionary->entryAtSlot(m_nextObject++);
        if (entry.key)
            return entry.key;
    }
    return {};
}

std::vector<Value> DictionaryEnumerator::allObjects()
{
    std::vector<Value> keys;
    while (Value key = nextObject())
        keys.push_back(std::move(key));
    return keys;
}

} // namespace json
