#include "json/JSON.h"
#include "json/ObjectStack.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <thread>

using json::Array;
using json::Dictionary;
using json::Value;

namespace {

template<typename E>
void expectThrowText(const std::function<void()>& action, const std::string& text, const char* name)
{
    try {
        action();
        ADD_FAILURE() << "no exception, expected: " << text;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), text);
        EXPECT_STREQ(e.name(), name);
    }
}

Value decodeMutable(std::string_view text)
{
    Value value = json::mutableObjectFromJSONData(text);
    EXPECT_TRUE(value) << text;
    return value;
}

} // namespace

TEST(Dictionary, CapacityFollowsTheTableWithTheLoadRule)
{
    struct Case {
        std::size_t count, capacity;
    };
    for (Case c : { Case { 0, 0 }, { 1, 3 }, { 2, 3 }, { 3, 3 }, { 4, 7 }, { 6, 7 }, { 7, 13 }, { 10, 13 }, { 11, 23 },
             { 18, 23 }, { 19, 41 }, { 100, 191 }, { 355000000, 472907251 } }) {
        EXPECT_EQ(Dictionary::capacityForCount(c.count), c.capacity) << "count " << c.count;
    }
}

TEST(Dictionary, EmptyDecodedDictionaryHasNoSlotsUntilMutated)
{
    Value value = json::objectFromJSONData("{}");
    Dictionary* dictionary = value.asDictionary();
    EXPECT_EQ(dictionary->capacity(), 0u);
    EXPECT_FALSE(dictionary->objectForKey("a"));
    EXPECT_FALSE(dictionary->keyEnumerator().nextObject());
    EXPECT_FALSE(dictionary->begin() != dictionary->end());

    Value mutableValue = decodeMutable("{}");
    mutableValue.asDictionary()->setObject(1, "a");
    EXPECT_EQ(mutableValue.asDictionary()->capacity(), 3u);
    EXPECT_EQ(mutableValue["a"].integerValue(), 1);
}

TEST(Dictionary, FullTableFindsEveryKeyAndMissesAbsentOnes)
{
    Value value = json::objectFromJSONData("{\"a\":1,\"b\":2,\"c\":3}");
    Dictionary* dictionary = value.asDictionary();
    EXPECT_EQ(dictionary->capacity(), 3u);
    EXPECT_EQ(dictionary->count(), 3u);
    EXPECT_EQ(dictionary->objectForKey("a").integerValue(), 1);
    EXPECT_EQ(dictionary->objectForKey(Value("c")).integerValue(), 3);
    EXPECT_FALSE(dictionary->objectForKey("d"));
    EXPECT_FALSE(dictionary->objectForKey(Value()));
}

TEST(Dictionary, GrowsAtTheTableBoundaries)
{
    Value value = decodeMutable("{\"a\":1,\"b\":2,\"c\":3}");
    Dictionary* dictionary = value.asDictionary();
    dictionary->setObject(4, "d");
    EXPECT_EQ(dictionary->capacity(), 7u);
    dictionary->setObject(5, "e");
    dictionary->setObject(6, "f");
    EXPECT_EQ(dictionary->capacity(), 7u);
    dictionary->setObject(7, "g");
    EXPECT_EQ(dictionary->capacity(), 13u);
    for (const char* key : { "a", "b", "c", "d", "e", "f", "g" })
        EXPECT_TRUE(dictionary->objectForKey(key)) << key;
    // Growth is decided on count + 1 even when the key is already present.
    Value six = decodeMutable("{\"a\":1,\"b\":2,\"c\":3,\"d\":4,\"e\":5,\"f\":6}");
    six.asDictionary()->setObject(9, "a");
    EXPECT_EQ(six.asDictionary()->capacity(), 13u);
    EXPECT_EQ(six.count(), 6u);
    EXPECT_EQ(six["a"].integerValue(), 9);
}

TEST(Dictionary, RemovalFromACollisionRunKeepsTheRestFindable)
{
    // Keys that all start probing at the same slot of a 23-slot table.
    std::vector<std::string> colliding;
    std::uint32_t target = json::detail::hashBytes("k0", 2) % 23;
    for (int i = 0; colliding.size() < 6; ++i) {
        std::string key = "k" + std::to_string(i);
        if (json::detail::hashBytes(key.data(), key.size()) % 23 == target)
            colliding.push_back(key);
    }
    Value value = Value::mutableDictionary();
    Dictionary* dictionary = value.asDictionary();
    for (int i = 0; i < 12; ++i)
        dictionary->setObject(i, "other" + std::to_string(i));
    for (std::size_t i = 0; i < colliding.size(); ++i)
        dictionary->setObject(static_cast<int>(i), colliding[i]);
    ASSERT_EQ(dictionary->capacity(), 23u);

    for (std::size_t removed : { std::size_t(1), std::size_t(0), std::size_t(4) }) {
        dictionary->removeObjectForKey(colliding[removed]);
        EXPECT_FALSE(dictionary->objectForKey(colliding[removed]));
        for (std::size_t i = 0; i < colliding.size(); ++i) {
            if (i == 0 || i == 1 || (i == 4 && removed == 4))
                continue;
            EXPECT_EQ(dictionary->objectForKey(colliding[i]).integerValue(), static_cast<std::int64_t>(i))
                << "after removing " << colliding[removed] << ", lost " << colliding[i];
        }
        for (int i = 0; i < 12; ++i)
            EXPECT_TRUE(dictionary->objectForKey("other" + std::to_string(i)));
    }
    EXPECT_EQ(dictionary->count(), 12u + colliding.size() - 3);
    // Removing an absent key changes nothing, not even the mutation count.
    std::uint32_t mutations = dictionary->mutations();
    dictionary->removeObjectForKey("absent");
    EXPECT_EQ(dictionary->mutations(), mutations);
}

TEST(Dictionary, IteratesInSlotOrderEverywhere)
{
    Value value = json::objectFromJSONData("{\"one\":1,\"two\":2,\"three\":3,\"four\":4,\"five\":5}");
    Dictionary* dictionary = value.asDictionary();
    std::vector<Value> keys(dictionary->count()), objects(dictionary->count());
    dictionary->getObjects(objects.data(), keys.data());
    auto enumerated = dictionary->keyEnumerator().allObjects();
    auto allKeys = dictionary->allKeys();
    ASSERT_EQ(enumerated.size(), 5u);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_TRUE(keys[i].isSameObject(enumerated[i]));
        EXPECT_TRUE(keys[i].isSameObject(allKeys[i]));
        EXPECT_TRUE(objects[i].isSameObject(dictionary->objectForKey(keys[i])));
    }
    json::DictionaryEnumerator enumerator = dictionary->keyEnumerator();
    enumerator.nextObject();
    EXPECT_EQ(enumerator.allObjects().size(), 4u);
    dictionary->getObjects(nullptr, keys.data());
}

TEST(Dictionary, MisuseRaisesWithItsText)
{
    Value immutable = json::objectFromJSONData("{\"a\":1}");
    expectThrowText<json::InternalInconsistencyException>([&] { immutable.asDictionary()->setObject(1, "b"); },
        "*** -[JCDictionary setObject:forKey:]: mutating method sent to immutable object",
        "NSInternalInconsistencyException");
    expectThrowText<json::InternalInconsistencyException>(
        [&] { immutable.asDictionary()->removeObjectForKey(Value()); },
        "*** -[JCDictionary removeObjectForKey:]: mutating method sent to immutable object",
        "NSInternalInconsistencyException");

    Value value = decodeMutable("{\"a\":1}");
    Dictionary* dictionary = value.asDictionary();
    expectThrowText<json::InvalidArgumentException>([&] { dictionary->setObject(1, Value()); },
        "*** -[JCDictionary setObject:forKey:]: attempt to insert nil key", "NSInvalidArgumentException");
    expectThrowText<json::InvalidArgumentException>([&] { dictionary->setObject(Value(), "k"); },
        "*** -[JCDictionary setObject:forKey:]: attempt to insert nil value (key: k)", "NSInvalidArgumentException");
    expectThrowText<json::InvalidArgumentException>([&] { dictionary->removeObjectForKey(Value()); },
        "*** -[JCDictionary removeObjectForKey:]: attempt to remove nil key", "NSInvalidArgumentException");
}

TEST(Dictionary, CopiesOfImmutableDictionariesAreTheSameObject)
{
    Value immutable = json::objectFromJSONData("{\"a\":1}");
    EXPECT_TRUE(immutable.copy().isSameObject(immutable));
    Value mutableValue = decodeMutable("{\"a\":1}");
    Value copy = mutableValue.copy();
    EXPECT_FALSE(copy.isSameObject(mutableValue));
    EXPECT_FALSE(copy.asDictionary()->isMutable());
    EXPECT_EQ(copy, mutableValue);
    Value mutableCopy = immutable.mutableCopy();
    EXPECT_TRUE(mutableCopy.asDictionary()->isMutable());
    mutableCopy.asDictionary()->setObject(2, "b");
    EXPECT_EQ(immutable.count(), 1u);
}

TEST(Array, MisuseRaisesWithItsTextInOrder)
{
    Value immutable = json::objectFromJSONData("[1,2]");
    Array* array = immutable.asArray();
    // Mutability is tested before the index.
    expectThrowText<json::InternalInconsistencyException>([&] { array->insertObject(Value(), 99); },
        "*** -[JCArray insertObject:atIndex:]: mutating method sent to immutable object",
        "NSInternalInconsistencyException");
    expectThrowText<json::InternalInconsistencyException>([&] { array->removeObjectAtIndex(0); },
        "*** -[JCArray removeObjectAtIndex:]: mutating method sent to immutable object",
        "NSInternalInconsistencyException");
    expectThrowText<json::InternalInconsistencyException>([&] { array->replaceObjectAtIndex(0, 1); },
        "*** -[JCArray replaceObjectAtIndex:withObject:]: mutating method sent to immutable object",
        "NSInternalInconsistencyException");
    expectThrowText<json::RangeException>([&] { array->objectAtIndex(2); },
        "*** -[JCArray objectAtIndex:]: index (2) beyond bounds (2)", "NSRangeException");
    Value buffer[2];
    expectThrowText<json::RangeException>([&] { array->getObjects(nullptr, 0, 1); },
        "*** -[JCArray getObjects:range:]: pointer to objects array is NULL but range length is 1", "NSRangeException");
    expectThrowText<json::RangeException>([&] { array->getObjects(buffer, 1, 2); },
        "*** -[JCArray getObjects:range:]: index (3) beyond bounds (2)", "NSRangeException");
    array->getObjects(nullptr, 0, 0);
    array->getObjects(buffer, 0, 2);
    EXPECT_EQ(buffer[1].integerValue(), 2);

    Value value = decodeMutable("[1,2,3,4,5]");
    Array* mutableArray = value.asArray();
    expectThrowText<json::InvalidArgumentException>([&] { mutableArray->insertObject(Value(), 99); },
        "*** -[JCArray insertObject:atIndex:]: attempt to insert nil", "NSInvalidArgumentException");
    expectThrowText<json::RangeException>([&] { mutableArray->insertObject(6, 6); },
        "*** -[JCArray insertObject:atIndex:]: index (6) beyond bounds (6)", "NSRangeException");
    expectThrowText<json::RangeException>([&] { mutableArray->removeObjectAtIndex(5); },
        "*** -[JCArray removeObjectAtIndex:]: index (5) beyond bounds (5)", "NSRangeException");
    expectThrowText<json::InvalidArgumentException>([&] { mutableArray->replaceObjectAtIndex(0, Value()); },
        "*** -[JCArray replaceObjectAtIndex:withObject:]: attempt to insert nil", "NSInvalidArgumentException");
    expectThrowText<json::RangeException>([&] { mutableArray->replaceObjectAtIndex(5, 1); },
        "*** -[JCArray replaceObjectAtIndex:withObject:]: index (5) beyond bounds (5)", "NSRangeException");
}

TEST(Array, MutationsMoveElementsAndGrowBySixteen)
{
    Value value = decodeMutable("[1,2,3,4,5]");
    Array* array = value.asArray();
    EXPECT_EQ(array->capacity(), 5u);
    EXPECT_EQ(array->mutations(), 1u);
    array->insertObject(6, 5);
    EXPECT_EQ(array->capacity(), 21u);
    array->insertObject(0, 0);
    array->removeObjectAtIndex(3);
    array->replaceObjectAtIndex(1, "one");
    std::vector<std::string> texts;
    for (const Value& element : *array)
        texts.push_back(
            element.isString() ? std::string(element.stringValue()) : std::to_string(element.integerValue()));
    EXPECT_EQ(texts, (std::vector<std::string> { "0", "one", "2", "4", "5", "6" }));
    EXPECT_EQ(array->mutations(), 5u);
    EXPECT_EQ(array->capacity(), 21u) << "the block never shrinks";
    // Fill up to the edge of the block: growth starts when one slot would be left.
    while (array->count() < 20)
        array->addObject(Value::null());
    EXPECT_EQ(array->capacity(), 21u);
    array->addObject(Value::null());
    EXPECT_EQ(array->capacity(), 37u);
}

TEST(Array, CopiesOfImmutableArraysAreTheSameObject)
{
    Value immutable = json::objectFromJSONData("[1]");
    EXPECT_TRUE(immutable.copy().isSameObject(immutable));
    Value mutableCopy = immutable.mutableCopy();
    mutableCopy.asArray()->addObject(2);
    EXPECT_EQ(immutable.count(), 1u);
    EXPECT_EQ(mutableCopy.count(), 2u);
    Value back = mutableCopy.copy();
    EXPECT_FALSE(back.asArray()->isMutable());
    EXPECT_EQ(back, mutableCopy);
}

TEST(ObjectStack, MovesToTheHeapInMultiplesOf2048)
{
    using json::detail::ObjectStack;
    json::detail::Object* objects[ObjectStack::kFrameEntries];
    json::detail::Object* keys[ObjectStack::kFrameEntries];
    std::uint32_t hashes[ObjectStack::kFrameEntries];
    ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries);
    std::vector<std::size_t> counts;
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(stack.ensureRoom());
        if (counts.empty() || counts.back() != stack.count())
            counts.push_back(stack.count());
        stack.push(Value(i).leak());
    }
    EXPECT_EQ(counts, (std::vector<std::size_t> { 1024, 2048, 4096, 6144 }));
    EXPECT_TRUE(stack.isOnHeap());
    stack.releaseRange(10);
    EXPECT_EQ(stack.index(), 10u);
}

TEST(ObjectStack, AStackGrownBeforeOnThisThreadGrowsTheSameWayWithItsValuesInPlace)
{
    using json::detail::ObjectStack;
    json::detail::Object* objects[ObjectStack::kFrameEntries];
    json::detail::Object* keys[ObjectStack::kFrameEntries];
    std::uint32_t hashes[ObjectStack::kFrameEntries];
    for (int round = 0; round < 3; ++round) {
        ObjectStack stack(objects, keys, hashes, ObjectStack::kFrameEntries);
        std::vector<std::size_t> counts;
        const int pushes = round == 1 ? 9000 : 5000;
        for (int i = 0; i < pushes; ++i) {
            ASSERT_TRUE(stack.ensureRoom());
            if (counts.empty() || counts.back() != stack.count())
                counts.push_back(stack.count());
            if (i % 2) {
                stack.push(Value(i).leak());
            } else {
                std::size_t entry = stack.reserveEntry();
                stack.keyAt(entry) = Value("key " + std::to_string(i)).leak();
                stack.keyHashAt(entry) = static_cast<std::uint32_t>(i);
                stack.objectAt(entry) = Value(i).leak();
            }
        }
        if (round == 1)
            EXPECT_EQ(counts, (std::vector<std::size_t> { 1024, 2048, 4096, 6144, 8192, 10240 }));
        else
            EXPECT_EQ(counts, (std::vector<std::size_t> { 1024, 2048, 4096, 6144 }));
        for (int i = 0; i < pushes; ++i) {
            ASSERT_EQ(static_cast<json::detail::NumberObject*>(stack.objectAt(i))->i, i);
            if (i % 2 == 0) {
                auto* key = static_cast<json::detail::StringObject*>(stack.keyAt(i));
                EXPECT_EQ(std::string(key->bytes(), key->length), "key " + std::to_string(i));
                EXPECT_EQ(stack.keyHashesFrom(0)[i], static_cast<std::uint32_t>(i));
            } else {
                EXPECT_EQ(stack.keyAt(i), nullptr);
            }
        }
    }
}

TEST(Value, HandlesShareObjectsAndCompareByContent)
{
    Value a = json::objectFromJSONData("{\"list\":[1,2.5,\"x\",true,null],\"n\":100}");
    Value b = json::objectFromJSONData("{\"n\":100.0,\"list\":[1,2.5,\"x\",true,null]}");
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a == json::objectFromJSONData("{\"n\":101,\"list\":[1,2.5,\"x\",true,null]}"));
    EXPECT_FALSE(Value(true) == Value(1));
    EXPECT_EQ(Value(-1), Value(-1.0));
    EXPECT_FALSE(Value(static_cast<unsigned long long>(UINT64_MAX)) == Value(-1));
    Value copy = a["list"];
    EXPECT_TRUE(copy.isSameObject(a["list"]));
    EXPECT_TRUE(Value(true).isSameObject(Value::boolean(true)));
    EXPECT_TRUE(Value("").isSameObject(Value::emptyString()));
    EXPECT_EQ(a["missing"].isNone(), true);
    EXPECT_TRUE(a["list"][7].isNone());
    EXPECT_EQ(Value("42.5kW").doubleValue(), 42.5);
    EXPECT_EQ(Value(" 17").integerValue(), 17);
    EXPECT_TRUE(Value("YES").boolValue());
    EXPECT_FALSE(Value("0").boolValue());
}

TEST(Value, ValuesMayBeReleasedOnAnotherThread)
{
    // Objects decoded here are released by other threads, whose memory lists
    // are handed back when they end; everything stays usable afterwards.
    for (int round = 0; round < 3; ++round) {
        std::vector<Value> values;
        for (int i = 0; i < 200; ++i)
            values.push_back(json::objectFromJSONData(
                "{\"id\":\"d" + std::to_string(i) + "\",\"w\":[1.5," + std::to_string(i) + "]}"));
        std::thread worker([moved = std::move(values)]() mutable {
            Value made = json::objectFromJSONData("[\"made on the worker\",2.5]");
            moved.clear();
            EXPECT_EQ(made[0].stringValue(), "made on the worker");
        });
        worker.join();
        Value after = json::objectFromJSONData("[\"after\",3.5,{\"k\":[]}]");
        EXPECT_EQ(after[0].stringValue(), "after");
        EXPECT_EQ(after[1].doubleValue(), 3.5);
    }
}
