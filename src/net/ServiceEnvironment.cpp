#include "net/ServiceEnvironment.h"

namespace hestio {

LockedText& LockedText::operator=(const LockedText& other)
{
    if (this != &other)
        set(other.get());
    return *this;
}

std::string LockedText::get() const
{
    std::lock_guard lock(m_mutex);
    return m_value;
}

void LockedText::set(std::string value)
{
    std::lock_guard lock(m_mutex);
    m_value = std::move(value);
}

ServiceEnvironment& ServiceEnvironment::shared()
{
    static ServiceEnvironment environment;
    return environment;
}

std::string escapeParameter(std::string_view value)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}
