#include "platform/location/PositionSource.h"

#include <vector>

namespace hestio::platform {

PositionSource& PositionSource::shared()
{
    static PositionSource source;
    return source;
}

void PositionSource::moveTo(Coordinate coordinate, Date when, double accuracy)
{
    m_current = GeoLocation { coordinate, accuracy, when };
    // Listeners may add or remove listeners while being told.
    std::vector<ListenerId> ids;
    for (const auto& [id, listener] : m_listeners)
        ids.push_back(id);
    for (ListenerId id : ids) {
        auto it = m_listeners.find(id);
        if (it != m_listeners.end() && m_current) {
            Listener listener = it->second;
            listener(*m_current);
        }
    }
}

PositionSource::ListenerId PositionSource::addListener(Listener listener)
{
    ListenerId id = m_nextId++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void PositionSource::removeListener(ListenerId id)
{
    m_listeners.erase(id);
}

}
