#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

class Array;
class Dictionary;

/// What a value holds. Booleans and null are shared constants; strings and
/// numbers are immutable; arrays and dictionaries are immutable unless made by
/// a mutable entry point. `Opaque` stands for an object of a class the
/// serializer cannot write (it goes through the formatter).
enum class Kind : std::uint8_t { String, Integer, Unsigned, Double, Boolean, Null, Array, Dictionary, Opaque };

namespace detail {

    /// Common header of every value object. Counts are atomic because decoded
    /// values may be handed to another thread; shared constants are immortal
    /// and their counts are never touched.
    struct Object {
        std::atomic<std::uint32_t> refs;
        Kind kind;
        bool immortal;
        /// Where the object's memory came from (see ObjectMemory.h).
        std::uint8_t sizeClass;
    };

    struct StringObject : Object {
        std::uint32_t hash;
        std::size_t length;
        const char* bytes() const noexcept { return reinterpret_cast<const char*>(this + 1); }
        char* bytes() noexcept { return reinterpret_cast<char*>(this + 1); }
    };

    struct NumberObject : Object {
        union {
            std::int64_t i;
            std::uint64_t u;
            double d;
        };
    };

    struct OpaqueObject : Object {
        std::string className;
        std::shared_ptr<const void> payload;
    };

    void destroy(Object*) noexcept;

    /// The size class of objects made by a decode into arena slabs (see ObjectMemory.h).
    constexpr std::uint8_t kArenaClass = 0xFF;
    /// Notes that an object of a decoded tree gained a reference from outside
    /// the tree, so the tree can no longer be released whole.
    void noteHeldOutsideTree(Object*) noexcept;

    inline void retain(Object* object) noexcept
    {
        if (!object->immortal) {
            object->refs.fetch_add(1, std::memory_order_relaxed);
            if (object->sizeClass == kArenaClass)
                noteHeldOutsideTree(object);
        }
    }

    inline void release(Object* object) noexcept
    {
        if (object->immortal)
            return;
        // A sole owner cannot race with anyone: no other handle exists to copy from.
        if (object->refs.load(std::memory_order_acquire) == 1
            || object->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            destroy(object);
    }

    /// The string hash used for dictionary keys, by the decoder while it scans
    /// and by every lookup: h = h * 33 + byte from 0x539C1505.
    constexpr std::uint32_t kStringHashSeed = 1402737925u;
    inline std::uint32_t hashBytes(const char* bytes, std::size_t length, std::uint32_t hash = kStringHashSeed) noexcept
    {
        for (std::size_t i = 0; i < length; ++i)
            hash = hash * 33u + static_cast<unsigned char>(bytes[i]);
        return hash;
    }

    StringObject* makeString(const char* bytes, std::size_t length, std::uint32_t hash);

    extern StringObject emptyStringConstant;
    extern NumberObject trueConstant;
    extern NumberObject falseConstant;
    extern Object nullConstant;

    /// Hash used for dictionary keys of any kind; equal values hash equally.
    std::uint32_t hashOf(const Object*) noexcept;
    bool isEqual(const Object*, const Object*) noexcept;

} // namespace detail

/// A handle to a shared, immutable, reference-counted value (or to nothing).
/// Copying a handle shares the object; identity is observable through
/// `isSameObject`. A default-constructed handle holds nothing ("none").
class Value {
public:
    Value() noexcept = default;
    Value(const Value& other) noexcept
        : m_object(other.m_object)
    {
        if (m_object)
            detail::retain(m_object);
    }
    Value(Value&& other) noexcept
        : m_object(std::exchange(other.m_object, nullptr))
    {
    }
    Value& operator=(const Value& other) noexcept
    {
        Value copy(other);
        std::swap(m_object, copy.m_object);
        return *this;
    }
    Value& operator=(Value&& other) noexcept
    {
        Value moved(std::move(other));
        std::swap(m_object, moved.m_object);
        return *this;
    }
    ~Value()
    {
        if (m_object)
            detail::release(m_object);
    }

    // Values from C++ scalars: strings, the boolean constants, numbers.
    Value(const char* string);
    Value(std::nullptr_t) = delete;
    Value(std::string_view string);
    Value(const std::string& string);
    Value(bool boolean) noexcept;
    Value(int number);
    Value(long number);
    Value(long long number);
    Value(unsigned number);
    Value(unsigned long number);
    Value(unsigned long long number);
    Value(double number);

    static Value string(std::string_view bytes);
    static Value integer(std::int64_t number);
    static Value unsignedInteger(std::uint64_t number);
    static Value number(double number);
    static Value boolean(bool value) noexcept;
    /// The shared JSON null constant (not the same as a handle holding nothing).
    static Value null() noexcept;
    static Value emptyString() noexcept;
    /// An object of a class the serializer cannot write; `className` appears in its errors.
    static Value opaque(std::string className, std::shared_ptr<const void> payload = {});

    /// Containers built by code (replies, tests). Immutable ones cannot change later.
    static Value array(std::initializer_list<Value> elements = {});
    static Value array(const std::vector<Value>& elements);
    static Value mutableArray(std::initializer_list<Value> elements = {});
    static Value dictionary(std::initializer_list<std::pair<Value, Value>> keysAndValues = {});
    static Value mutableDictionary(std::initializer_list<std::pair<Value, Value>> keysAndValues = {});

    /// Takes over one reference the caller holds.
    static Value adopt(detail::Object* object) noexcept
    {
        Value value;
        value.m_object = object;
        return value;
    }
    /// Hands the reference to the caller.
    detail::Object* leak() noexcept { return std::exchange(m_object, nullptr); }
    detail::Object* object() const noexcept { return m_object; }

    explicit operator bool() const noexcept { return m_object != nullptr; }
    bool isNone() const noexcept { return m_object == nullptr; }
    /// Kind of the held object; a handle holding nothing reports `Kind::Null`.
    Kind kind() const noexcept { return m_object ? m_object->kind : Kind::Null; }
    bool isString() const noexcept { return m_object && m_object->kind == Kind::String; }
    bool isNumber() const noexcept
    {
        return m_object
            && (m_object->kind == Kind::Integer || m_object->kind == Kind::Unsigned || m_object->kind == Kind::Double);
    }
    bool isBoolean() const noexcept { return m_object && m_object->kind == Kind::Boolean; }
    bool isNull() const noexcept { return m_object && m_object->kind == Kind::Null; }
    bool isArray() const noexcept { return m_object && m_object->kind == Kind::Array; }
    bool isDictionary() const noexcept { return m_object && m_object->kind == Kind::Dictionary; }

    /// The UTF-8 bytes of a string; empty for every other kind.
    std::string_view stringValue() const noexcept
    {
        if (!isString())
            return {};
        auto* s = static_cast<const detail::StringObject*>(m_object);
        return { s->bytes(), s->length };
    }
    /// Numeric readings; numbers convert, booleans give 0 or 1, strings are read
    /// from their leading number (0 when there is none), anything else gives 0.
    std::int64_t integerValue() const noexcept;
    std::uint64_t unsignedValue() const noexcept;
    double doubleValue() const noexcept;
    bool boolValue() const noexcept;

    /// The container, or null when the value is not one. Mutating a container
    /// that is immutable raises `InternalInconsistencyException`.
    Array* asArray() const noexcept;
    Dictionary* asDictionary() const noexcept;

    /// Element or member lookups that never raise: a handle holding nothing
    /// when the value is not such a container or has no such entry.
    const Value& operator[](std::size_t index) const noexcept;
    const Value& operator[](int index) const noexcept
    {
        return index < 0 ? kNoneValue() : (*this)[static_cast<std::size_t>(index)];
    }
    const Value& operator[](std::string_view key) const noexcept;
    const Value& operator[](const char* key) const noexcept { return (*this)[std::string_view(key)]; }
    const Value& operator[](const std::string& key) const noexcept { return (*this)[std::string_view(key)]; }
    /// Element or pair count of a container, 0 otherwise.
    std::size_t count() const noexcept;

    bool isSameObject(const Value& other) const noexcept { return m_object == other.m_object; }
    const void* identity() const noexcept { return m_object; }
    /// Name of the value's class, used in the serializer's error texts.
    std::string className() const;

    /// Immutable containers, strings and numbers copy to themselves; a mutable
    /// container copies to a new immutable one.
    Value copy() const;
    /// A new mutable container with the same elements (containers only).
    Value mutableCopy() const;

    /// Deep equality: numbers by value, strings by bytes, containers by contents.
    friend bool operator==(const Value& a, const Value& b) noexcept
    {
        if (a.m_object == b.m_object)
            return true;
        if (!a.m_object || !b.m_object)
            return false;
        return detail::isEqual(a.m_object, b.m_object);
    }

private:
    static const Value& kNoneValue() noexcept;
    detail::Object* m_object = nullptr;
};

/// A handle holding nothing, for lookups that find nothing.
extern const Value kNone;

} // namespace json
