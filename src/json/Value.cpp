#include "json/Value.h"

#include "json/Array.h"
#include "json/Dictionary.h"
#include "json/Exceptions.h"
#include "json/ObjectMemory.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace json {

namespace detail {

    StringObject emptyStringConstant { { { 0 }, Kind::String, true }, kStringHashSeed, 0 };
    NumberObject trueConstant { { { 0 }, Kind::Boolean, true }, { 1 } };
    NumberObject falseConstant { { { 0 }, Kind::Boolean, true }, { 0 } };
    Object nullConstant { { 0 }, Kind::Null, true };

    StringObject* makeString(const char* bytes, std::size_t length, std::uint32_t hash)
    {
        std::uint8_t sizeClass;
        auto* s = static_cast<StringObject*>(allocateObjectInline(sizeof(StringObject) + length + 1, sizeClass));
        setUpHeader(s, Kind::String, sizeClass);
        s->hash = hash;
        s->length = length;
        std::memcpy(s->bytes(), bytes, length);
        s->bytes()[length] = '\0';
        return s;
    }

    void destroy(Object* object) noexcept
    {
        switch (object->kind) {
        case Kind::String:
        case Kind::Integer:
        case Kind::Unsigned:
        case Kind::Double:
            freeObject(object, object->sizeClass);
            break;
        case Kind::Array:
        case Kind::Dictionary: {
            ArenaSlab* wholeTree = object->sizeClass == kArenaClass ? takeWholeTree(object) : nullptr;
            if (wholeTree && releaseTreeWhole(wholeTree))
                break;
            if (object->kind == Kind::Array)
                static_cast<Array*>(object)->destroy();
            else
                static_cast<Dictionary*>(object)->destroy();
            if (wholeTree)
                endWholeTree(wholeTree);
            break;
        }
        case Kind::Opaque:
            delete static_cast<OpaqueObject*>(object);
            break;
        case Kind::Boolean:
        case Kind::Null:
            break;
        }
    }

    namespace {

        std::uint32_t mix64(std::uint64_t bits) noexcept
        {
            bits ^= bits >> 33;
            bits *= 0xff51afd7ed558ccdULL;
            bits ^= bits >> 33;
            return static_cast<std::uint32_t>(bits);
        }

        // Numbers compare by value whatever their representation, so 100 and
        // 100.0 are equal (a double written without a fraction reads back as an integer).
        bool numbersEqual(const NumberObject* a, const NumberObject* b) noexcept
        {
            if (a->kind == Kind::Double && b->kind == Kind::Double)
                return a->d == b->d;
            if (a->kind == Kind::Double || b->kind == Kind::Double) {
                const NumberObject* d = a->kind == Kind::Double ? a : b;
                const NumberObject* n = a->kind == Kind::Double ? b : a;
                double x = d->d;
                if (!(x == std::floor(x)) || x < -9223372036854775808.0 || x >= 18446744073709551616.0)
                    return false;
                if (n->kind == Kind::Integer)
                    return x < 9223372036854775808.0 && static_cast<std::int64_t>(x) == n->i;
                return x >= 0 && static_cast<std::uint64_t>(x) == n->u;
            }
            if (a->kind == b->kind)
                return a->u == b->u;
            const NumberObject* s = a->kind == Kind::Integer ? a : b;
            const NumberObject* u = a->kind == Kind::Integer ? b : a;
            return s->i >= 0 && static_cast<std::uint64_t>(s->i) == u->u;
        }

        std::uint32_t numberHash(const NumberObject* n) noexcept
        {
            if (n->kind != Kind::Double)
                return mix64(n->u);
            double x = n->d;
            if (x == std::floor(x) && x >= -9223372036854775808.0 && x < 18446744073709551616.0) {
                if (x < 9223372036854775808.0)
                    return mix64(static_cast<std::uint64_t>(static_cast<std::int64_t>(x)));
                return mix64(static_cast<std::uint64_t>(x));
            }
            std::uint64_t bits;
            std::memcpy(&bits, &x, sizeof bits);
            return mix64(bits ^ 0x9e3779b97f4a7c15ULL);
        }

    } // namespace

    std::uint32_t hashOf(const Object* object) noexcept
    {
        switch (object->kind) {
        case Kind::String:
            return static_cast<const StringObject*>(object)->hash;
        case Kind::Integer:
        case Kind::Unsigned:
        case Kind::Double:
            return numberHash(static_cast<const NumberObject*>(object));
        case Kind::Boolean:
            return static_cast<const NumberObject*>(object)->u ? 0x51ED270Bu : 0x2C1B3C6Du;
        case Kind::Null:
            return 0x7F4A7C15u;
        case Kind::Array:
            return static_cast<std::uint32_t>(static_cast<const Array*>(object)->count()) * 0x9E3779B1u;
        case Kind::Dictionary:
            return static_cast<std::uint32_t>(static_cast<const Dictionary*>(object)->count()) * 0x85EBCA77u;
        case Kind::Opaque:
            return mix64(reinterpret_cast<std::uintptr_t>(static_cast<const OpaqueObject*>(object)->payload.get()));
        }
        return 0;
    }

    bool isEqual(const Object* a, const Object* b) noexcept
    {
        if (a == b)
            return true;
        auto isNumeric = [](Kind k) { return k == Kind::Integer || k == Kind::Unsigned || k == Kind::Double; };
        if (isNumeric(a->kind) && isNumeric(b->kind))
            return numbersEqual(static_cast<const NumberObject*>(a), static_cast<const NumberObject*>(b));
        if (a->kind != b->kind)
            return false;
        switch (a->kind) {
        case Kind::String: {
            auto* x = static_cast<const StringObject*>(a);
            auto* y = static_cast<const StringObject*>(b);
            return x->length == y->length && x->hash == y->hash && std::memcmp(x->bytes(), y->bytes(), x->length) == 0;
        }
        case Kind::Boolean:
            return static_cast<const NumberObject*>(a)->u == static_cast<const NumberObject*>(b)->u;
        case Kind::Null:
            return true;
        case Kind::Array: {
            auto* x = static_cast<const Array*>(a);
            auto* y = static_cast<const Array*>(b);
            if (x->count() != y->count())
                return false;
            for (std::size_t i = 0; i < x->count(); ++i)
                if (!(x->at(i) == y->at(i)))
                    return false;
            return true;
        }
        case Kind::Dictionary: {
            auto* x = static_cast<const Dictionary*>(a);
            auto* y = static_cast<const Dictionary*>(b);
            if (x->count() != y->count())
                return false;
            for (const auto& entry : *x) {
                const Value& other = y->objectForKey(entry.key);
                if (!other || !(other == entry.object))
                    return false;
            }
            return true;
        }
        case Kind::Opaque: {
            auto* x = static_cast<const OpaqueObject*>(a);
            auto* y = static_cast<const OpaqueObject*>(b);
            return x->payload && x->payload == y->payload && x->className == y->className;
        }
        default:
            return false;
        }
    }

} // namespace detail

const Value kNone;

const Value& Value::kNoneValue() noexcept
{
    return kNone;
}

namespace {

    Value makeInteger(std::int64_t number)
    {
        return Value::adopt(detail::makeNumber(Kind::Integer, static_cast<std::uint64_t>(number)));
    }

    Value makeUnsigned(std::uint64_t number)
    {
        return Value::adopt(detail::makeNumber(Kind::Unsigned, number));
    }

    // Reads the leading number of a string the way a string's own numeric
    // readers do: leading white space, an optional sign, digits; 0 without digits.
    double leadingDouble(std::string_view text)
    {
        std::string copy(text);
        return std::strtod(copy.c_str(), nullptr);
    }

    long long leadingInteger(std::string_view text)
    {
        std::string copy(text);
        return std::strtoll(copy.c_str(), nullptr, 10);
    }

} // namespace

Value::Value(const char* string)
    : Value(std::string_view(string))
{
}

Value::Value(std::string_view string)
{
    if (string.empty()) {
        m_object = &detail::emptyStringConstant;
        return;
    }
    m_object = detail::makeString(string.data(), string.size(), detail::hashBytes(string.data(), string.size()));
}

Value::Value(const std::string& string)
    : Value(std::string_view(string))
{
}

Value::Value(bool boolean) noexcept
    : m_object(boolean ? &detail::trueConstant : &detail::falseConstant)
{
}

Value::Value(int number)
    : Value(makeInteger(number))
{
}
Value::Value(long number)
    : Value(makeInteger(number))
{
}
Value::Value(long long number)
    : Value(makeInteger(number))
{
}
Value::Value(unsigned number)
    : Value(makeInteger(number))
{
}
Value::Value(unsigned long number)
    : Value(number > 9223372036854775807ULL ? makeUnsigned(number) : makeInteger(static_cast<std::int64_t>(number)))
{
}
Value::Value(unsigned long long number)
    : Value(number > 9223372036854775807ULL ? makeUnsigned(number) : makeInteger(static_cast<std::int64_t>(number)))
{
}
Value::Value(double number)
{
    m_object = detail::makeNumber(Kind::Double, std::bit_cast<std::uint64_t>(number));
}

Value Value::string(std::string_view bytes)
{
    return Value(bytes);
}
Value Value::integer(std::int64_t number)
{
    return makeInteger(number);
}
Value Value::unsignedInteger(std::uint64_t number)
{
    return makeUnsigned(number);
}
Value Value::number(double number)
{
    return Value(number);
}
Value Value::boolean(bool value) noexcept
{
    return Value(value);
}
Value Value::null() noexcept
{
    return adopt(&detail::nullConstant);
}
Value Value::emptyString() noexcept
{
    return adopt(&detail::emptyStringConstant);
}

Value Value::opaque(std::string className, std::shared_ptr<const void> payload)
{
    auto* o = new detail::OpaqueObject;
    detail::setUpHeader(o, Kind::Opaque, 0);
    o->className = std::move(className);
    o->payload = std::move(payload);
    return adopt(o);
}

namespace {

    Value makeArray(const Value* begin, std::size_t count, bool isMutable)
    {
        std::vector<detail::Object*> objects;
        objects.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            if (!begin[i])
                throw InvalidArgumentException("*** -[JCArray initWithObjects:count:]: attempt to insert nil");
            objects.push_back(Value(begin[i]).leak());
        }
        return Array::create(objects.data(), objects.size(), isMutable);
    }

    Value makeDictionary(std::initializer_list<std::pair<Value, Value>> pairs, bool isMutable)
    {
        Value result = Dictionary::create(nullptr, nullptr, nullptr, 0, true);
        for (const auto& [key, object] : pairs)
            result.asDictionary()->setObject(object, key);
        return isMutable ? result : result.copy();
    }

} // namespace

Value Value::array(std::initializer_list<Value> elements)
{
    return makeArray(elements.begin(), elements.size(), false);
}
Value Value::array(const std::vector<Value>& elements)
{
    return makeArray(elements.data(), elements.size(), false);
}
Value Value::mutableArray(std::initializer_list<Value> elements)
{
    return makeArray(elements.begin(), elements.size(), true);
}
Value Value::dictionary(std::initializer_list<std::pair<Value, Value>> pairs)
{
    return makeDictionary(pairs, false);
}
Value Value::mutableDictionary(std::initializer_list<std::pair<Value, Value>> pairs)
{
    return makeDictionary(pairs, true);
}

std::int64_t Value::integerValue() const noexcept
{
    switch (kind()) {
    case Kind::Integer:
    case Kind::Unsigned:
    case Kind::Boolean:
        return static_cast<const detail::NumberObject*>(m_object)->i;
    case Kind::Double: {
        double d = static_cast<const detail::NumberObject*>(m_object)->d;
        if (!(d == d))
            return 0;
        if (d >= 9223372036854775807.0)
            return INT64_MAX;
        if (d <= -9223372036854775808.0)
            return INT64_MIN;
        return static_cast<std::int64_t>(d);
    }
    case Kind::String:
        return leadingInteger(stringValue());
    default:
        return 0;
    }
}

std::uint64_t Value::unsignedValue() const noexcept
{
    switch (kind()) {
    case Kind::Double: {
        double d = static_cast<const detail::NumberObject*>(m_object)->d;
        if (!(d > 0))
            return d < 0 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(integerValue())) : 0;
        return d >= 18446744073709551615.0 ? UINT64_MAX : static_cast<std::uint64_t>(d);
    }
    default:
        return static_cast<std::uint64_t>(integerValue());
    }
}

double Value::doubleValue() const noexcept
{
    switch (kind()) {
    case Kind::Integer:
        return static_cast<double>(static_cast<const detail::NumberObject*>(m_object)->i);
    case Kind::Unsigned:
        return static_cast<double>(static_cast<const detail::NumberObject*>(m_object)->u);
    case Kind::Double:
        return static_cast<const detail::NumberObject*>(m_object)->d;
    case Kind::Boolean:
        return static_cast<double>(static_cast<const detail::NumberObject*>(m_object)->u);
    case Kind::String:
        return leadingDouble(stringValue());
    default:
        return 0;
    }
}

bool Value::boolValue() const noexcept
{
    switch (kind()) {
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::Unsigned:
        return static_cast<const detail::NumberObject*>(m_object)->u != 0;
    case Kind::Double:
        return static_cast<const detail::NumberObject*>(m_object)->d != 0;
    case Kind::String: {
        // "YES", "true", "y", "t" or a non-zero leading number read as true.
        std::string_view s = stringValue();
        std::size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
            ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        while (i < s.size() && s[i] == '0')
            ++i;
        if (i == s.size())
            return false;
        char c = s[i];
        return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    default:
        return false;
    }
}

Array* Value::asArray() const noexcept
{
    return isArray() ? static_cast<Array*>(m_object) : nullptr;
}
Dictionary* Value::asDictionary() const noexcept
{
    return isDictionary() ? static_cast<Dictionary*>(m_object) : nullptr;
}

const Value& Value::operator[](std::size_t index) const noexcept
{
    Array* a = asArray();
    if (!a || index >= a->count())
        return kNone;
    return a->at(index);
}

const Value& Value::operator[](std::string_view key) const noexcept
{
    Dictionary* d = asDictionary();
    return d ? d->objectForKey(key) : kNone;
}

std::size_t Value::count() const noexcept
{
    if (Array* a = asArray())
        return a->count();
    if (Dictionary* d = asDictionary())
        return d->count();
    return 0;
}

std::string Value::className() const
{
    switch (kind()) {
    case Kind::String:
        return "JCString";
    case Kind::Integer:
    case Kind::Unsigned:
    case Kind::Double:
        return "JCNumber";
    case Kind::Boolean:
        return "JCBoolean";
    case Kind::Null:
        return m_object ? "JCNull" : "nil";
    case Kind::Array:
        return "JCArray";
    case Kind::Dictionary:
        return "JCDictionary";
    case Kind::Opaque:
        return static_cast<const detail::OpaqueObject*>(m_object)->className;
    }
    return "";
}

Value Value::copy() const
{
    if (Array* a = asArray(); a && a->isMutable()) {
        std::vector<detail::Object*> objects;
        objects.reserve(a->count());
        for (std::size_t i = 0; i < a->count(); ++i)
            objects.push_back(Value(a->at(i)).leak());
        return Array::create(objects.data(), objects.size(), false);
    }
    if (Dictionary* d = asDictionary(); d && d->isMutable()) {
        std::vector<detail::Object*> keys, objects;
        std::vector<std::uint32_t> hashes;
        for (const auto& entry : *d) {
            keys.push_back(Value(entry.key).leak());
            objects.push_back(Value(entry.object).leak());
            hashes.push_back(detail::hashOf(entry.key.object()));
        }
        return Dictionary::create(keys.data(), hashes.data(), objects.data(), keys.size(), false);
    }
    return *this;
}

Value Value::mutableCopy() const
{
    if (Array* a = asArray()) {
        std::vector<detail::Object*> objects;
        objects.reserve(a->count());
        for (std::size_t i = 0; i < a->count(); ++i)
            objects.push_back(Value(a->at(i)).leak());
        return Array::create(objects.data(), objects.size(), true);
    }
    if (Dictionary* d = asDictionary()) {
        std::vector<detail::Object*> keys, objects;
        std::vector<std::uint32_t> hashes;
        for (const auto& entry : *d) {
            keys.push_back(Value(entry.key).leak());
            objects.push_back(Value(entry.object).leak());
            hashes.push_back(detail::hashOf(entry.key.object()));
        }
        return Dictionary::create(keys.data(), hashes.data(), objects.data(), keys.size(), true);
    }
    return *this;
}

} // namespace json
