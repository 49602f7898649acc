#include "charting/Plot.h"

#include "charting/Exception.h"

#include <algorithm>
#include <cmath>

namespace hestio::chart {

namespace {

    double toDouble(const PlotNumber& n)
    {
        if (auto d = std::get_if<double>(&n))
            return *d;
        if (auto d = std::get_if<Decimal>(&n))
            return d->toDouble();
        return std::nan("");
    }

    Decimal toDecimal(const PlotNumber& n)
    {
        if (auto d = std::get_if<Decimal>(&n))
            return *d;
        if (auto d = std::get_if<double>(&n))
            return Decimal::fromDouble(*d);
        return Decimal::notANumber();
    }

}

Plot::Plot()
{
    setMasksToBounds(true);
}

void Plot::setDataSource(std::weak_ptr<PlotDataSource> source)
{
    if (!source.owner_before(m_dataSource) && !m_dataSource.owner_before(source))
        return;
    m_dataSource = std::move(source);
    setDataNeedsReloading();
}

void Plot::reloadData()
{
    ++m_dataGeneration;
    m_doubles.clear();
    m_decimals.clear();
    m_cachedDataCount = 0;
    auto source = dataSource();
    std::size_t count = source ? source->numberOfRecordsForPlot(*this) : 0;
    m_cachedDataCount = count;
    reloadDataInIndexRange({ 0, count });
}

void Plot::reloadDataInIndexRange(IndexRange range)
{
    if (range.end() > m_cachedDataCount)
        throw InternalInconsistencyException("NSMaxRange(indexRange) <= self.cachedDataCount");
    m_dataNeedsReloading = false;
    reloadFieldsInRange(range);
}

void Plot::insertDataAtIndex(std::size_t index, std::size_t numberOfRecords)
{
    if (index > m_cachedDataCount)
        throw InternalInconsistencyException("index <= self.cachedDataCount");
    ++m_dataGeneration;
    for (auto& [field, values] : m_doubles)
        values.insert(values.begin() + std::min(index, values.size()), numberOfRecords, std::nan(""));
    for (auto& [field, values] : m_decimals)
        values.insert(values.begin() + std::min(index, values.size()), numberOfRecords, Decimal::notANumber());
    m_cachedDataCount += numberOfRecords;
    reloadDataInIndexRange({ index, numberOfRecords });
}

void Plot::deleteDataInIndexRange(IndexRange range)
{
    if (range.end() > m_cachedDataCount)
        throw InternalInconsistencyException("NSMaxRange(indexRange) <= self.cachedDataCount");
    ++m_dataGeneration;
    for (auto& [field, values] : m_doubles)
        values.erase(values.begin() + range.location, values.begin() + std::min(range.end(), values.size()));
    for (auto& [field, values] : m_decimals)
        values.erase(values.begin() + range.location, values.begin() + std::min(range.end(), values.size()));
    m_cachedDataCount -= range.length;
}

std::size_t Plot::cachedDataCount()
{
    reloadIfNeeded();
    return m_cachedDataCount;
}

void Plot::reloadIfNeeded()
{
    if (m_dataNeedsReloading)
        reloadData();
}

const std::vector<double>* Plot::cachedDoublesForField(unsigned field) const
{
    auto it = m_doubles.find(field);
    return it == m_doubles.end() ? nullptr : &it->second;
}

double Plot::cachedDoubleForField(unsigned field, std::size_t index) const
{
    auto values = cachedDoublesForField(field);
    return values && index < values->size() ? (*values)[index] : std::nan("");
}

Decimal Plot::cachedDecimalForField(unsigned field, std::size_t index) const
{
    auto it = m_decimals.find(field);
    if (it != m_decimals.end())
        return index < it->second.size() ? it->second[index] : Decimal::notANumber();
    return Decimal::fromDouble(cachedDoubleForField(field, index));
}

void Plot::clearField(unsigned field)
{
    ++m_dataGeneration;
    m_doubles.erase(field);
    m_decimals.erase(field);
}

void Plot::cacheField(unsigned field, IndexRange range)
{
    auto source = dataSource();
    std::vector<double> doubles;
    std::vector<Decimal> decimals;
    bool keepDecimals = m_cachePrecision == CachePrecision::Decimal;
    // Filled value by value: made at their size at once, not grown through
    // ever larger blocks (a graph's weeks are tens of thousands of records).
    auto reserve = [&] {
        doubles.reserve(range.length);
        if (keepDecimals)
            decimals.reserve(range.length);
    };
    if (source && range.length > 0) {
        if (auto bulk = source->doublesForPlot(*this, field, range)) {
            doubles = std::move(*bulk);
        } else if (auto numbers = source->numbersForPlot(*this, field, range)) {
            reserve();
            for (const auto& n : *numbers) {
                doubles.push_back(toDouble(n));
                if (keepDecimals)
                    decimals.push_back(toDecimal(n));
            }
        } else if (auto first = source->doubleForPlot(*this, field, range.location)) {
            reserve();
            doubles.push_back(*first);
            for (std::size_t i = range.location + 1; i < range.end(); ++i)
                doubles.push_back(source->doubleForPlot(*this, field, i).value_or(std::nan("")));
        } else if (auto firstNumber = source->numberForPlot(*this, field, range.location)) {
            reserve();
            auto add = [&](const PlotNumber& n) {
                doubles.push_back(toDouble(n));
                if (keepDecimals)
                    decimals.push_back(toDecimal(n));
            };
            add(*firstNumber);
            for (std::size_t i = range.location + 1; i < range.end(); ++i)
                add(source->numberForPlot(*this, field, i).value_or(PlotNumber {}));
        }
    }
    // A source that answers fewer values than asked for, or none at all,
    // leaves the rest as zeros rather than shifting later records.
    doubles.resize(range.length, 0.0);
    if (keepDecimals) {
        if (decimals.empty())
            for (double d : doubles)
                decimals.push_back(std::isnan(d) ? Decimal::notANumber() : Decimal::fromDouble(d));
        decimals.resize(range.length, Decimal(0));
    }
    ++m_dataGeneration;
    // Values for every record cached so far (a reload) take the place of the
    // cached ones rather than being copied into them.
    auto& cached = m_doubles[field];
    if (range.location == 0 && cached.size() <= range.length) {
        cached = std::move(doubles);
    } else {
        cached.resize(std::max(cached.size(), range.end()), std::nan(""));
        std::copy(doubles.begin(), doubles.end(), cached.begin() + range.location);
    }
    if (keepDecimals) {
        auto& cachedDecimals = m_decimals[field];
        if (range.location == 0 && cachedDecimals.size() <= range.length) {
            cachedDecimals = std::move(decimals);
        } else {
            cachedDecimals.resize(std::max(cachedDecimals.size(), range.end()), Decimal::notANumber());
            std::copy(decimals.begin(), decimals.end(), cachedDecimals.begin() + range.location);
        }
    }
}

std::optional<PlotRange> Plot::plotRangeForCoordinate(Coordinate coordinate)
{
    reloadIfNeeded();
    // Missing and infinite values have no place on an axis.
    double lo = INFINITY, hi = -INFINITY;
    for (unsigned field : fieldsForCoordinate(coordinate))
        if (auto values = cachedDoublesForField(field))
            for (double v : *values)
                if (std::isfinite(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
    if (lo > hi)
        return std::nullopt;
    return PlotRange::spanningDoubles(lo, hi);
}

}
