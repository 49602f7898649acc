#include "charting/NumberFormatter.h"

#include <algorithm>

namespace hestio::chart {

DecimalNumberFormatter::DecimalNumberFormatter(int minimumFractionDigits, int maximumFractionDigits)
    : m_minimumFractionDigits(minimumFractionDigits)
    , m_maximumFractionDigits(std::max(minimumFractionDigits, maximumFractionDigits))
{
}

namespace {

    /// The power of ten of a value's leading digit; 0 for zero.
    int decimalExponent(const Decimal& value)
    {
        int digits = 0;
        for (Decimal::Mantissa m = value.mantissa(); m > 0; m /= 10)
            ++digits;
        return digits == 0 ? 0 : value.exponent() + digits - 1;
    }

}

std::string DecimalNumberFormatter::stringForObjectValue(const Decimal& value) const
{
    if (value.isNaN())
        return "NaN";
    const Decimal rounded = value.rounded(m_maximumFractionDigits);
    int exponent = decimalExponent(rounded);
    if (exponent < scientificFrom - 1)
        return plainText(rounded);
    // The leading digit before the point, rounded to the fraction digits;
    // rounding up to ten moves the exponent on.
    Decimal leading
        = Decimal::fromParts(value.isNegative(), value.mantissa(), value.exponent() - decimalExponent(value))
              .rounded(m_maximumFractionDigits);
    exponent = decimalExponent(value);
    if (leading.abs() >= Decimal(10)) {
        leading = leading / Decimal(10);
        ++exponent;
    }
    return plainText(leading) + "e" + std::to_string(exponent);
}

std::string DecimalNumberFormatter::plainText(const Decimal& rounded) const
{
    std::string text = rounded.toString();
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
