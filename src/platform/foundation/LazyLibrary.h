#pragma once

#include <optional>
#include <string>

namespace hestio::platform {

/// A shared library opened when first needed rather than when the program
/// starts: loading it and the libraries it brings then costs a run that
/// never uses it nothing.
class LazyLibrary {
public:
    /// `soname` as the dynamic loader finds it; `advice` ends the message
    /// given when it cannot be opened.
    LazyLibrary(std::string soname, std::string advice);

    /// Opens the library (once); the reason when it cannot be opened.
    [[nodiscard]] std::optional<std::string> open();
    /// A function of the library, opening it first. A library that cannot be
    /// opened or lacks the function ends the program with a message: callers
    /// check open() before their first call.
    [[nodiscard]] void* symbol(const char* name);

private:
    std::string m_soname, m_advice, m_error;
    void* m_handle { nullptr };
    bool m_tried { false };
};

}

/// The function `name` of `library` (a LazyLibrary&), looked up once per
/// call site, with the type its header declares.
#define HESTIO_LAZY_FUNCTION(library, name)                                                                            \
    ([] {                                                                                                              \
        static const auto function = reinterpret_cast<decltype(&::name)>((library).symbol(#name));                     \
        return function;                                                                                               \
    }())
