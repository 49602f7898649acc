#include "graphs/GraphWeekLoader.h"

#include <utility>

namespace hestio {

namespace {

    /// The delegate of one week's request: it remembers which week was asked
    /// for and hands the answer on as that week's, however many other weeks
    /// are on their way and in whatever order they come back. It keeps the
    /// listener alive until then.
    class WeekReply final : public WebServiceConnectorDelegate {
    public:
        WeekReply(std::shared_ptr<GraphWeekLoader::Listener> listener, GraphWeekLoader::Week week)
            : m_listener(std::move(listener))
            , m_week(week)
        {
        }

        void requestFinished(WebServiceConnector& request, bool success, const json::Value& data) override
        {
            m_text = request.takeReplyBody();
            WebServiceConnectorDelegate::requestFinished(request, success, data);
        }
        void dataReceived(bool success, const json::Value& data, int) override
        {
            if (auto listener = std::exchange(m_listener, nullptr))
                listener->weekReceived(m_week, success, data, std::exchange(m_text, std::string()));
        }
        void dataSent(bool success, int) override
        {
            if (auto listener = std::exchange(m_listener, nullptr))
                listener->weekReceived(m_week, success, json::Value(), {});
        }
        bool requestToServerFailedWithError(const platform::TransportError&, const std::string&) override
        {
            if (auto listener = std::exchange(m_listener, nullptr))
                listener->weekFailedInTransport(m_week);
            return true;
        }

    private:
        std::shared_ptr<GraphWeekLoader::Listener> m_listener;
        GraphWeekLoader::Week m_week;
        /// The reply's text, from the request to the listener.
        std::string m_text;
    };

}

void GraphWeekLoader::start(platform::Date now)
{
    stop();
    m_nextEnd = now;
    m_nextWeek = 0;
}

void GraphWeekLoader::stop()
{
    ++m_load;
    m_toRetry.clear();
    m_inFlight.clear();
    m_spans.clear();
}

void GraphWeekLoader::sendRequests(const std::shared_ptr<Listener>& listener, const Request& request)
{
    if (!m_toRetry.empty()) {
        for (const Week& week : std::exchange(m_toRetry, {}))
            send(week, listener, request);
        return;
    }
    Week week { m_nextWeek, m_nextEnd, m_load };
    ++m_nextWeek;
    send(week, listener, request);
    m_nextEnd = platform::Date(m_spans[week.index].start);
}

void GraphWeekLoader::send(const Week& week, const std::shared_ptr<Listener>& listener, const Request& request)
{
    // On its way before it is sent: an answer may come within the call.
    m_inFlight.insert(week.index);
    platform::Date start = request(week.end, std::make_shared<WeekReply>(listener, week));
    m_spans[week.index] = { start.timeIntervalSince1970(), week.end.timeIntervalSince1970() };
}

bool GraphWeekLoader::arrived(const Week& week)
{
    if (week.load != m_load)
        return false;
    m_inFlight.erase(week.index);
    return true;
}

bool GraphWeekLoader::lost(const Week& week)
{
    if (!arrived(week))
        return false;
    m_toRetry.push_back(week);
    return true;
}

}
