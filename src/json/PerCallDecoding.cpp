#include "json/Decoder.h"

// The per-call forms: each makes its own decoder, which is cleaned up (cache
// included) before the call returns.
namespace json {

/// A decoder for one call: its cache is given up as the decode ends, which
/// saves the separate pass over the cache that cleaning up would make.
class DecodeOnce {
public:
    explicit DecodeOnce(unsigned parseOptions)
        : m_decoder(parseOptions)
    {
        m_decoder.m_usedOnce = true;
    }
    Decoder* operator->() { return &m_decoder; }

private:
    Decoder m_decoder;
};

Value objectFromJSONData(std::string_view data)
{
    return objectFromJSONDataWithParseOptions(data, 0, nullptr);
}

Value objectFromJSONDataWithParseOptions(std::string_view data, unsigned parseOptions, Error* error)
{
    return DecodeOnce(parseOptions)->objectWithData(data, error);
}

Value mutableObjectFromJSONData(std::string_view data)
{
    return mutableObjectFromJSONDataWithParseOptions(data, 0, nullptr);
}

Value mutableObjectFromJSONDataWithParseOptions(std::string_view data, unsigned parseOptions, Error* error)
{
    return DecodeOnce(parseOptions)->mutableObjectWithData(data, error);
}

// Strings are UTF-8 already; an empty view decodes as empty text.
Value objectFromJSONString(std::string_view string)
{
    return objectFromJSONStringWithParseOptions(string, 0, nullptr);
}

Value objectFromJSONStringWithParseOptions(std::string_view string, unsigned parseOptions, Error* error)
{
    return DecodeOnce(parseOptions)->objectWithUTF8String(string.data() ? string.data() : "", string.size(), error);
}

Value mutableObjectFromJSONString(std::string_view string)
{
    return mutableObjectFromJSONStringWithParseOptions(string, 0, nullptr);
}

Value mutableObjectFromJSONStringWithParseOptions(std::string_view string, unsigned parseOptions, Error* error)
{
    return DecodeOnce(parseOptions)
        ->mutableObjectWithUTF8String(string.data() ? string.data() : "", string.size(), error);
}

} // namespace json
