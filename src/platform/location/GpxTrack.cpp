#include "platform/location/GpxTrack.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace hestio::platform {

namespace {

    std::optional<double> attribute(const std::string& tag, const std::string& name)
    {
        for (char quote : { '"', '\'' }) {
            std::string key = " " + name + "=" + quote;
            auto at = tag.find(key);
            if (at == std::string::npos)
                continue;
            auto start = at + key.size();
            auto end = tag.find(quote, start);
            if (end == std::string::npos)
                return std::nullopt;
            double value = 0;
            auto [ptr, ec] = std::from_chars(tag.data() + start, tag.data() + end, value);
            if (ec != std::errc() || ptr != tag.data() + end || !std::isfinite(value))
                return std::nullopt;
            return value;
        }
        return std::nullopt;
    }

    // "2012-12-06T08:30:00Z" (fractional seconds ignored; UTC only, as GPX writes).
    std::optional<double> parseTime(const std::string& text)
    {
        std::tm tm {};
        std::istringstream in(text);
        in >> std::get_time(&tm, "%Y-%m-%dT%H:%M:%S");
        if (in.fail())
            return std::nullopt;
        return static_cast<double>(timegm(&tm));
    }

}

Result<GpxTrack> GpxTrack::parse(const std::string& xml)
{
    GpxTrack track;
    std::size_t at = 0;
    for (;;) {
        std::size_t start = std::string::npos;
        std::size_t nameLength = 0;
        for (const char* name : { "<trkpt", "<rtept", "<wpt" }) {
            std::size_t found = xml.find(name, at);
            if (found < start) {
                start = found;
                nameLength = std::char_traits<char>::length(name);
            }
        }
        if (start == std::string::npos)
            break;
        std::size_t tagEnd = xml.find('>', start);
        if (tagEnd == std::string::npos)
            return Error("GPX track is cut short");
        std::string tag = " " + xml.substr(start + nameLength, tagEnd - start - nameLength);
        auto lat = attribute(tag, "lat");
        auto lon = attribute(tag, "lon");
        if (!lat || !lon || std::abs(*lat) > 90 || std::abs(*lon) > 180)
            return Error("GPX point at byte " + std::to_string(start) + " has no valid lat and lon");
        Point point { { *lat, *lon }, std::nullopt };
        bool selfClosing = tagEnd > 0 && xml[tagEnd - 1] == '/';
        at = tagEnd + 1;
        if (!selfClosing) {
            std::string closing = "</" + xml.substr(start + 1, nameLength - 1) + ">";
            std::size_t end = xml.find(closing, at);
            if (end == std::string::npos)
                return Error("GPX point at byte " + std::to_string(start) + " is not closed");
            std::string body = xml.substr(at, end - at);
            auto timeStart = body.find("<time>");
            auto timeEnd = body.find("</time>");
            if (timeStart != std::string::npos && timeEnd != std::string::npos && timeEnd > timeStart)
                point.secondsSince1970 = parseTime(body.substr(timeStart + 6, timeEnd - timeStart - 6));
            at = end + closing.size();
        }
        track.points.push_back(point);
    }
    if (track.points.empty())
        return Error("GPX file has no track points");
    return track;
}

Result<GpxTrack> GpxTrack::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Error("cannot read GPX file " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

GpxPlayer::GpxPlayer(GpxTrack track, PositionSource& source, double defaultStepSeconds)
    : m_track(std::move(track))
    , m_source(source)
    , m_step(defaultStepSeconds)
{
}

GpxPlayer::~GpxPlayer()
{
    stop();
}

void GpxPlayer::start()
{
    stop();
    m_next = 0;
    playNext();
}

void GpxPlayer::stop()
{
    m_timer.cancel();
}

void GpxPlayer::playNext()
{
    if (isFinished())
        return;
    RunLoop& loop = RunLoop::current();
    const GpxTrack::Point& point = m_track.points[m_next];
    m_source.moveTo(point.coordinate, loop.clock().now());
    ++m_next;
    if (isFinished())
        return;
    const GpxTrack::Point& following = m_track.points[m_next];
    double delay = m_step;
    if (point.secondsSince1970 && following.secondsSince1970)
        delay = std::max(0.0, *following.secondsSince1970 - *point.secondsSince1970);
    m_timer = loop.postDelayed(delay, [this] { playNext(); });
}

}
