#include "charting/NumberFormatter.h"

#include <algorithm>

namespace hestio::chart {

DecimalNumberFormatter::DecimalNumberFormatter(int minimumFractionDigits, int maximumFractionDigits)
    : m_minimumFractionDigits(minimumFractionDigits)
    , m_maximumFractionDigits(std::max(minimumFractionDigits, maximumFractionDigits))
{
}

std::string DecimalNumberFormatter::stringForObjectValue(const Decimal& value) const
{
    if (value.isNaN())
        return "NaN";
    std::string text = value.rounded(m_maximumFractionDigits).toString();
    auto point = text.find('.');
    int fraction = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
    if (fraction < m_minimumFractionDigits) {
        if (point == std::string::npos && m_minimumFractionDigits > 0)
            text += '.';
        text.append(m_minimumFractionDigits - fraction, '0');
    }
    return text;
}

TimeFormatter::TimeFormatter()
{
    auto formatter = std::make_shared<platform::DateFormatter>();
    formatter->setDateStyle(platform::DateFormatter::Style::Medium);
    formatter->setTimeStyle(platform::DateFormatter::Style::Medium);
    m_dateFormatter = std::move(formatter);
}

std::string TimeFormatter::stringForObjectValue(const Decimal& value) const
{
    if (!m_dateFormatter)
        return {};
    platform::Date base = m_referenceDate.value_or(platform::Date(referenceDateSince1970));
    return m_dateFormatter->stringFromDate(base.addingTimeInterval(value.toDouble()));
}

}
