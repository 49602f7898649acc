#pragma once

#include "charting/Layer.h"
#include "charting/PlotRange.h"
#include "charting/PlotSpace.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace hestio::chart {

class Graph;
class Plot;

/// A value as a data source hands it over: the null value, a double or an
/// exact decimal.
using PlotNumber = std::variant<std::monostate, double, Decimal>;

struct IndexRange {
    std::size_t location { 0 };
    std::size_t length { 0 };
    std::size_t end() const { return location + length; }
};

/// Supplies a plot's records. Every bulk or per-record method is optional:
/// the defaults answer none, meaning "not implemented", and the plot asks
/// the next one in order of preference (doubles in bulk, numbers in bulk, one
/// double, one number). A source implementing none of them gives zeros.
class PlotDataSource {
public:
    virtual ~PlotDataSource() = default;
    virtual std::size_t numberOfRecordsForPlot(Plot& plot) = 0;
    virtual std::optional<std::vector<double>> doublesForPlot(Plot&, unsigned, IndexRange) { return std::nullopt; }
    virtual std::optional<std::vector<PlotNumber>> numbersForPlot(Plot&, unsigned, IndexRange) { return std::nullopt; }
    virtual std::optional<double> doubleForPlot(Plot&, unsigned, std::size_t) { return std::nullopt; }
    /// Return PlotNumber {} (the null value) for a record without a value.
    virtual std::optional<PlotNumber> numberForPlot(Plot&, unsigned, std::size_t) { return std::nullopt; }
};

/// The base of every plot: a layer of the plot area that caches its data
/// source's numbers, one array per field, and draws them through its plot
/// space. The graph owns its plots; `graph` is a non-owning back-pointer.
class Plot : public Layer {
public:
    enum class CachePrecision { Automatic = 0, Double = 1, Decimal = 2 };

    Plot();

    const std::string& identifier() const { return m_identifier; }
    void setIdentifier(std::string identifier) { m_identifier = std::move(identifier); }
    std::shared_ptr<PlotDataSource> dataSource() const { return m_dataSource.lock(); }
    void setDataSource(std::weak_ptr<PlotDataSource> source);
    const std::shared_ptr<PlotSpace>& plotSpace() const { return m_plotSpace; }
    void setPlotSpace(std::shared_ptr<PlotSpace> space) { m_plotSpace = std::move(space); }
    Graph* graph() const { return m_graph; }
    void setGraph(Graph* graph) { m_graph = graph; }
    CachePrecision cachePrecision() const { return m_cachePrecision; }
    void setCachePrecision(CachePrecision precision) { m_cachePrecision = precision; }
    bool alignsPointsToPixels() const { return m_alignsPointsToPixels; }
    void setAlignsPointsToPixels(bool aligns) { m_alignsPointsToPixels = aligns; }

    /// Empties the cache and reloads every record.
    void reloadData();
    void reloadDataInIndexRange(IndexRange range);
    void insertDataAtIndex(std::size_t index, std::size_t numberOfRecords);
    void deleteDataInIndexRange(IndexRange range);
    void setDataNeedsReloading() { m_dataNeedsReloading = true; }
    bool dataNeedsReloading() const { return m_dataNeedsReloading; }

    /// Reloads first when marked.
    std::size_t cachedDataCount();
    /// None when the field was never loaded.
    const std::vector<double>* cachedDoublesForField(unsigned field) const;
    double cachedDoubleForField(unsigned field, std::size_t index) const;
    /// Changes whenever the cached values may have changed (loaded, inserted,
    /// deleted or cleared), so that what is derived from them can be kept.
    std::uint64_t dataGeneration() const { return m_dataGeneration; }
    Decimal cachedDecimalForField(unsigned field, std::size_t index) const;

    /// The range the plot's finite data covers on one coordinate, cut back
    /// to ±PlotRange::largestMagnitude; none without such data.
    [[nodiscard]] virtual std::optional<PlotRange> plotRangeForCoordinate(Coordinate coordinate);

    virtual bool pointingDeviceDownEvent(const PointerEvent&, platform::Point) { return false; }
    virtual bool pointingDeviceDraggedEvent(const PointerEvent&, platform::Point) { return false; }
    virtual bool pointingDeviceUpEvent(const PointerEvent&, platform::Point) { return false; }
    virtual bool pointingDeviceCancelledEvent(const PointerEvent&) { return false; }

protected:
    /// Fetches the plot's fields for `range` into the cache.
    virtual void reloadFieldsInRange(IndexRange range) = 0;
    /// The fields that run along a coordinate (for plot ranges).
    virtual std::vector<unsigned> fieldsForCoordinate(Coordinate coordinate) const = 0;
    void cacheField(unsigned field, IndexRange range);
    void clearField(unsigned field);
    /// Makes sure the data is loaded before drawing.
    void reloadIfNeeded();

private:
    std::string m_identifier;
    std::weak_ptr<PlotDataSource> m_dataSource;
    std::shared_ptr<PlotSpace> m_plotSpace;
    Graph* m_graph { nullptr };
    CachePrecision m_cachePrecision { CachePrecision::Automatic };
    bool m_alignsPointsToPixels { true };
    bool m_dataNeedsReloading { false };
    std::size_t m_cachedDataCount { 0 };
    std::uint64_t m_dataGeneration { 0 };
    std::map<unsigned, std::vector<double>> m_doubles;
    std::map<unsigned, std::vector<Decimal>> m_decimals;
};

}
