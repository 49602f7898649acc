// Long inputs: the blocks mapped for large objects and the stack and kept for
// reuse, slabs from more than one chunk, and containers of up to a million
// elements decoded whole.
#include "json/Dictionary.h"
#include "json/HugePages.h"
#include "json/JSON.h"
#include "json/ObjectMemory.h"
#include "json/ObjectStack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

using json::Value;
using json::detail::giveBackMappedBlock;
using json::detail::keptMappedBytes;
using json::detail::kHugePageBytes;
using json::detail::liveArenaSlabs;
using json::detail::ObjectStack;
using json::detail::takeMappedBlock;

namespace {

constexpr std::size_t kMB = std::size_t { 1 } << 20;

// "[0,1,...,n-1]", or {"k0":0,...} with the pairs.
std::string flatDocument(bool object, std::size_t n)
{
    std::string text(1, object ? '{' : '[');
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            text += ',';
        if (object)
            text += "\"k" + std::to_string(i) + "\":";
        text += std::to_string(i);
    }
    text += object ? '}' : ']';
    return text;
}

TEST(MappedBlocks, SizesAreWhole64KBelowAHugePageAndWholeHugePagesFromOne)
{
    const struct {
        std::size_t bytes;
        std::size_t mapped;
    } cases[] = {
        { 1, 64 * 1024 },
        { 64 * 1024, 64 * 1024 },
        { 64 * 1024 + 1, 128 * 1024 },
        { kHugePageBytes - 1, kHugePageBytes },
        { kHugePageBytes, kHugePageBytes },
        { kHugePageBytes + 1, 2 * kHugePageBytes },
        { 75 * kMB + 3, 76 * kMB },
    };
    for (const auto& c : cases)
        EXPECT_EQ(json::detail::mappedSize(c.bytes), c.mapped) << c.bytes;
}

TEST(MappedBlocks, BlocksGivenBackAreTakenAgainUpToTwiceTheSizeAndTheKeptBytesAreBounded)
{
    json::detail::releaseKeptMappedBlocks();
    ASSERT_EQ(keptMappedBytes(), 0u);
    auto* block = static_cast<char*>(takeMappedBlock(4 * kMB));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kHugePageBytes, 0u);
    block[0] = 'a';
    block[4 * kMB - 1] = 'z';
    giveBackMappedBlock(block, 4 * kMB);
    EXPECT_EQ(keptMappedBytes(), 4 * kMB);

    // The same size again: the same block, holding what it held.
    auto* again = static_cast<char*>(takeMappedBlock(4 * kMB));
    EXPECT_EQ(again, block);
    EXPECT_EQ(again[0], 'a');
    EXPECT_EQ(again[4 * kMB - 1], 'z');
    EXPECT_EQ(keptMappedBytes(), 0u);
    giveBackMappedBlock(again, 4 * kMB);

    // Half the size takes it (the rest goes back); less than half does not.
    void* smaller = takeMappedBlock(kMB + 64 * 1024);
    EXPECT_NE(smaller, block);
    EXPECT_EQ(keptMappedBytes(), 4 * kMB);
    void* half = takeMappedBlock(2 * kMB);
    EXPECT_EQ(half, block);
    EXPECT_EQ(keptMappedBytes(), 0u);
    giveBackMappedBlock(half, 2 * kMB);
    giveBackMappedBlock(smaller, kMB + 64 * 1024);
    EXPECT_EQ(keptMappedBytes(), 3 * kMB + 64 * 1024);

    // Two more blocks of 8 MB: the oldest go to make room, 16 MB at most stay.
    void* first = takeMappedBlock(8 * kMB);
    void* second = takeMappedBlock(8 * kMB);
    giveBackMappedBlock(first, 8 * kMB);
    EXPECT_EQ(keptMappedBytes(), 11 * kMB + 64 * 1024);
    giveBackMappedBlock(second, 8 * kMB);
    EXPECT_EQ(keptMappedBytes(), 16 * kMB);
    // One of 16 MB is kept alone; one larger is not kept at all.
    giveBackMappedBlock(takeMappedBlock(16 * kMB), 16 * kMB);
    EXPECT_EQ(keptMappedBytes(), 16 * kMB);
    giveBackMappedBlock(takeMappedBlock(18 * kMB), 18 * kMB);
    EXPECT_EQ(keptMappedBytes(), 16 * kMB);
    json::detail::releaseKeptMappedBlocks();
    EXPECT_EQ(keptMappedBytes(), 0u);
}

// Pushes the entries numbered `first` to `end` - 1, every other one a key
// and value pair, and reports the objects array whenever it moves.
std::vector<json::detail::Object* const*> fill(ObjectStack& stack, int first, int end)
{
    std::vector<json::detail::Object* const*> places;
    for (int i = first; i < end; ++i) {
        EXPECT_TRUE(stack.ensureRoom());
        if (places.empty() || places.back() != stack.objectsFrom(0))
            places.push_back(stack.objectsFrom(0));
        if (i % 2) {
            stack.push(Value(i).leak());
        } else {
            const std::size_t entry = stack.reserveEntry();
            stack.keyAt(entry) = Value("key " + std::to_string(i)).leak();
            stack.keyHashAt(entry) = static_cast<std::uint32_t>(i);
            stack.objectAt(entry) = Value(i).leak();
        }
    }
    return places;
}

void expectFilled(ObjectStack& stack, int n)
{
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(static_cast<json::detail::NumberObject*>(stack.objectAt(i))->i, i);
        if (i % 2 == 0) {
            auto* key = static_cast<json::detail::StringObject*>(stack.keyAt(i));
            ASSERT_EQ(std::string(key->bytes(), key->length), "key " + std::to_string(i));
            ASSERT_EQ(stack.keyHashesFrom(0)[i], static_cast<std::uint32_t>(i));
        } else {
            ASSERT_EQ(stack.keyAt(i), nullptr);
        }
    }
}

TEST(ObjectStack, ALongInputsStackMovesPastTheKeptEntriesToAMappedBlockOfItsMostEntries)
{
    json::detail::Object* objects[ObjectStack::kFrameEntries];
    json::detail::Object* keys[ObjectStack::kFrameEntries];
    std::uint32_t hashes[ObjectStack::kFrameEntries];
    // The first growth step past the 64 k entries kept is to 67,584: a
    // bound one below stays in heap arrays, one at it moves to a mapped
    // block, and from there no growth moves the stack.
    constexpr std::size_t kFirstStepPast = 67'584;
    {
        ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries, kFirstStepPast - 1);
        fill(stack, 0, 66'000);
        EXPECT_TRUE(stack.isOnHeap());
        EXPECT_FALSE(stack.isInMappedBlock());
        expectFilled(stack, 66'000);
    }
    for (std::size_t mostEntries : { kFirstStepPast, std::size_t { 1'000'000 } }) {
        ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries, mostEntries);
        fill(stack, 0, 65'000);
        EXPECT_FALSE(stack.isInMappedBlock()) << "short stacks stay in the arrays a thread keeps";
        const auto places = fill(stack, 65'000, 67'000);
        EXPECT_TRUE(stack.isInMappedBlock()) << mostEntries;
        EXPECT_EQ(places.size(), 2u) << "the kept arrays, then the mapped block";
        EXPECT_EQ(stack.count(), kFirstStepPast);
        expectFilled(stack, 67'000);
    }
}

TEST(ObjectStack, AMappedBlockOutgrownAfterAWrongBoundMovesToTheHeapWithItsEntries)
{
    json::detail::Object* objects[ObjectStack::kFrameEntries];
    json::detail::Object* keys[ObjectStack::kFrameEntries];
    std::uint32_t hashes[ObjectStack::kFrameEntries];
    ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries, 67'584);
    fill(stack, 0, 67'000);
    EXPECT_TRUE(stack.isInMappedBlock());
    fill(stack, 67'000, 70'000);
    EXPECT_TRUE(stack.isOnHeap());
    EXPECT_FALSE(stack.isInMappedBlock());
    expectFilled(stack, 70'000);
}

TEST(LargeDecode, AMillionElementArrayDecodesWhole)
{
    const std::size_t slabs = liveArenaSlabs();
    const std::string text = flatDocument(false, 1'000'000);
    Value array = json::objectFromJSONData(text);
    ASSERT_TRUE(array.isArray());
    ASSERT_EQ(array.count(), 1'000'000u);
    for (std::size_t i = 0; i < array.count(); ++i)
        ASSERT_EQ(array[i].integerValue(), static_cast<long long>(i)) << i;
    // Its release gives every slab back, and keeps at most 16 MB of blocks.
    array = Value();
    EXPECT_EQ(liveArenaSlabs(), slabs);
    EXPECT_LE(keptMappedBytes(), 16 * kMB);

    // The same text cut short, within the last number or after its comma,
    // or with a bad last element, fails cleanly.
    const struct {
        std::string text;
        const char* error;
    } failures[] = {
        { text.substr(0, text.size() - 1), "Invalid number." },
        { text.substr(0, text.size() - 7), "Reached the end of the buffer." },
        { text.substr(0, text.size() - 2) + "x]",
            "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', "
            "'false', 'null', '\"STRING\"', 'NUMBER'." },
    };
    for (const auto& failure : failures) {
        json::Error error;
        EXPECT_FALSE(json::objectFromJSONDataWithParseOptions(failure.text, 0, &error));
        EXPECT_EQ(error.description, failure.error);
    }
    EXPECT_EQ(liveArenaSlabs(), slabs);
}

TEST(LargeDecode, ADictionaryOfAHundredThousandPairsKeepsEachAndTheLastOfARepeatedKey)
{
    std::string text = flatDocument(true, 100'000);
    text.back() = ',';
    text += "\"k5\":-1}";
    Value dictionary = json::objectFromJSONData(text);
    ASSERT_TRUE(dictionary.isDictionary());
    EXPECT_EQ(dictionary.count(), 100'000u);
    for (int i = 0; i < 100'000; ++i)
        ASSERT_EQ(dictionary["k" + std::to_string(i)].integerValue(), i == 5 ? -1 : i) << i;
    EXPECT_FALSE(dictionary["k100000"]);
}

// The table a dictionary's pairs make when each is added in turn: in the
// first empty slot of its probe run, an equal key's pair removed first and
// the run after it stored again.
class ModelTable {
public:
    explicit ModelTable(std::size_t capacity)
        : m_slots(capacity)
    {
    }
    void add(const std::string& key, int value)
    {
        const std::uint32_t hash = json::detail::hashBytes(key.data(), key.size());
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            const std::size_t slot = (hash % m_slots.size() + i) % m_slots.size();
            if (m_slots[slot] && m_slots[slot]->key == key)
                remove(slot);
            if (!m_slots[slot]) {
                m_slots[slot] = Pair { key, value, hash };
                return;
            }
        }
    }
    const auto& slots() const { return m_slots; }

private:
    struct Pair {
        std::string key;
        int value;
        std::uint32_t hash;
    };
    void remove(std::size_t removed)
    {
        m_slots[removed].reset();
        for (std::size_t i = 1; i <= m_slots.size(); ++i) {
            const std::size_t slot = (removed + i) % m_slots.size();
            if (!m_slots[slot])
                return;
            Pair pair = *std::exchange(m_slots[slot], std::nullopt);
            for (std::size_t j = 0;; ++j) {
                const std::size_t to = (pair.hash % m_slots.size() + j) % m_slots.size();
                if (!m_slots[to]) {
                    m_slots[to] = std::move(pair);
                    break;
                }
            }
        }
    }
    std::vector<std::optional<Pair>> m_slots;
};

// Random keys whose probe runs start within `window` slots of the table's
// end, so that they make one long run that wraps to its start.
std::vector<std::string> clusteredKeys(std::size_t count, std::size_t window, std::mt19937& random)
{
    const std::size_t capacity = json::Dictionary::capacityForCount(count);
    std::vector<std::string> keys;
    std::uniform_int_distribution<int> letter(0, 35);
    while (keys.size() < count) {
        std::string key(8, 'a');
        for (char& c : key) {
            const int n = letter(random);
            c = static_cast<char>(n < 26 ? 'a' + n : '0' + n - 26);
        }
        const std::size_t home = json::detail::hashBytes(key.data(), key.size()) % capacity;
        if (home + window / 2 >= capacity || home < window / 2)
            keys.push_back(key);
    }
    return keys;
}

TEST(LargeDecode, DictionariesLieInTheSlotsThatAddingEachPairInTurnGives)
{
    std::mt19937 random(21);
    struct Case {
        const char* name;
        std::vector<std::string> keys;
    };
    std::vector<Case> cases;
    for (std::size_t n : { 4095, 4096, 30000 }) {
        Case c { "k0, k1, ...", {} };
        for (std::size_t i = 0; i < n; ++i)
            c.keys.push_back("k" + std::to_string(i));
        cases.push_back(std::move(c));
    }
    cases.push_back({ "one run wrapping", clusteredKeys(5000, 100, random) });
    // Keys again later (some twice): each replaces the pair before.
    Case repeated { "repeated keys", clusteredKeys(4500, 3000, random) };
    std::uniform_int_distribution<std::size_t> later(0, 4499);
    for (std::size_t i = 0; i < 4500; i += 50) {
        const std::size_t at = std::max(i + 1, later(random));
        repeated.keys.insert(
            repeated.keys.begin() + static_cast<std::ptrdiff_t>(std::min(at, repeated.keys.size())), repeated.keys[i]);
        if (i % 150 == 0)
            repeated.keys.push_back(repeated.keys[i]);
    }
    cases.push_back(std::move(repeated));

    for (const Case& c : cases) {
        std::string text = "{";
        for (std::size_t i = 0; i < c.keys.size(); ++i)
            text += (i ? ",\"" : "\"") + c.keys[i] + "\":" + std::to_string(i);
        text += "}";
        for (bool isMutable : { false, true }) {
            Value value = isMutable ? json::mutableObjectFromJSONData(text) : json::objectFromJSONData(text);
            const json::Dictionary* dictionary = value.asDictionary();
            ASSERT_NE(dictionary, nullptr) << c.name;
            std::vector<std::string> unique = c.keys;
            std::sort(unique.begin(), unique.end());
            unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
            ASSERT_EQ(dictionary->count(), unique.size()) << c.name;
            ModelTable model(dictionary->capacity());
            for (std::size_t i = 0; i < c.keys.size(); ++i)
                model.add(c.keys[i], static_cast<int>(i));
            for (std::size_t slot = 0; slot < dictionary->capacity(); ++slot) {
                const auto& entry = dictionary->entryAtSlot(slot);
                const auto& expected = model.slots()[slot];
                ASSERT_EQ(static_cast<bool>(entry.key), expected.has_value()) << c.name << ", slot " << slot;
                if (!expected)
                    continue;
                ASSERT_EQ(entry.key.stringValue(), expected->key) << c.name << ", slot " << slot;
                ASSERT_EQ(entry.object.integerValue(), expected->value) << c.name << ", slot " << slot;
            }
        }
    }
}

TEST(LargeDecode, PartsInMappedBlocksAndSlabsOfManyChunksOutliveTheirTree)
{
    const std::size_t slabs = liveArenaSlabs();
    // 300,000 numbers fill about 150 slabs, from three chunks; the array of
    // 20,000 constants lies in a mapped block of its own.
    std::string constants = "[true";
    for (int i = 1; i < 20'000; ++i)
        constants += ",true";
    Value reply = json::objectFromJSONData("[" + constants + "]," + flatDocument(false, 300'000) + "]");
    ASSERT_TRUE(reply.isArray());
    Value small = reply[0];
    Value middle = reply[1][150'000];
    reply = Value();
    EXPECT_EQ(liveArenaSlabs(), slabs + 2) << "the mapped array's and the number's";
    EXPECT_EQ(small.count(), 20'000u);
    EXPECT_TRUE(small[19'999].boolValue());
    EXPECT_EQ(middle.integerValue(), 150'000);
    small = Value();
    middle = Value();
    EXPECT_EQ(liveArenaSlabs(), slabs);
}

} // namespace
