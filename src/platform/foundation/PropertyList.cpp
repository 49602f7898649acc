#include "platform/foundation/PropertyList.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateFiles.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <system_error>

#include <plist/plist.h>

namespace hestio::platform {

namespace {

    // Property-list dates count seconds from 1 January 2001.
    constexpr double referenceDateOffset = 978307200.0;
    // Nesting deeper than this is not a file we wrote; refuse it rather than
    // recurse without bound.
    constexpr int maximumDepth = 256;
    constexpr std::uintmax_t maximumFileSize = 64 * 1024 * 1024;

    struct PlistDeleter {
        void operator()(plist_t node) const { plist_free(node); }
    };
    using PlistPointer = std::unique_ptr<void, PlistDeleter>;

    struct MallocDeleter {
        void operator()(void* memory) const { std::free(memory); }
    };

    std::optional<PropertyListValue> fromNode(plist_t node, int depth)
    {
        if (depth > maximumDepth)
            return std::nullopt;
        switch (plist_get_node_type(node)) {
        case PLIST_STRING: {
            char* raw = nullptr;
            plist_get_string_val(node, &raw);
            std::unique_ptr<char, MallocDeleter> text(raw);
            return PropertyListValue(std::string(raw ? raw : ""));
        }
        case PLIST_UINT: {
            // libplist keeps every integer in 64 bits; a negative one is its
            // two's complement.
            std::uint64_t bits = 0;
            plist_get_uint_val(node, &bits);
            return PropertyListValue(static_cast<std::int64_t>(bits));
        }
        case PLIST_REAL: {
            double real = 0;
            plist_get_real_val(node, &real);
            return PropertyListValue(real);
        }
        case PLIST_BOOLEAN: {
            std::uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return PropertyListValue(flag != 0);
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0;
            std::int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            return PropertyListValue(Date(referenceDateOffset + seconds + microseconds / 1e6));
        }
        case PLIST_DATA: {
            char* raw = nullptr;
            std::uint64_t length = 0;
            plist_get_data_val(node, &raw, &length);
            std::unique_ptr<char, MallocDeleter> bytes(raw);
            const auto* begin = reinterpret_cast<const std::uint8_t*>(raw);
            return PropertyListValue(PropertyListValue::Data(begin, begin + (raw ? length : 0)));
        }
        case PLIST_ARRAY: {
            PropertyListValue::Array array;
            std::uint32_t count = plist_array_get_size(node);
            array.reserve(count);
            for (std::uint32_t i = 0; i < count; ++i) {
                auto item = fromNode(plist_array_get_item(node, i), depth + 1);
                if (!item)
                    return std::nullopt;
                array.push_back(std::move(*item));
            }
            return PropertyListValue(std::move(array));
        }
        case PLIST_DICT: {
            PropertyListValue::Dictionary dictionary;
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            std::unique_ptr<void, MallocDeleter> ownedIterator(iterator);
            for (;;) {
                char* rawKey = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iterator, &rawKey, &item);
                std::unique_ptr<char, MallocDeleter> key(rawKey);
                if (!item)
                    break;
                auto value = fromNode(item, depth + 1);
                if (!value)
                    return std::nullopt;
                dictionary.insert_or_assign(std::string(rawKey ? rawKey : ""), std::move(*value));
            }
            return PropertyListValue(std::move(dictionary));
        }
        default:
            // Keys outside a dictionary, UIDs and the like never appear in our files.
            return std::nullopt;
        }
    }

    struct NodeBuilder {
        plist_t operator()(const std::string& text) const { return plist_new_string(text.c_str()); }
        plist_t operator()(std::int64_t integer) const { return plist_new_uint(static_cast<std::uint64_t>(integer)); }
        plist_t operator()(double real) const { return plist_new_real(real); }
        plist_t operator()(bool flag) const { return plist_new_bool(flag ? 1 : 0); }
        plist_t operator()(Date date) const
        {
            double sinceReference = date.timeIntervalSince1970() - referenceDateOffset;
            double seconds = std::floor(sinceReference);
            return plist_new_date(static_cast<std::int32_t>(seconds),
                static_cast<std::int32_t>(std::lround((sinceReference - seconds) * 1e6) % 1000000));
        }
        plist_t operator()(const PropertyListValue::Data& bytes) const
        {
            return plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        plist_t operator()(const PropertyListValue::Array& array) const;
        plist_t operator()(const PropertyListValue::Dictionary& dictionary) const;
    };

    plist_t toNode(const PropertyListValue& value)
    {
        return value.visit(NodeBuilder {});
    }

    plist_t NodeBuilder::operator()(const PropertyListValue::Array& array) const
    {
        plist_t node = plist_new_array();
        for (const auto& item : array)
            plist_array_append_item(node, toNode(item));
        return node;
    }

    plist_t NodeBuilder::operator()(const PropertyListValue::Dictionary& dictionary) const
    {
        plist_t node = plist_new_dict();
        for (const auto& [key, item] : dictionary)
            plist_dict_set_item(node, key.c_str(), toNode(item));
        return node;
    }

}

std::optional<std::int64_t> PropertyListValue::asInteger() const
{
    if (auto* integer = std::get_if<std::int64_t>(&m_value))
        return *integer;
    return std::nullopt;
}

std::optional<double> PropertyListValue::asReal() const
{
    if (auto* real = std::get_if<double>(&m_value))
        return *real;
    if (auto* integer = std::get_if<std::int64_t>(&m_value))
        return static_cast<double>(*integer);
    return std::nullopt;
}

std::optional<bool> PropertyListValue::asBool() const
{
    if (auto* flag = std::get_if<bool>(&m_value))
        return *flag;
    return std::nullopt;
}

std::optional<Date> PropertyListValue::asDate() const
{
    if (auto* date = std::get_if<Date>(&m_value))
        return *date;
    return std::nullopt;
}

const PropertyListValue* PropertyListValue::find(const std::string& key) const
{
    const Dictionary* dictionary = asDictionary();
    if (!dictionary)
        return nullptr;
    auto it = dictionary->find(key);
    return it == dictionary->end() ? nullptr : &it->second;
}

Result<PropertyListValue> parsePropertyList(std::string_view bytes)
{
    if (bytes.empty())
        return Error("the file is empty");
    if (bytes.size() > maximumFileSize)
        return Error("the file is too large");
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    PlistPointer root(raw);
    if (!root)
        return Error("the file is not a property list");
    auto value = fromNode(root.get(), 0);
    if (!value)
        return Error("the file holds values of an unknown kind or nests too deeply");
    return std::move(*value);
}

std::string propertyListToXml(const PropertyListValue& value)
{
    PlistPointer root(toNode(value));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string text(xml ? xml : "", xml ? length : 0);
    if (xml)
        plist_to_xml_free(xml);
    return text;
}

std::optional<PropertyListValue> readPropertyList(const std::filesystem::path& file)
{
    auto fail = [&](const std::string& reason) -> std::optional<PropertyListValue> {
        log("Could not read property list " + file.string() + ": " + reason);
        return std::nullopt;
    };
    // What was last written is read, also while it waits for the disk.
    auto read = DiskWriter::shared().read(file, maximumFileSize + 1);
    if (!read)
        return fail(read.error().message());
    if (!*read)
        return std::nullopt;
    if ((*read)->size > maximumFileSize)
        return fail("the file is too large");
    auto value = parsePropertyList((*read)->bytes);
    if (!value)
        return fail(value.error().message());
    return std::move(*value);
}

PropertyListValue::Dictionary readPropertyListDictionary(const std::filesystem::path& file)
{
    auto value = readPropertyList(file);
    if (!value)
        return {};
    if (auto* dictionary = value->asDictionary())
        return std::move(*dictionary);
    log("Could not read property list " + file.string() + ": its top level is not a dictionary");
    return {};
}

bool writePropertyList(
    const std::filesystem::path& file, const PropertyListValue& value, std::function<void(bool)> written)
{
    DiskWriter::shared().write(
        file, propertyListToXml(value), [file, written = std::move(written)](const Status& status) {
            if (!status)
                log("Could not write property list " + file.string() + ": " + status.error().message());
            if (written)
                written(bool(status));
        });
    return true;
}

}
