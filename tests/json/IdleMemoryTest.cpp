// What the decoder keeps for its next large decodes goes back to the system
// when asked (and by itself once decoding is quiet, which a test cannot wait
// for), but never memory that decoded values still use.
#include "json/HugePages.h"
#include "json/JSON.h"
#include "json/ObjectMemory.h"

#include <gtest/gtest.h>

#include <string>

using json::Value;

namespace {

std::string numbers(int count)
{
    std::string text = "[";
    for (int i = 0; i < count; ++i)
        text += (i ? "," : "") + std::to_string(i);
    return text + "]";
}

TEST(IdleMemory, KeptBlocksAndChunksGoBackOnlyWhenNothingDecodedIsHeld)
{
    // 400 k numbers: slabs from several chunks, and an array in a mapped block.
    const std::string text = numbers(400'000);
    const std::size_t slabsBefore = json::detail::liveArenaSlabs();
    Value held = json::objectFromJSONData(text);
    ASSERT_EQ(held.count(), 400'000u);
    Value other = json::objectFromJSONData(text);
    other = Value();
    EXPECT_GT(json::detail::keptDecoderBytes(), 0u);
    // The held tree's chunks stay, and so do its values.
    json::releaseIdleDecoderMemory();
    EXPECT_EQ(held[399'999].integerValue(), 399'999);
    EXPECT_EQ(json::detail::keptDecoderBytes(), 0u);
    EXPECT_GT(json::detail::liveArenaSlabs(), slabsBefore + 100);
    held = Value();
    EXPECT_EQ(json::detail::liveArenaSlabs(), slabsBefore);
    EXPECT_GT(json::releaseIdleDecoderMemory(), 0u);
    EXPECT_EQ(json::detail::keptDecoderBytes(), 0u);
    EXPECT_EQ(json::detail::keptMappedBytes(), 0u);
    // Decoding goes on with fresh memory.
    Value again = json::objectFromJSONData(text);
    ASSERT_EQ(again.count(), 400'000u);
    EXPECT_EQ(again[123'456].integerValue(), 123'456);
}

TEST(IdleMemory, FreeSlabsBesideHeldValuesGoBackAndAreUsedAgain)
{
    json::releaseIdleDecoderMemory();
    // A small reply held for long shares its chunk with a large one's slabs.
    Value held = json::objectFromJSONData(R"({"name":"Fridge","rooms":["Kitchen","Hall"]})");
    std::string text = "[";
    for (int i = 0; i < 100'000; ++i)
        text += (i ? ",{\"k\":\"v" : "{\"k\":\"v") + std::to_string(i) + "\"}";
    text += "]";
    Value large = json::objectFromJSONData(text);
    ASSERT_EQ(large.count(), 100'000u);
    large = Value();
    // The held value's chunk keeps only its slab whole; asked again, nothing
    // more is left to give back.
    EXPECT_GT(json::releaseIdleDecoderMemory(), 0u);
    EXPECT_EQ(json::releaseIdleDecoderMemory(), 0u);
    EXPECT_EQ(json::detail::keptDecoderBytes(), 0u);
    EXPECT_EQ(held["rooms"][1].stringValue(), "Hall");
    // The slabs whose pages went are filled again as new.
    Value again = json::objectFromJSONData(text);
    ASSERT_EQ(again.count(), 100'000u);
    EXPECT_EQ(again[99'999]["k"].stringValue(), "v99999");
    EXPECT_EQ(again[12'345]["k"].stringValue(), "v12345");
    EXPECT_EQ(held["name"].stringValue(), "Fridge");
}

TEST(IdleMemory, AMediumDocumentHoldsTheSlabsItFillsNotWholeChunks)
{
    // A week of samples, about a megabyte decoded: fewer slabs than a chunk
    // holds. Its chunk's pages come as its slabs are carved.
    json::releaseIdleDecoderMemory();
    std::string text = "[";
    for (int i = 0; i < 8'000; ++i)
        text += (i ? ",{\"t\":" : "{\"t\":") + std::to_string(1'700'000'000 + 60 * i)
            + ",\"v\":" + std::to_string(i % 97) + ".5}";
    text += "]";
    const std::size_t slabsBefore = json::detail::liveArenaSlabs();
    Value week = json::objectFromJSONData(text);
    ASSERT_EQ(week.count(), 8'000u);
    const std::size_t slabs = json::detail::liveArenaSlabs() - slabsBefore;
    ASSERT_GT(slabs, 10u);
    ASSERT_LT(slabs, 64u);
    const std::size_t resident = json::detail::residentBytesOfChunk(week[0].object());
    EXPECT_GT(resident, 0u);
    EXPECT_LE(resident, (slabs + 1) * json::detail::kArenaSlabBytes);
    EXPECT_EQ(week[7'999]["t"].integerValue(), 1'700'000'000 + 60 * 7'999);
}

} // namespace

namespace {

TEST(ArrayCopy, ALongArrayInsideOthersLeavesTheEntriesAroundItWhole)
{
    // The inner array's stack pages go as it is copied; the pending values
    // of the containers around it lie on the page where it starts and must
    // stay. Lengths just below and at the size that discards, and past it.
    for (int inner : { 262'143, 262'144, 600'001 }) {
        std::string text = "[7,\"a\",{\"x\":8,\"k\":" + numbers(inner) + ",\"y\":9},10]";
        Value value = json::objectFromJSONData(text);
        ASSERT_TRUE(value.isArray()) << inner;
        ASSERT_EQ(value.count(), 4u);
        EXPECT_EQ(value[0].integerValue(), 7);
        EXPECT_EQ(value[1].stringValue(), "a");
        EXPECT_EQ(value[2]["x"].integerValue(), 8);
        EXPECT_EQ(value[2]["y"].integerValue(), 9);
        EXPECT_EQ(value[3].integerValue(), 10);
        const Value& list = value[2]["k"];
        ASSERT_EQ(list.count(), static_cast<std::size_t>(inner));
        for (int i = 0; i < inner; ++i)
            ASSERT_EQ(list[i].integerValue(), i) << inner;
    }
}

} // namespace
