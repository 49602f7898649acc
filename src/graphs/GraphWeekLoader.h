#pragma once

#include "graphs/DataGaps.h"
#include "net/WebServiceConnector.h"
#include "platform/foundation/Date.h"
#include "json/Value.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace hestio {

/// What asks a graph screen's service for its samples, a week at a time:
/// the newest week first (ending at the moment the screen loaded), then each
/// older week as the screen asks for it, any number on their way at once and
/// answered in any order. A week lost in transport is asked for again before
/// the next older one; an answer for an earlier load of the screen (its view
/// was let go of meanwhile) is dropped.
class GraphWeekLoader {
public:
    /// One week asked for: week 0 ends at the moment the screen loaded, week
    /// n + 1 ends where week n starts.
    struct Week {
        unsigned index { 0 };
        platform::Date end;
        /// Which load of the screen asked for it.
        unsigned load { 0 };
    };

    /// Who hears the answers. The request keeps it alive until its answer.
    class Listener {
    public:
        virtual ~Listener() = default;
        /// The service answered `week` (a refusal has success false); `text`
        /// is the reply as it came, the listener's to keep.
        virtual void weekReceived(const Week& week, bool success, const json::Value& data, std::string text) = 0;
        /// The request for `week` did not reach the service.
        virtual void weekFailedInTransport(const Week& week) = 0;
    };

    /// Sends the request for the week ending at `end` with `replyTo` as its
    /// delegate and returns where the week starts.
    using Request
        = std::function<platform::Date(platform::Date end, std::shared_ptr<WebServiceConnectorDelegate> replyTo)>;

    /// A new load of the screen at `now`: nothing is held or on its way, and
    /// the next week asked for is week 0, ending at `now`.
    void start(platform::Date now);
    /// The screen's view is let go of: answers still on their way are dropped.
    void stop();

    /// Asks again for the weeks lost in transport, or else for the next
    /// older week.
    void sendRequests(const std::shared_ptr<Listener>& listener, const Request& request);
    /// An answer for `week` came: false when it belongs to an earlier load
    /// (then it is to be dropped); true, and the week is no longer on its
    /// way, otherwise.
    bool arrived(const Week& week);
    /// The request for `week` was lost in transport: it is asked for again
    /// by the next sendRequests. False for a week of an earlier load.
    bool lost(const Week& week);

    /// The week the screen loaded into.
    [[nodiscard]] unsigned load() const { return m_load; }
    /// How many requests are on their way.
    [[nodiscard]] std::size_t weeksLoading() const { return m_inFlight.size(); }
    [[nodiscard]] const std::set<unsigned>& weeksInFlight() const { return m_inFlight; }
    /// The weeks lost in transport, to be asked for again.
    [[nodiscard]] const std::vector<Week>& weeksToRetry() const { return m_toRetry; }
    /// The stretch each week asked for covers, by week index.
    [[nodiscard]] const std::map<unsigned, TimeSpan>& spans() const { return m_spans; }
    /// Where the next older week ends (the start of the oldest asked for).
    [[nodiscard]] platform::Date nextEnd() const { return m_nextEnd; }

private:
    void send(const Week& week, const std::shared_ptr<Listener>& listener, const Request& request);

    platform::Date m_nextEnd;
    unsigned m_nextWeek { 0 };
    unsigned m_load { 0 };
    std::vector<Week> m_toRetry;
    std::set<unsigned> m_inFlight;
    std::map<unsigned, TimeSpan> m_spans;
};

}
