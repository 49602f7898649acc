#include "json/Array.h"
#include "json/Dictionary.h"
#include "json/JSON.h"
#include "json/ObjectMemory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using json::Value;
using json::detail::liveArenaSlabs;
using json::detail::treesReleasedWhole;

namespace {

// A reply large enough to decode into arena slabs: readings with a distinct
// name each, so that the objects fill several slabs.
std::string largeReply(int readings = 3000)
{
    std::string text = "{\"success\":true,\"statuses\":[";
    for (int i = 0; i < readings; ++i) {
        if (i)
            text += ',';
        text += "{\"timestamp\":" + std::to_string(1764547200000 + 60000LL * i) + ",\"name\":\"reading "
            + std::to_string(i) + "\",\"powerDraw\":" + std::to_string(i % 700) + ".5}";
    }
    text += "]}";
    return text;
}

TEST(DecodeArena, SlabsGoBackWhenTheLastObjectIsReleased)
{
    const std::size_t before = liveArenaSlabs();
    Value reply = json::objectFromJSONData(largeReply());
    ASSERT_TRUE(reply.isDictionary());
    // Sanitizer builds too: the arena is the same, only checked.
    EXPECT_GT(liveArenaSlabs(), before + 2);
    reply = Value();
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST(DecodeArena, PartsOutliveTheRestOfTheTree)
{
    const std::size_t before = liveArenaSlabs();
    const std::size_t whole = treesReleasedWhole();
    Value reply = json::objectFromJSONData(largeReply());
    Value name = reply["statuses"][2999]["name"];
    Value reading = reply["statuses"][1500];
    reply = Value();
    EXPECT_EQ(treesReleasedWhole(), whole);
    ASSERT_TRUE(name.isString());
    EXPECT_EQ(name.stringValue(), "reading 2999");
    EXPECT_EQ(reading["name"].stringValue(), "reading 1500");
    EXPECT_EQ(reading["timestamp"].integerValue(), 1764547200000 + 60000LL * 1500);
    EXPECT_DOUBLE_EQ(reading["powerDraw"].doubleValue(), 100.5);
    // Only the slabs holding the parts stay: the first (the shared keys),
    // the one of reading 1500 and the last.
    EXPECT_EQ(liveArenaSlabs(), before + 3);
    name = Value();
    reading = Value();
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST(DecodeArena, AUseAfterReleaseInsideALiveSlabIsReported)
{
#if !HESTIO_JSON_ASAN
    GTEST_SKIP() << "only builds with AddressSanitizer check the arena's memory";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Value reply = json::objectFromJSONData(largeReply());
            // Two neighbouring readings: the one kept holds the slab that
            // the other's name lies in after the rest of the tree is gone.
            int gone = 4;
            while (json::detail::slabOf(reply["statuses"][gone]["name"].object())
                != json::detail::slabOf(reply["statuses"][gone + 1].object()))
                ++gone;
            Value kept = reply["statuses"][gone + 1];
            const char* name = reply["statuses"][gone]["name"].stringValue().data();
            reply = Value();
            EXPECT_EQ(kept["name"].stringValue().substr(0, 8), "reading ");
            std::printf("%c\n", name[0]);
        },
        "use-after-poison");
#endif
}

TEST(DecodeArena, ATreeReleasedOnAnotherThreadReturnsItsSlabs)
{
    const std::size_t before = liveArenaSlabs();
    Value reply = json::objectFromJSONData(largeReply());
    Value kept = reply["statuses"][0];
    std::thread([moved = std::move(reply)]() mutable { moved = Value(); }).join();
    EXPECT_EQ(kept["name"].stringValue(), "reading 0");
    std::thread([moved = std::move(kept)]() mutable { moved = Value(); }).join();
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST(DecodeArena, AFailedDecodeLeavesNoSlabBehind)
{
    const std::size_t before = liveArenaSlabs();
    std::string text = largeReply();
    text.back() = ',';
    json::Error error;
    Value reply = json::objectFromJSONDataWithParseOptions(text, 0, &error);
    EXPECT_FALSE(reply);
    EXPECT_EQ(error.description, "Reached the end of the buffer.");
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST(DecodeArena, AKeptDecoderSharesObjectsAcrossArenas)
{
    const std::size_t before = liveArenaSlabs();
    {
        json::Decoder decoder;
        const std::string text = largeReply(500);
        Value first = decoder.objectWithData(text);
        Value second = decoder.objectWithData(text);
        ASSERT_TRUE(first && second);
        // The cache hands out the first decode's key object in the second.
        auto* a = first["statuses"][499].asDictionary();
        auto* b = second["statuses"][499].asDictionary();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->count(), 3u);
        const Value& keyA = a->entryAtSlot(0).key ? a->entryAtSlot(0).key : a->entryAtSlot(1).key;
        bool sameKeyObject = false;
        for (std::size_t i = 0; i < b->capacity(); ++i)
            if (b->entryAtSlot(i).key.isSameObject(keyA))
                sameKeyObject = true;
        EXPECT_TRUE(sameKeyObject);
        first = Value();
        EXPECT_EQ(second["statuses"][0]["name"].stringValue(), "reading 0");
    }
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST(DecodeArena, MutableContainersFromTheArenaGrowOnTheHeap)
{
    const std::size_t before = liveArenaSlabs();
    Value reply = json::mutableObjectFromJSONData(largeReply());
    json::Array* statuses = reply["statuses"].asArray();
    ASSERT_TRUE(statuses);
    json::Dictionary* first = statuses->at(0).asDictionary();
    ASSERT_TRUE(first && first->isMutable());
    for (int i = 0; i < 40; ++i)
        first->setObject(Value(i), Value("extra " + std::to_string(i)));
    statuses->addObject(Value("appended"));
    EXPECT_EQ(first->count(), 43u);
    EXPECT_EQ(reply["statuses"][3000].stringValue(), "appended");
    reply = Value();
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST(DecodeArena, KeysHeldOnAnotherThreadLiveOnUntilItLetsGo)
{
    // Releasing a reply hands the keys its records share one subtraction
    // each; meanwhile another thread copies and drops those same keys.
    const std::size_t before = liveArenaSlabs();
    Value reply = json::objectFromJSONData(largeReply());
    std::vector<Value> keys;
    for (const auto& entry : *reply["statuses"][0].asDictionary())
        keys.push_back(entry.key);
    ASSERT_EQ(keys.size(), 3u);
    const std::size_t expected = 20000 / 3 * (9 + 4 + 9) + keys[0].stringValue().size() + keys[1].stringValue().size();
    std::thread other([keys = std::move(keys), expected]() mutable {
        std::size_t length = 0;
        for (int round = 0; round < 20000; ++round) {
            Value copy = keys[round % 3];
            length += copy.stringValue().size();
        }
        EXPECT_EQ(length, expected); // "timestamp", "name" and "powerDraw", in turn
        keys.clear();
    });
    reply = Value();
    other.join();
    EXPECT_EQ(liveArenaSlabs(), before);
}

// Whole releases of large documents, which decode into arena slabs; each test starts from the slab and release counts
// of its start.
class DecodeArenaWhole : public testing::Test {
protected:
    void SetUp() override
    {
        {
            Value probe = json::objectFromJSONData(largeReply(200));
            ASSERT_GT(liveArenaSlabs(), before) << "large documents decode into arena slabs";
        }
        whole = treesReleasedWhole();
    }

    const std::size_t before = liveArenaSlabs();
    std::size_t whole = 0;
};

TEST_F(DecodeArenaWhole, AnUntouchedTreeGoesBackWhole)
{
    Value reply = json::objectFromJSONData(largeReply());
    // Reading through references takes no reference of its own.
    const Value& reading = reply["statuses"][2000];
    EXPECT_EQ(reading["name"].stringValue(), "reading 2000");
    EXPECT_GT(liveArenaSlabs(), before + 2);
    reply = Value();
    EXPECT_EQ(treesReleasedWhole(), whole + 1);
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST_F(DecodeArenaWhole, CopiesOfTheRootStillLetItGoWhole)
{
    Value reply = json::objectFromJSONData(largeReply());
    Value copy = reply;
    // The root released while an outer container lets go of its elements.
    Value outer = Value::array({ reply, Value("other"), reply });
    reply = Value();
    copy = Value();
    EXPECT_EQ(outer[0]["statuses"][10]["name"].stringValue(), "reading 10");
    EXPECT_EQ(treesReleasedWhole(), whole);
    outer = Value();
    EXPECT_EQ(treesReleasedWhole(), whole + 1);
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST_F(DecodeArenaWhole, AnyPartHeldFromOutsideMakesTheReleaseGoObjectByObject)
{
    {
        // Held and let go again before the root goes: still object by object.
        Value reply = json::objectFromJSONData(largeReply());
        {
            Value held = reply["statuses"][5]["timestamp"];
        }
        reply = Value();
        EXPECT_EQ(liveArenaSlabs(), before);
    }
    {
        // A key, taken through an enumeration.
        Value reply = json::objectFromJSONData(largeReply());
        std::vector<Value> keys = reply["statuses"][2999].asDictionary()->allKeys();
        reply = Value();
        ASSERT_EQ(keys.size(), 3u);
        for (const Value& key : keys)
            EXPECT_TRUE(
                key.stringValue() == "timestamp" || key.stringValue() == "name" || key.stringValue() == "powerDraw");
    }
    {
        // The long array of records, which has a slab of its own size.
        Value reply = json::objectFromJSONData(largeReply());
        Value statuses = reply["statuses"];
        reply = Value();
        ASSERT_EQ(statuses.asArray()->count(), 3000u);
        EXPECT_EQ(statuses[2999]["name"].stringValue(), "reading 2999");
        EXPECT_EQ(statuses[0]["timestamp"].integerValue(), 1764547200000);
    }
    {
        // A part held on another thread, which then lets go of the root.
        Value reply = json::objectFromJSONData(largeReply());
        Value part;
        std::thread([&part, moved = std::move(reply)]() mutable {
            part = moved["statuses"][1234];
            moved = Value();
        }).join();
        EXPECT_EQ(part["name"].stringValue(), "reading 1234");
    }
    EXPECT_EQ(treesReleasedWhole(), whole);
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST_F(DecodeArenaWhole, OnlyImmutableTreesOfADecoderUsedOnceGoWhole)
{
    {
        Value reply = json::mutableObjectFromJSONData(largeReply());
        reply["statuses"].asArray()->addObject(Value("appended"));
    }
    {
        json::Decoder decoder;
        Value reply = decoder.objectWithData(largeReply());
        Value again = decoder.objectWithData(largeReply());
        reply = Value();
        EXPECT_EQ(again["statuses"][7]["name"].stringValue(), "reading 7");
    }
    EXPECT_EQ(treesReleasedWhole(), whole);
    EXPECT_EQ(liveArenaSlabs(), before);
}

TEST_F(DecodeArenaWhole, ObjectsTooLargeForASlabGoWithTheirTree)
{
    // A long string and a long array, each in a slab of its own size.
    std::string numbers;
    for (int i = 0; i < 2000; ++i)
        numbers += std::to_string(i * 7919) + ",";
    Value reply = json::objectFromJSONData("[\"" + std::string(10000, 'x') + "\",[" + numbers + "0]]");
    ASSERT_TRUE(reply.isArray());
    EXPECT_EQ(reply[0].stringValue().size(), 10000u);
    EXPECT_EQ(reply[1][1999].integerValue(), 1999 * 7919);
    reply = Value();
    EXPECT_EQ(treesReleasedWhole(), whole + 1);
    EXPECT_EQ(liveArenaSlabs(), before);
    // The same array failing at its end.
    json::Error error;
    EXPECT_FALSE(json::objectFromJSONDataWithParseOptions("[" + numbers + "]", 0, &error));
    EXPECT_EQ(treesReleasedWhole(), whole + 1);
    EXPECT_EQ(liveArenaSlabs(), before);
}

// In a decode into slabs, arrays of up to 8 elements and dictionaries of up
// to 6 pairs are made in the container loop; longer ones, and dictionaries
// with two keys of one hash ("Bb" and "CA", or a key repeated), go the
// general way. Each must come out as a decode without slabs makes it: the
// same elements, the pairs in the same slots (the text lists them in slot
// order) and the same capacity.
TEST(DecodeArena, SmallContainersComeOutAsTheGeneralWayMakesThem)
{
    std::vector<std::string> records;
    for (int n = 0; n <= 9; ++n) {
        std::string array = "[";
        for (int i = 0; i < n; ++i)
            array += (i ? "," : "") + std::to_string(i * 7);
        records.push_back(array + "]");
    }
    for (int n = 1; n <= 8; ++n) {
        std::string dictionary = "{";
        for (int i = 0; i < n; ++i)
            dictionary += std::string(i ? "," : "") + "\"key " + std::to_string(i) + "\":" + std::to_string(i);
        records.push_back(dictionary + "}");
    }
    records.push_back("{\"Bb\":1,\"CA\":2}");
    records.push_back("{\"a\":1,\"b\":2,\"a\":3}");
    records.push_back("{\"x\":1,\"Bb\":2,\"y\":3,\"z\":4,\"CA\":5,\"w\":6}");
    records.push_back("{\"a\":1,\"b\":2,\"c\":3,\"d\":4,\"e\":5,\"a\":6}");
    std::string text = "[";
    for (int round = 0; round < 30; ++round)
        for (const std::string& record : records)
            text += (text.size() > 1 ? "," : "") + record;
    text += "]";
    ASSERT_GT(text.size(), 4096u);

    const std::size_t before = liveArenaSlabs();
    for (bool isMutable : { false, true }) {
        Value reply = isMutable ? json::mutableObjectFromJSONData(text) : json::objectFromJSONData(text);
        ASSERT_EQ(reply.count(), 30 * records.size());
        EXPECT_GT(liveArenaSlabs(), before);
        for (std::size_t i = 0; i < reply.count(); ++i) {
            const std::string& record = records[i % records.size()];
            Value alone = json::objectFromJSONData("[" + record + "]")[0];
            Value value = reply[i];
            EXPECT_EQ(json::JSONData(value), json::JSONData(alone)) << record;
            if (value.isDictionary()) {
                EXPECT_EQ(value.asDictionary()->capacity(), alone.asDictionary()->capacity()) << record;
                EXPECT_EQ(value.asDictionary()->isMutable(), isMutable);
            } else {
                EXPECT_EQ(value.asArray()->capacity(), alone.asArray()->capacity()) << record;
                EXPECT_EQ(value.asArray()->isMutable(), isMutable);
            }
        }
    }
    EXPECT_EQ(liveArenaSlabs(), before);
}

} // namespace
