#include "platform/foundation/LazyLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace hestio::platform {

namespace {
    std::mutex opening;
}

LazyLibrary::LazyLibrary(std::string soname, std::string advice)
    : m_soname(std::move(soname))
    , m_advice(std::move(advice))
{
}

std::optional<std::string> LazyLibrary::open()
{
    std::lock_guard lock(opening);
    if (!m_tried) {
        m_tried = true;
        m_handle = dlopen(m_soname.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) {
            const char* why = dlerror();
            m_error = m_soname + " cannot be loaded (" + (why ? why : "not found") + "); " + m_advice;
        }
    }
    if (m_handle)
        return std::nullopt;
    return m_error;
}

void* LazyLibrary::symbol(const char* name)
{
    auto missing = open();
    void* function = m_handle ? dlsym(m_handle, name) : nullptr;
    if (!function) {
        std::string why = missing ? *missing : m_soname + " has no " + name + "; " + m_advice;
        std::fprintf(stderr, "hestio: %s\n", why.c_str());
        std::exit(1);
    }
    return function;
}

}
