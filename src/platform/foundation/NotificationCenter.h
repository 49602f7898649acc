#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hestio::platform {

/// What a notification carries besides its name and sender.
using UserInfo = std::map<std::string, std::any>;

struct Notification {
    std::string name;
    const void* sender { nullptr };
    UserInfo userInfo;
};

/// Named broadcasts within the process, delivered synchronously on the
/// posting thread in the order observers registered. Main thread only.
class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;
    using ObserverToken = std::uint64_t;

    /// The process-wide centre ("default notification centre").
    [[nodiscard]] static NotificationCenter& defaultCenter();

    /// Observes `name` from any sender (`sender` null) or from one sender.
    /// `observer` identifies the registration for removeObserver(observer).
    ObserverToken addObserver(const void* observer, std::string name, Callback callback, const void* sender = nullptr);
    void removeObserver(ObserverToken token);
    /// Removes every registration of `observer`.
    void removeObserver(const void* observer);
    /// Removes `observer`'s registrations for one name.
    void removeObserver(const void* observer, const std::string& name);

    void post(const std::string& name, const void* sender = nullptr, UserInfo userInfo = {});

    [[nodiscard]] std::size_t observerCount(const std::string& name) const;

private:
    struct Registration {
        ObserverToken token;
        const void* observer;
        std::string name;
        const void* sender;
        Callback callback;
        bool removed { false };
    };
    void removeWhere(const std::function<bool(const Registration&)>& predicate);
    void finishPost();

    std::vector<Registration> m_registrations;
    ObserverToken m_nextToken { 1 };
    int m_postDepth { 0 };
};

}
