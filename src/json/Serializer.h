#pragma once

#include "json/Error.h"
#include "json/Value.h"

#include <functional>
#include <optional>
#include <string>

namespace json {

enum SerializeOptionFlags : unsigned {
    SerializeOptionNone = 0,
    /// Line breaks, two-space indentation, sorted keys, ": " after keys.
    SerializeOptionPretty = 1,
    /// Every non-ASCII character as \u escapes (pure ASCII output).
    SerializeOptionEscapeNonAscii = 2,
    /// "/" written as "\/".
    SerializeOptionEscapeSlash = 16,
};

enum EncodeOptionFlags : unsigned {
    EncodeOptionResultData = 1,
    EncodeOptionResultString = 2,
    EncodeOptionCollectionObj = 8,
    EncodeOptionStringObj = 16,
    EncodeOptionStringObjTrimQuotes = 32,
};

/// Turns an object the serializer cannot write into one it can (or none).
using Formatter = std::function<Value(const Value&)>;

/// A delegate whose formatter method is named by a selector.
class FormatterDelegate {
public:
    virtual ~FormatterDelegate() = default;
    /// The method for `selector`, or an empty function when the delegate has none.
    [[nodiscard]] virtual Formatter methodForSelector(const char* selector) = 0;
};

/// Writes values as JSON text. Each call is independent: the encode cache
/// (which re-emits the text of an object met again) lives for one call.
class Serializer {
public:
    /// The text (bytes of a data or string result), or nothing with the first
    /// error stored through `error`. Misuse raises: a delegate without a
    /// selector, or one without a method for it (`InvalidArgumentException`).
    [[nodiscard]] static std::optional<std::string> serializeObject(const Value& object, unsigned serializeOptions,
        unsigned encodeOption, const Formatter& block, FormatterDelegate* delegate, const char* selector, Error* error);
};

// Strings (quotes included unless asked otherwise) and collections.
/// A string value is written as a JSON string; any other value must be an array or a dictionary.
[[nodiscard]] std::optional<std::string> JSONData(const Value& object);
[[nodiscard]] std::optional<std::string> JSONString(const Value& object);
/// String forms; `Quotes::Excluded` leaves out the surrounding double quotes.
enum class Quotes : bool { Excluded, Included };
[[nodiscard]] std::optional<std::string> JSONDataWithOptions(
    const Value& string, unsigned serializeOptions, Quotes includeQuotes, Error* error = nullptr);
[[nodiscard]] std::optional<std::string> JSONStringWithOptions(
    const Value& string, unsigned serializeOptions, Quotes includeQuotes, Error* error = nullptr);
/// Collection forms.
[[nodiscard]] std::optional<std::string> JSONDataWithOptions(
    const Value& collection, unsigned serializeOptions, Error* error = nullptr);
[[nodiscard]] std::optional<std::string> JSONDataWithOptions(
    const Value& collection, unsigned serializeOptions, const Formatter& block, Error* error = nullptr);
[[nodiscard]] std::optional<std::string> JSONDataWithOptions(const Value& collection, unsigned serializeOptions,
    FormatterDelegate* delegate, const char* selector, Error* error = nullptr);
[[nodiscard]] std::optional<std::string> JSONStringWithOptions(
    const Value& collection, unsigned serializeOptions, Error* error = nullptr);
[[nodiscard]] std::optional<std::string> JSONStringWithOptions(
    const Value& collection, unsigned serializeOptions, const Formatter& block, Error* error = nullptr);
[[nodiscard]] std::optional<std::string> JSONStringWithOptions(const Value& collection, unsigned serializeOptions,
    FormatterDelegate* delegate, const char* selector, Error* error = nullptr);

} // namespace json
