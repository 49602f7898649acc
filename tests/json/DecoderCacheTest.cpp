// Which strings and numbers share one object is visible to callers, so the
// decoder's shortcuts (keys repeated from the record before, counts kept by
// the cache while a decode runs) must give exactly the sharing that the
// plain cache algorithm gives. A model of that algorithm, run over the same
// tokens, says which objects must be the same.
#include "json/JSON.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using json::Decoder;
using json::Error;
using json::Value;

namespace {

// One string or number token as the cache sees it.
struct Scalar {
    enum Type : std::uint8_t { String = 5, Signed = 7, Unsigned = 11, Double = 13 };
    Type type;
    std::string bytes; // strings: the unescaped bytes
    std::uint64_t bits; // numbers: the value's eight bytes
};

std::uint32_t stringHash(const std::string& bytes, std::uint32_t h = 1402737925u)
{
    for (unsigned char c : bytes)
        h = h * 33u + c;
    return h;
}

std::uint32_t hashOf(const Scalar& s)
{
    if (s.type == Scalar::String)
        return stringHash(s.bytes);
    std::uint32_t h = 1402737925u + s.type;
    if (s.type != Scalar::Double)
        h += static_cast<std::uint32_t>(s.bits);
    for (int i = 0; i < 8; ++i)
        h = h * 33u + static_cast<unsigned char>(s.bits >> (8 * i));
    return h;
}

// The value cache as described: 1024 slots, four probes, age bytes and the
// shift register. Objects are numbered; a number is handed out again on a hit.
class CacheModel {
public:
    int objectFor(const Scalar& s)
    {
        if (s.type == Scalar::String && s.bytes.empty())
            return kEmptyString;
        const std::uint32_t hash = hashOf(s);
        const std::uint32_t size = s.type == Scalar::String ? static_cast<std::uint32_t>(s.bytes.size()) : 8;
        std::uint32_t bucket = hash & 1023;
        int chosen = -1;
        for (std::uint32_t x = 0; x < 4; ++x) {
            Slot& slot = m_slots[bucket];
            if (slot.id == 0) {
                if (chosen < 0)
                    chosen = static_cast<int>(bucket);
                break;
            }
            if (slot.hash == hash && slot.size == size && slot.token.type == s.type && slot.token.bytes == s.bytes
                && slot.token.bits == s.bits) {
                m_ages[bucket] = static_cast<std::uint8_t>(m_ages[bucket] * 2 + 1);
                return slot.id;
            }
            if (chosen < 0) {
                if (m_ages[bucket] == 0) {
                    chosen = static_cast<int>(bucket);
                } else {
                    m_ages[bucket] >>= 1;
                    ageStep();
                    ageStep();
                }
            }
            bucket = (hash + (x + 1) * (size + s.type + 3)) & 1023;
        }
        const int id = ++m_lastId;
        if (chosen >= 0) {
            m_slots[chosen] = Slot { id, hash, size, s };
            m_ages[chosen] = 0;
        }
        return id;
    }

    void clear()
    {
        for (auto& slot : m_slots)
            slot = Slot {};
        for (auto& age : m_ages)
            age = 0;
    }

    static constexpr int kEmptyString = -1;

private:
    void ageStep()
    {
        const bool out = m_lfsr & 1u;
        m_lfsr >>= 1;
        if (out)
            m_lfsr ^= 0x80200003u;
        m_ages[m_lfsr & 1023] >>= 1;
    }

    struct Slot {
        int id = 0;
        std::uint32_t hash = 0;
        std::uint32_t size = 0;
        Scalar token {};
    };
    Slot m_slots[1024];
    std::uint8_t m_ages[1024] {};
    std::uint32_t m_lfsr = 1;
    int m_lastId = 0;
};

// A token with its text in the document.
struct Token {
    std::string text;
    Scalar scalar;
};

Token stringToken(const std::string& bytes, std::string text = {})
{
    return { text.empty() ? "\"" + bytes + "\"" : text, { Scalar::String, bytes, 0 } };
}

Token numberToken(std::int64_t n)
{
    if (n < 0)
        return { std::to_string(n), { Scalar::Signed, {}, static_cast<std::uint64_t>(n) } };
    return { std::to_string(n), { Scalar::Unsigned, {}, static_cast<std::uint64_t>(n) } };
}

Token doubleToken(const std::string& text)
{
    return { text, { Scalar::Double, {}, std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr)) } };
}

struct Record {
    std::vector<std::pair<Token, Token>> pairs;
};

// Records that mostly repeat their keys in the same order, with the cases
// that must not be taken for a repeat: a key one byte longer or shorter, a
// last byte changed, the same key escaped, white space, keys evicted from the
// cache by bursts of new strings, and duplicate keys.
std::vector<Record> makeRecords(std::mt19937& random, int count)
{
    const std::vector<Token> keys = {
        stringToken("timestamp"),
        stringToken("powerDraw"),
        stringToken("id"),
        stringToken("a"),
        stringToken("ab"),
        stringToken("abc"),
        stringToken("timestampX"),
        stringToken("timestamq"),
        stringToken("a rather long key of thirty bytes"),
        stringToken("cl\xC3\xA9"),
        stringToken("name", "\"n\\u0061me\""),
        stringToken("name"),
        stringToken(""),
    };
    const std::vector<std::size_t> usual = { 0, 1, 2, 11 };
    std::vector<Record> records;
    for (int r = 0; r < count; ++r) {
        Record record;
        std::vector<std::size_t> order = usual;
        switch (random() % 12) {
        case 0:
            std::swap(order[0], order[1]);
            break;
        case 1:
            order[random() % order.size()] = random() % keys.size();
            break;
        case 2:
            order.push_back(random() % keys.size()); // perhaps a duplicate
            break;
        case 3:
            order.pop_back();
            break;
        default:
            break;
        }
        for (std::size_t k : order) {
            Token value;
            switch (random() % 6) {
            case 0:
                value = numberToken(static_cast<std::int64_t>(random() % 50));
                break;
            case 1:
                value = numberToken(-static_cast<std::int64_t>(random() % 5000));
                break;
            case 2:
                value = doubleToken(std::to_string(random() % 40) + "." + std::to_string(random() % 10));
                break;
            case 3:
                value = stringToken("v" + std::to_string(random() % (r % 50 == 0 ? 3000 : 30)));
                break;
            case 4:
                value = numberToken(1764547200000 + static_cast<std::int64_t>(r) * 60000);
                break;
            default:
                value = keys[random() % keys.size()];
                break;
            }
            record.pairs.push_back({ keys[k], value });
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::string render(const std::vector<Record>& records, std::mt19937& random)
{
    std::string text = "[";
    for (std::size_t r = 0; r < records.size(); ++r) {
        text += r ? "," : "";
        text += "{";
        for (std::size_t p = 0; p < records[r].pairs.size(); ++p) {
            if (p)
                text += random() % 16 == 0 ? " , " : ",";
            text += records[r].pairs[p].first.text + ":" + records[r].pairs[p].second.text;
        }
        text += "}";
    }
    return text + "]";
}

// Checks that objects are shared exactly where the model shares them.
class SharingCheck {
public:
    void expect(int modelId, const Value& value, const std::string& where)
    {
        if (modelId == CacheModel::kEmptyString) {
            EXPECT_TRUE(value.isSameObject(Value::emptyString())) << where;
            return;
        }
        const void* object = value.object();
        auto [byId, newId] = m_objectForId.emplace(modelId, object);
        auto [byObject, newObject] = m_idForObject.emplace(object, modelId);
        EXPECT_EQ(byId->second, object) << where << ": the model shares this object with an earlier token";
        EXPECT_EQ(byObject->second, modelId) << where << ": the model makes a new object here";
        m_kept.push_back(value); // keeps every object alive, so addresses stay distinct
    }

private:
    std::map<int, const void*> m_objectForId;
    std::map<const void*, int> m_idForObject;
    std::vector<Value> m_kept;
};

// Runs the model over one decode's tokens and compares the decoded records.
void checkDecode(const Value& decoded, const std::vector<Record>& records, CacheModel& model, SharingCheck& check)
{
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded.count(), records.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        const Value& dictionary = decoded[r];
        // The model runs in document order; a duplicate key's earlier pair is not in the result.
        std::map<std::string, std::pair<int, int>> expected;
        for (const auto& [key, value] : records[r].pairs) {
            const int keyId = model.objectFor(key.scalar);
            const int valueId = model.objectFor(value.scalar);
            auto [it, inserted] = expected.emplace(key.scalar.bytes, std::make_pair(keyId, valueId));
            if (!inserted)
                it->second.second = valueId; // the later value replaces; the earlier key stays
        }
        ASSERT_EQ(dictionary.count(), expected.size()) << "record " << r;
        for (const auto& entry : *dictionary.asDictionary()) {
            auto it = expected.find(std::string(entry.key.stringValue()));
            ASSERT_NE(it, expected.end());
            const std::string where = "record " + std::to_string(r) + " key " + it->first;
            check.expect(it->second.first, entry.key, where);
            check.expect(it->second.second, entry.object, where + " (value)");
        }
    }
}

TEST(DecoderCache, SharingIsExactlyThatOfTheCacheAlgorithmInOneDecode)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        const auto records = makeRecords(random, 3000);
        const std::string text = render(records, random);
        CacheModel model;
        SharingCheck check;
        checkDecode(json::objectFromJSONData(text), records, model, check);
        if (HasFatalFailure() || HasFailure())
            FAIL() << "seed " << seed;
    }
}

TEST(DecoderCache, SharingCarriesAcrossDecodesOfOneDecoderUntilCleared)
{
    std::mt19937 random(77);
    Decoder decoder;
    CacheModel model;
    SharingCheck check;
    for (int decode = 0; decode < 4; ++decode) {
        const auto records = makeRecords(random, 400);
        checkDecode(decoder.objectWithData(render(records, random)), records, model, check);
    }
    decoder.clearCache();
    model.clear();
    const auto records = makeRecords(random, 400);
    checkDecode(decoder.objectWithData(render(records, random)), records, model, check);
}

TEST(DecoderCache, DuplicateKeysAmidRepeatedRecordsKeepEveryValueReadable)
{
    // The duplicate's earlier pair is released while the decode runs: from
    // then on the decode counts as it goes, and later records still decode.
    std::string text = "[";
    for (int i = 0; i < 300; ++i)
        text += std::string(i ? "," : "") + "{\"t\":" + std::to_string(i) + ",\"w\":\"s" + std::to_string(i % 7) + "\""
            + (i == 150 ? ",\"t\":-1,\"w\":\"x\"" : "") + "}";
    text += "]";
    Value value = json::objectFromJSONData(text);
    ASSERT_TRUE(value);
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(value[i]["t"].integerValue(), i == 150 ? -1 : i);
        EXPECT_EQ(value[i]["w"].stringValue(), i == 150 ? "x" : "s" + std::to_string(i % 7));
    }
    EXPECT_TRUE(value[10]["w"].isSameObject(value[17]["w"]));
}

TEST(DecoderCache, FailedDecodesAfterRepeatedRecordsLeaveTheDecoderUsable)
{
    std::string records;
    for (int i = 0; i < 200; ++i)
        records
            += std::string(i ? "," : "") + "{\"k\":\"v" + std::to_string(i % 5) + "\",\"n\":" + std::to_string(i) + "}";
    Decoder decoder;
    for (const std::string& bad : { "[" + records, "[" + records + "] x", "[" + records + ",{\"k\":}]" }) {
        Error error;
        EXPECT_FALSE(decoder.objectWithData(bad, &error)) << bad.substr(bad.size() - 10);
        EXPECT_FALSE(error.description.empty());
    }
    Value good = decoder.objectWithData("[" + records + "]");
    ASSERT_TRUE(good);
    EXPECT_EQ(good[199]["n"].integerValue(), 199);
    EXPECT_TRUE(good[0]["k"].isSameObject(good[5]["k"]));
}

TEST(DecoderCache, PartsOfAReplyOutliveItOnAnotherThread)
{
    std::string text = "[";
    for (int i = 0; i < 2000; ++i)
        text += std::string(i ? "," : "") + "{\"id\":\"d" + std::to_string(i % 40)
            + "\",\"watts\":" + std::to_string(i % 13) + ".5}";
    text += "]";
    Decoder decoder;
    Value first = decoder.objectWithData(text);
    std::vector<Value> kept;
    for (int i = 0; i < 2000; i += 3)
        kept.push_back(first[i]);
    std::thread other([parts = std::move(kept)]() mutable {
        double sum = 0;
        for (const Value& part : parts)
            sum += part["watts"].doubleValue();
        EXPECT_GT(sum, 0);
        parts.clear();
    });
    first = Value();
    Value second = decoder.objectWithData(text);
    other.join();
    ASSERT_TRUE(second);
    EXPECT_EQ(second[1999]["id"].stringValue(), "d39");
}

} // namespace
