// Long inputs: the blocks mapped for large objects and the stack and kept for
// reuse, slabs from more than one chunk, and containers of up to a million
// elements decoded whole.
#include "json/HugePages.h"
#include "json/JSON.h"
#include "json/ObjectMemory.h"
#include "json/ObjectStack.h"

#include <gtest/gtest.h>

#include <cstring>
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

// Pushes `n` numbered entries, every other one a key and value pair, and
// reports the objects array whenever it moves.
std::vector<json::detail::Object* const*> fill(ObjectStack& stack, int n)
{
    std::vector<json::detail::Object* const*> places;
    for (int i = 0; i < n; ++i) {
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

TEST(ObjectStack, ALongInputsStackMovesOnceToAMappedBlockOfItsMostEntries)
{
    json::detail::Object* objects[ObjectStack::kFrameEntries];
    json::detail::Object* keys[ObjectStack::kFrameEntries];
    std::uint32_t hashes[ObjectStack::kFrameEntries];
    // At the kept block's size the input may not need more: no mapped block.
    {
        ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries, ObjectStack::kLargestSpare);
        fill(stack, 5000);
        EXPECT_TRUE(stack.isOnHeap());
        EXPECT_FALSE(stack.isInMappedBlock());
    }
    // One entry more: the stack ends in a mapped block (straight from the
    // frame, or after the thread's kept block) and stays there.
    for (int round = 0; round < 2; ++round) {
        ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries, ObjectStack::kLargestSpare + 1);
        const auto places = fill(stack, 65000);
        EXPECT_TRUE(stack.isInMappedBlock());
        EXPECT_LE(places.size(), 3u) << "frame, kept block, mapped block";
        EXPECT_EQ(stack.count(), 65536u);
        expectFilled(stack, 65000);
    }
}

TEST(ObjectStack, AMappedBlockOutgrownAfterAWrongBoundMovesToTheHeapWithItsEntries)
{
    json::detail::Object* objects[ObjectStack::kFrameEntries];
    json::detail::Object* keys[ObjectStack::kFrameEntries];
    std::uint32_t hashes[ObjectStack::kFrameEntries];
    ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries, ObjectStack::kLargestSpare + 1);
    fill(stack, 70000);
    EXPECT_TRUE(stack.isOnHeap());
    EXPECT_FALSE(stack.isInMappedBlock());
    expectFilled(stack, 70000);
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
