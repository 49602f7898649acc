#include "json/Decoder.h"

#include "json/Exceptions.h"

namespace json {

// Placeholder until the parser lands: every parse fails.
struct ParseState {
    unsigned options;
};

Decoder::Decoder(unsigned parseOptions)
{
    if (parseOptions > ParseOptionValidFlags)
        throw InvalidArgumentException("Invalid parse options.");
    m_parseState = std::make_unique<ParseState>(ParseState { parseOptions });
}
Decoder::~Decoder() = default;
std::unique_ptr<Decoder> Decoder::decoderWithParseOptions(unsigned o)
{
    return std::make_unique<Decoder>(o);
}
unsigned Decoder::parseOptions() const noexcept
{
    return m_parseState ? m_parseState->options : 0;
}
void Decoder::clearCache() noexcept
{
}
void Decoder::cleanUp() noexcept
{
    m_parseState.reset();
}
Value Decoder::decode(const char*, std::size_t, bool, Error* error)
{
    if (error)
        error->description = "Unable to parse JSON.";
    return {};
}
Value Decoder::objectWithUTF8String(const char* b, std::size_t l, Error* e)
{
    return decode(b, l, false, e);
}
Value Decoder::objectWithData(std::string_view d, Error* e)
{
    return decode(d.data(), d.size(), false, e);
}
Value Decoder::mutableObjectWithUTF8String(const char* b, std::size_t l, Error* e)
{
    return decode(b, l, true, e);
}
Value Decoder::mutableObjectWithData(std::string_view d, Error* e)
{
    return decode(d.data(), d.size(), true, e);
}
} // namespace json
