#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace hestio::platform {

/// A property whose every assignment is reported to its observers, with the
/// property's key path and the new value: the key-value observation hook a
/// screen uses to react to its own counters. Observers are called
/// synchronously in registration order, also when the value did not change;
/// one may remove itself or others while being called. Main thread only.
template<typename T> class ObservedProperty {
public:
    using Observer = std::function<void(const std::string& keyPath, const T& newValue)>;
    using ObserverToken = std::uint64_t;

    explicit ObservedProperty(std::string keyPath, T initial = T {})
        : m_keyPath(std::move(keyPath))
        , m_value(std::move(initial))
    {
    }
    ObservedProperty(const ObservedProperty&) = delete;
    ObservedProperty& operator=(const ObservedProperty&) = delete;

    [[nodiscard]] const std::string& keyPath() const { return m_keyPath; }
    [[nodiscard]] const T& get() const { return m_value; }
    operator const T&() const { return m_value; }

    ObservedProperty& operator=(T value)
    {
        set(std::move(value));
        return *this;
    }

    void set(T value)
    {
        m_value = std::move(value);
        // Walk a snapshot of the tokens so that observers added while
        // delivering wait for the next change and removed ones are skipped.
        std::vector<ObserverToken> tokens;
        for (const auto& registration : m_observers)
            tokens.push_back(registration.token);
        for (ObserverToken token : tokens) {
            Observer observer;
            for (const auto& registration : m_observers) {
                if (registration.token == token)
                    observer = registration.callback;
            }
            if (observer)
                observer(m_keyPath, m_value);
        }
    }

    /// `owner` identifies the registration for removeObserver(owner).
    ObserverToken addObserver(const void* owner, Observer observer)
    {
        ObserverToken token = m_nextToken++;
        m_observers.push_back({ token, owner, std::move(observer) });
        return token;
    }
    void removeObserver(ObserverToken token)
    {
        std::erase_if(m_observers, [token](const Registration& r) { return r.token == token; });
    }
    void removeObserver(const void* owner)
    {
        std::erase_if(m_observers, [owner](const Registration& r) { return r.owner == owner; });
    }
    [[nodiscard]] std::size_t observerCount() const { return m_observers.size(); }

private:
    struct Registration {
        ObserverToken token;
        const void* owner;
        Observer callback;
    };
    std::string m_keyPath;
    T m_value;
    std::vector<Registration> m_observers;
    ObserverToken m_nextToken { 1 };
};

}
