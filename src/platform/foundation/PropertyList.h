#pragma once

#include "platform/foundation/Date.h"
#include "platform/foundation/Result.h"

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hestio::platform {

/// One value of a property list: text, integer, real, boolean, date, bytes,
/// or an array or dictionary of values. A plain value; copies are deep.
class PropertyListValue {
public:
    using Array = std::vector<PropertyListValue>;
    using Dictionary = std::map<std::string, PropertyListValue>;
    using Data = std::vector<std::uint8_t>;

    /// An empty dictionary, the usual top level of a file.
    PropertyListValue()
        : m_value(Dictionary {})
    {
    }
    PropertyListValue(std::string text)
        : m_value(std::move(text))
    {
    }
    PropertyListValue(const char* text)
        : m_value(std::string(text))
    {
    }
    template<std::integral T>
    requires(!std::same_as<T, bool>) PropertyListValue(T integer)
        : m_value(static_cast<std::int64_t>(integer))
    {
    }
    PropertyListValue(double real)
        : m_value(real)
    {
    }
    PropertyListValue(bool flag)
        : m_value(flag)
    {
    }
    PropertyListValue(Date date)
        : m_value(date)
    {
    }
    PropertyListValue(Data bytes)
        : m_value(std::move(bytes))
    {
    }
    PropertyListValue(Array array)
        : m_value(std::move(array))
    {
    }
    PropertyListValue(Dictionary dictionary)
        : m_value(std::move(dictionary))
    {
    }

    [[nodiscard]] const std::string* asString() const { return std::get_if<std::string>(&m_value); }
    [[nodiscard]] std::optional<std::int64_t> asInteger() const;
    /// Reals, and integers converted.
    [[nodiscard]] std::optional<double> asReal() const;
    [[nodiscard]] std::optional<bool> asBool() const;
    [[nodiscard]] std::optional<Date> asDate() const;
    [[nodiscard]] const Data* asData() const { return std::get_if<Data>(&m_value); }
    [[nodiscard]] const Array* asArray() const { return std::get_if<Array>(&m_value); }
    [[nodiscard]] Array* asArray() { return std::get_if<Array>(&m_value); }
    [[nodiscard]] const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&m_value); }
    [[nodiscard]] Dictionary* asDictionary() { return std::get_if<Dictionary>(&m_value); }

    /// The entry under `key` of a dictionary; none for a missing key or a
    /// value that is not a dictionary.
    [[nodiscard]] const PropertyListValue* find(const std::string& key) const;

    /// Calls `visitor` with the value held (std::string, std::int64_t,
    /// double, bool, Date, Data, Array or Dictionary).
    template<typename Visitor> decltype(auto) visit(Visitor&& visitor) const
    {
        return std::visit(std::forward<Visitor>(visitor), m_value);
    }

    bool operator==(const PropertyListValue& other) const { return m_value == other.m_value; }

private:
    std::variant<std::string, std::int64_t, double, bool, Date, Data, Array, Dictionary> m_value;
};

/// Decodes an XML or binary property list, or says why the bytes are not one.
Result<PropertyListValue> parsePropertyList(std::string_view bytes);
/// The XML text of `value`. XML keeps dates to the whole second.
[[nodiscard]] std::string propertyListToXml(const PropertyListValue& value);

/// Reads a property-list file. A missing file gives none quietly; a file
/// that cannot be read or is not a property list gives none and one log
/// line, never a failure of the caller.
[[nodiscard]] std::optional<PropertyListValue> readPropertyList(const std::filesystem::path& file);
/// readPropertyList() for the usual dictionary at the top: anything else
/// (missing, unreadable, corrupt, another kind of value) reads as empty.
[[nodiscard]] PropertyListValue::Dictionary readPropertyListDictionary(const std::filesystem::path& file);

/// Writes `value` as an XML property list, atomically, on the disk writer
/// (DiskWriter): the bytes go to a temporary file beside `file`, are flushed
/// to the disk, and the temporary file then replaces `file` in one step, so
/// that a crash leaves either the old file or the new one, never a part.
/// Missing folders are made. Returns at once (true: queued); from then on
/// readPropertyList gives the new value. A write that fails is logged (one
/// line) and leaves the old file untouched; `written`, when given, is told
/// whether it succeeded, on the run loop of the caller.
[[nodiscard]] bool writePropertyList(
    const std::filesystem::path& file, const PropertyListValue& value, std::function<void(bool)> written = {});

}
