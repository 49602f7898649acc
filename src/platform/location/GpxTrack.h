#pragma once

#include "platform/foundation/Result.h"
#include "platform/foundation/RunLoop.h"
#include "platform/location/PositionSource.h"

#include <optional>
#include <string>
#include <vector>

namespace hestio::platform {

/// A recorded walk: the track points of a GPX file, in order.
struct GpxTrack {
    struct Point {
        Coordinate coordinate;
        std::optional<double> secondsSince1970; ///< from <time>, when present
    };
    std::vector<Point> points;

    /// Reads the <trkpt> (or <rtept>/<wpt>) elements of a GPX document; an
    /// error when there are none or one is malformed.
    static Result<GpxTrack> parse(const std::string& xml);
    static Result<GpxTrack> load(const std::string& path);
};

/// Plays a track into a PositionSource on a run loop: the first point at once,
/// each next one after the time between their timestamps (or every
/// `defaultStepSeconds` when the track has no times).
class GpxPlayer {
public:
    GpxPlayer(GpxTrack track, PositionSource& source, double defaultStepSeconds = 5);
    ~GpxPlayer();
    void start();
    void stop();
    [[nodiscard]] bool isFinished() const { return m_next >= m_track.points.size(); }

private:
    void playNext();
    GpxTrack m_track;
    PositionSource& m_source;
    double m_step;
    std::size_t m_next { 0 };
    TimerHandle m_timer;
};

}
