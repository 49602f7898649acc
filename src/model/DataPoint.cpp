#include "model/DataPoint.h"

#include "json/Serializer.h"

#include <cstdint>

namespace hestio {

DataPoint::DataPoint(json::Value point, platform::Date refDate)
    : m_point(std::move(point))
    , m_refDate(refDate)
    , m_timeInterval(getTimeInterval())
{
}

double DataPoint::getTimeInterval() const
{
    const json::Value& timestamp = m_point["timestamp"];
    const json::Value& time = timestamp.isNone() ? m_point["from"] : timestamp;
    std::int64_t milliseconds = time.integerValue();
    // Whole seconds only: integer division drops the milliseconds toward zero.
    auto seconds = static_cast<double>(milliseconds / 1000);
    return platform::Date(seconds).timeIntervalSince(m_refDate);
}

std::string DataPoint::description() const
{
    return json::JSONString(m_point).value_or(std::string());
}

}
