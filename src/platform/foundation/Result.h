#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace hestio::platform {

/// Why an operation failed, in words for a person: the text goes as it is
/// into a log line, an alert or a report.
class Error {
public:
    explicit Error(std::string message)
        : m_message(std::move(message))
    {
    }

    [[nodiscard]] const std::string& message() const& { return m_message; }
    [[nodiscard]] std::string message() && { return std::move(m_message); }

    bool operator==(const Error&) const = default;

private:
    std::string m_message;
};

template<typename T> class Result;

namespace detail {
    template<typename U, typename T>
    concept ImplicitValueOf = std::is_convertible_v<U, T> && !std::is_same_v<std::remove_cvref_t<U>,
                                  Result<T>> && !std::is_same_v<std::remove_cvref_t<U>, Error>;
}

/// The value of an operation that worked, or the Error of one that did not.
/// The type is [[nodiscard]]: a caller that drops a failure has to say so.
///
///     Result<Point> at = locate(target);
///     if (!at)
///         return at.error();
///     tapAt(*at);
///
/// Reading the value of a failure (or the error of a success) is a
/// programming error: it asserts, and without assertions it throws
/// std::bad_variant_access (std::bad_optional_access for a Status).
template<typename T> class [[nodiscard]] Result {
    static_assert(
        !std::is_same_v<std::remove_cv_t<T>, Error>, "a Result holds a value or an Error, not an Error value");

public:
    using ValueType = T;

    /// Anything a T is implicitly made from, as for a plain T: a
    /// Result<std::string> function may `return "text";`.
    template<detail::ImplicitValueOf<T> U = T>
    Result(U&& value)
        : m_state(std::in_place_index<0>, std::forward<U>(value))
    {
    }
    Result(Error error)
        : m_state(std::in_place_index<1>, std::move(error))
    {
    }

    [[nodiscard]] bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    [[nodiscard]] T& value() &
    {
        assert(hasValue() && "the value of a failed Result");
        return std::get<0>(m_state);
    }
    [[nodiscard]] const T& value() const&
    {
        assert(hasValue() && "the value of a failed Result");
        return std::get<0>(m_state);
    }
    [[nodiscard]] T&& value() &&
    {
        assert(hasValue() && "the value of a failed Result");
        return std::get<0>(std::move(m_state));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    [[nodiscard]] const Error& error() const
    {
        assert(!hasValue() && "the error of a Result that holds a value");
        return std::get<1>(m_state);
    }

private:
    std::variant<T, Error> m_state;
};

/// Success with nothing to hand back, or the Error of a failure.
///
///     if (auto done = screenshot(path); !done)
///         return done;
template<> class [[nodiscard]] Result<void> {
public:
    using ValueType = void;

    /// Success.
    Result() = default;
    Result(Error error)
        : m_error(std::move(error))
    {
    }

    [[nodiscard]] bool hasValue() const { return !m_error; }
    explicit operator bool() const { return hasValue(); }

    [[nodiscard]] const Error& error() const
    {
        assert(m_error && "the error of a Result that succeeded");
        return m_error.value();
    }

private:
    std::optional<Error> m_error;
};

/// The outcome of an operation that only succeeds or fails.
using Status = Result<void>;

}
