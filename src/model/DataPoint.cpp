#include "model/DataPoint.h"

#include "json/Dictionary.h"
#include "json/Serializer.h"

#include <atomic>
#include <cstdint>
#include <cstring>
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
    /// Made once, never moved nor changed: a shape is complete before the
    /// count that lets samples name it is raised.
    std::array<DataPoint::Shape, kMostShapes> g_shapes;
    std::atomic<std::size_t> g_shapeCount { 0 };

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

    /// The number (from 1) of the shape for these keys, made on first use;
    /// 0 when there are already as many shapes as are kept or a key cannot
    /// be written.
    std::uint8_t shapeFor(const std::array<std::string_view, DataPoint::kFlatMembers>& keys, std::size_t count)
    {
        // Consecutive samples of a reply nearly always share theirs.
        thread_local std::size_t last = 0;
        if (last && sameKeys(g_shapes[last - 1], keys, count))
            return static_cast<std::uint8_t>(last);
        static std::mutex mutex;
        std::lock_guard lock(mutex);
        std::size_t made = g_shapeCount.load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < made; ++i)
            if (sameKeys(g_shapes[i], keys, count))
                return static_cast<std::uint8_t>(last = i + 1);
        if (made >= kMostShapes)
            return 0;
        DataPoint::Shape& shape = g_shapes[made];
        for (std::size_t i = 0; i < count; ++i) {
            std::optional<std::string> text = json::JSONString(json::Value::string(keys[i]));
            if (!text)
                return 0;
            shape.keys[i] = std::string(keys[i]);
            shape.keyTexts[i] = std::move(*text);
        }
        shape.count = count;
        g_shapeCount.store(made + 1, std::memory_order_release);
        return static_cast<std::uint8_t>(last = made + 1);
    }

    bool isNumber(json::Kind kind)
    {
        return kind == json::Kind::Integer || kind == json::Kind::Unsigned || kind == json::Kind::Double;
    }

}

static_assert(sizeof(DataPoint) <= 56, "a graph holds tens of thousands");

DataPoint::DataPoint(json::Value point, platform::Date refDate)
    : m_point(std::move(point))
    , m_refDate(refDate)
{
    // Once every member is set: the time is read through them.
    m_timeInterval = getTimeInterval();
}

DataPoint DataPoint::flattened(const json::Value& point, platform::Date refDate)
{
    const json::Dictionary* record = point.isDictionary() ? point.asDictionary() : nullptr;
    if (!record || record->isMutable() || record->count() > kFlatMembers)
        return DataPoint(point, refDate);
    DataPoint flat;
    std::array<std::string_view, kFlatMembers> keys;
    std::size_t count = 0;
    std::size_t numbers = 0;
    // In slot order, the order the serializer writes them in.
    for (const json::Dictionary::Entry& entry : *record) {
        json::Kind kind = entry.object.kind();
        if (!entry.key.isString() || entry.object.isNone()
            || !(isNumber(kind) || kind == json::Kind::Boolean || kind == json::Kind::Null))
            return DataPoint(point, refDate);
        const auto* number = static_cast<const json::detail::NumberObject*>(entry.object.object());
        if (isNumber(kind)) {
            if (numbers == kFlatNumbers)
                return DataPoint(point, refDate);
            flat.m_numbers[numbers++] = number->u;
        } else if (kind == json::Kind::Boolean && number->u) {
            flat.m_booleans = static_cast<std::uint8_t>(flat.m_booleans | (1u << count));
        }
        keys[count] = entry.key.stringValue();
        flat.m_kinds[count] = kind;
        ++count;
    }
    flat.m_shape = shapeFor(keys, count);
    if (!flat.m_shape)
        return DataPoint(point, refDate);
    flat.m_refDate = refDate;
    flat.m_timeInterval = flat.getTimeInterval();
    return flat;
}

const DataPoint::Shape& DataPoint::shape() const
{
    return g_shapes[m_shape - 1u];
}

int DataPoint::memberSlot(std::string_view key) const
{
    const Shape& keys = shape();
    for (std::size_t i = 0; i < keys.count; ++i)
        if (keys.keys[i] == key)
            return static_cast<int>(i);
    return -1;
}

std::size_t DataPoint::numberIndex(std::size_t slot) const
{
    std::size_t index = 0;
    for (std::size_t i = 0; i < slot; ++i)
        index += isNumber(m_kinds[i]) ? 1 : 0;
    return index;
}

json::Value DataPoint::memberAt(std::size_t slot) const
{
    switch (m_kinds[slot]) {
    case json::Kind::Integer:
        return json::Value::integer(static_cast<std::int64_t>(m_numbers[numberIndex(slot)]));
    case json::Kind::Unsigned:
        return json::Value::unsignedInteger(m_numbers[numberIndex(slot)]);
    case json::Kind::Double: {
        double d;
        static_assert(sizeof d == sizeof m_numbers[0]);
        std::memcpy(&d, &m_numbers[numberIndex(slot)], sizeof d);
        return json::Value::number(d);
    }
    case json::Kind::Boolean:
        return json::Value::boolean((m_booleans >> slot) & 1u);
    default:
        return json::Value::null();
    }
}

json::Value DataPoint::point() const
{
    if (!m_shape)
        return m_point;
    const Shape& keys = shape();
    std::array<json::detail::Object*, kFlatMembers> keyObjects {};
    std::array<json::detail::Object*, kFlatMembers> objects {};
    std::array<std::uint32_t, kFlatMembers> hashes {};
    for (std::size_t i = 0; i < keys.count; ++i) {
        json::Value key = json::Value::string(keys.keys[i]);
        hashes[i] = json::detail::hashOf(key.object());
        keyObjects[i] = key.leak();
        objects[i] = memberAt(i).leak();
    }
    return json::Dictionary::create(keyObjects.data(), hashes.data(), objects.data(), keys.count, false);
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
    switch (m_kinds[slot]) {
    case json::Kind::Integer:
        return static_cast<double>(static_cast<std::int64_t>(m_numbers[numberIndex(slot)]));
    case json::Kind::Unsigned:
        return static_cast<double>(m_numbers[numberIndex(slot)]);
    case json::Kind::Double: {
        double d;
        std::memcpy(&d, &m_numbers[numberIndex(slot)], sizeof d);
        return d;
    }
    case json::Kind::Boolean:
        return (m_booleans >> slot) & 1u;
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
    const Shape& keys = shape();
    std::string text = "{";
    for (std::size_t i = 0; i < keys.count; ++i) {
        if (i)
            text += ',';
        text += keys.keyTexts[i];
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
