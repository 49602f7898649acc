#include "platform/foundation/NotificationCenter.h"

#include <algorithm>

namespace hestio::platform {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(
    const void* observer, std::string name, Callback callback, const void* sender)
{
    ObserverToken token = m_nextToken++;
    m_registrations.push_back({ token, observer, std::move(name), sender, std::move(callback) });
    return token;
}

void NotificationCenter::removeObserver(ObserverToken token)
{
    removeWhere([token](const Registration& registration) { return registration.token == token; });
}

void NotificationCenter::removeObserver(const void* observer)
{
    removeWhere([observer](const Registration& registration) { return registration.observer == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name)
{
    removeWhere([&](const Registration& registration) {
        return registration.observer == observer && registration.name == name;
    });
}

void NotificationCenter::removeWhere(const std::function<bool(const Registration&)>& predicate)
{
    for (auto& registration : m_registrations) {
        if (predicate(registration))
            registration.removed = true;
    }
    // While a post is walking the list, removed entries are only marked, so
    // that the walk's positions stay valid; the outermost post sweeps them.
    if (m_postDepth == 0)
        std::erase_if(m_registrations, [](const Registration& registration) { return registration.removed; });
}

void NotificationCenter::post(const std::string& name, const void* sender, UserInfo userInfo)
{
    Notification notification { name, sender, std::move(userInfo) };
    // Observers added during delivery hear the next post, not this one.
    std::size_t count = m_registrations.size();
    ++m_postDepth;
    try {
        for (std::size_t i = 0; i < count; ++i) {
            const Registration& registration = m_registrations[i];
            if (registration.removed || registration.name != name)
                continue;
            if (registration.sender && registration.sender != sender)
                continue;
            // A copy: the callback may add observers, which can move the list.
            Callback callback = registration.callback;
            if (callback)
                callback(notification);
        }
    } catch (...) {
        finishPost();
        throw;
    }
    finishPost();
}

void NotificationCenter::finishPost()
{
    if (--m_postDepth == 0)
        std::erase_if(m_registrations, [](const Registration& registration) { return registration.removed; });
}

std::size_t NotificationCenter::observerCount(const std::string& name) const
{
    return static_cast<std::size_t>(std::count_if(
        m_registrations.begin(), m_registrations.end(), [&](const auto& r) { return !r.removed && r.name == name; }));
}

}
