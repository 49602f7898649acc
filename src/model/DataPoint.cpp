#include "model/DataPoint.h"

#include "json/Dictionary.h"
#include "json/Serializer.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>

namespace hestio {

struct DataPoint::Shape {
    std::size_t count { 0 };
    std::array<std::string, kFlatMembers> keys;
    /// Each key as the serializer writes it, quotes and escapes included.
    std::array<std::string, kFlatMembers> keyTexts;
};

namespace {

    /// Records from a service come in a handful of shapes; a sample of yet
    /// another shape past this many is kept whole rather than adding one.
    constexpr std::size_t kMostShapes = 64;

    bool sameKeys(const DataPoint::Shape& shape, const std::array<std::string_view, DataPoint::kFlatMembers>& keys,
        std::size_t count)
    {
        if (shape.count != count)
            return false;
        for (std::size_t i = 0; i < count; ++i)
            if (shape.keys[i] != keys[i])
                return false;
        return true;
    }

    /// The shape for these keys, made on first use; null when there are
    /// already as many shapes as are kept or a key cannot be written.
    const DataPoint::Shape* shapeFor(
        const std::array<std::string_view, DataPoint::kFlatMembers>& keys, std::size_t count)
    {
        // Consecutive samples of a reply nearly always share theirs.
        thread_local const DataPoint::Shape* last = nullptr;
        if (last && sameKeys(*last, keys, count))
            return last;
        static std::mutex mutex;
        static std::deque<DataPoint::Shape> shapes; // never moved: samples point into it
        std::lock_guard lock(mutex);
        for (const DataPoint::Shape& shape : shapes)
            if (sameKeys(shape, keys, count))
                return last = &shape;
        if (shapes.size() >= kMostShapes)
            return nullptr;
        DataPoint::Shape shape;
        shape.count = count;
        for (std::size_t i = 0; i < count; ++i) {
            shape.keys[i] = std::string(keys[i]);
            std::optional<std::string> text = json::JSONString(json::Value::string(keys[i]));
            if (!text)
                return nullptr;
            shape.keyTexts[i] = std::move(*text);
        }
        shapes.push_back(std::move(shape));
        return last = &shapes.back();
    }

}

DataPoint::DataPoint(json::Value point, platform::Date refDate)
    : m_point(std::move(point))
    , m_refDate(refDate)
    , m_timeInterval(getTimeInterval())
{
}

DataPoint DataPoint::flattened(const json::Value& point, platform::Date refDate)
{
    const json::Dictionary* record = point.isDictionary() ? point.asDictionary() : nullptr;
    if (!record || record->isMutable() || record->count() > kFlatMembers)
        return DataPoint(point, refDate);
    DataPoint flat;
    std::array<std::string_view, kFlatMembers> keys;
    std::size_t count = 0;
    // In slot order, the order the serializer writes them in.
    for (const json::Dictionary::Entry& entry : *record) {
        json::Kind kind = entry.object.kind();
        if (!entry.key.isString() || entry.object.isNone()
            || !(entry.object.isNumber() || kind == json::Kind::Boolean || kind == json::Kind::Null))
            return DataPoint(point, refDate);
        keys[count] = entry.key.stringValue();
        flat.m_kinds[count] = kind;
        if (kind != json::Kind::Null)
            flat.m_bits[count] = static_cast<const json::detail::NumberObject*>(entry.object.object())->u;
        ++count;
    }
    flat.m_shape = shapeFor(keys, count);
    if (!flat.m_shape)
        return DataPoint(point, refDate);
    flat.m_refDate = refDate;
    flat.m_timeInterval = flat.getTimeInterval();
    return flat;
}

int DataPoint::memberSlot(std::string_view key) const
{
    for (std::size_t i = 0; i < m_shape->count; ++i)
        if (m_shape->keys[i] == key)
            return static_cast<int>(i);
    return -1;
}

json::Value DataPoint::memberAt(std::size_t slot) const
{
    std::uint64_t bits = m_bits[slot];
    switch (m_kinds[slot]) {
    case json::Kind::Integer:
        return json::Value::integer(static_cast<std::int64_t>(bits));
    case json::Kind::Unsigned:
        return json::Value::unsignedInteger(bits);
    case json::Kind::Double: {
        double d;
        static_assert(sizeof d == sizeof bits);
        std::memcpy(&d, &bits, sizeof d);
        return json::Value::number(d);
    }
    case json::Kind::Boolean:
        return json::Value::boolean(bits != 0);
    default:
        return json::Value::null();
    }
}

json::Value DataPoint::point() const
{
    if (!m_shape)
        return m_point;
    std::array<json::detail::Object*, kFlatMembers> keys {};
    std::array<json::detail::Object*, kFlatMembers> objects {};
    std::array<std::uint32_t, kFlatMembers> hashes {};
    for (std::size_t i = 0; i < m_shape->count; ++i) {
        json::Value key = json::Value::string(m_shape->keys[i]);
        hashes[i] = json::detail::hashOf(key.object());
        keys[i] = key.leak();
        objects[i] = memberAt(i).leak();
    }
    return json::Dictionary::create(keys.data(), hashes.data(), objects.data(), m_shape->count, false);
}

json::Value DataPoint::member(std::string_view key) const
{
    if (!m_shape)
        return m_point[key];
    int slot = memberSlot(key);
    return slot < 0 ? json::Value() : memberAt(static_cast<std::size_t>(slot));
}

double DataPoint::doubleMember(std::string_view key) const
{
    if (!m_shape)
        return m_point[key].doubleValue();
    int found = memberSlot(key);
    if (found < 0)
        return 0;
    auto slot = static_cast<std::size_t>(found);
    std::uint64_t bits = m_bits[slot];
    switch (m_kinds[slot]) {
    case json::Kind::Integer:
        return static_cast<double>(static_cast<std::int64_t>(bits));
    case json::Kind::Unsigned:
    case json::Kind::Boolean:
        return static_cast<double>(bits);
    case json::Kind::Double: {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default:
        return 0;
    }
}

double DataPoint::getTimeInterval() const
{
    json::Value timestamp = member("timestamp");
    json::Value time = timestamp.isNone() ? member("from") : timestamp;
    std::int64_t milliseconds = time.integerValue();
    // Whole seconds only: integer division drops the milliseconds toward zero.
    auto seconds = static_cast<double>(milliseconds / 1000);
    return platform::Date(seconds).timeIntervalSince(m_refDate);
}

std::string DataPoint::description() const
{
    if (!m_shape)
        return json::JSONString(m_point).value_or(std::string());
    // As the serializer writes the record: its members in slot order.
    std::string text = "{";
    for (std::size_t i = 0; i < m_shape->count; ++i) {
        if (i)
            text += ',';
        text += m_shape->keyTexts[i];
        text += ':';
        // A lone number is no document: written as an array's one element.
        std::optional<std::string> value = json::JSONString(json::Value::array({ memberAt(i) }));
        if (!value)
            return {}; // a value the serializer refuses (not finite) fails the whole text
        text.append(*value, 1, value->size() - 2);
    }
    return text + "}";
}

}
