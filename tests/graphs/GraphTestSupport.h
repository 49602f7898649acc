#pragma once

#include "../app/SessionTestSupport.h"

#include "graphs/GraphViewController.h"
#include "model/User.h"
#include "platform/ui/TouchSynthesizer.h"
#include "platform/ui/Window.h"
#include "json/Decoder.h"

#include <string>

namespace hestio::test {

/// A signed-in household in Berlin (UTC+1 in December) at 16:30 local time
/// on 6 December 2012, with a fake service.
struct GraphFixture : SessionFixture {
    /// 2012-12-06 15:30:00 UTC.
    static constexpr double nowSeconds = 1354807800.0;
    /// 2012-12-06 00:00 in Berlin = 2012-12-05 23:00 UTC.
    static constexpr double berlinMidnight = 1354748400.0;
    static constexpr double day = 86400.0;

    GraphFixture()
    {
        loop.clock().setNow(platform::Date(nowSeconds));
        auto user = User::initWithUsername("demo", "T0K3N");
        user->household
            = json::Value::dictionary({ { json::Value::string("timeZoneArea"), json::Value::string("Europe/Berlin") },
                { json::Value::string("UTCTimeZone"), json::Value::string("1") } });
        session().setCurUser(user);
    }

    /// Loads the screen's view (which sends the first request).
    template<class Controller> std::shared_ptr<Controller> load(std::shared_ptr<Controller> controller)
    {
        controller->view();
        return controller;
    }

    /// A reply of `count` samples an hour apart from `firstSeconds` under
    /// `arrayKey`, with `valueKey` = `value`.
    static std::string samplesReply(const std::string& arrayKey, const std::string& timeKey,
        const std::string& valueKey, double firstSeconds, int count, double value = 1.0)
    {
        std::string body = R"({"success":true,")" + arrayKey + R"(":[)";
        for (int i = 0; i < count; ++i) {
            if (i)
                body += ",";
            body += R"({")" + timeKey + R"(":)"
                + std::to_string(static_cast<long long>((firstSeconds + i * 3600) * 1000)) + R"(,")" + valueKey
                + R"(":)" + std::to_string(value) + "}";
        }
        return body + "]}";
    }

    static std::string ms(double seconds) { return std::to_string(static_cast<long long>(seconds * 1000)); }

    /// The query of the last request, after "?" .
    std::string lastQuery() const
    {
        std::string url = transport->lastRequest().url;
        auto mark = url.find('?');
        return mark == std::string::npos ? std::string() : url.substr(mark + 1);
    }
    std::string lastPath() const
    {
        std::string url = transport->lastRequest().url;
        auto start = url.find("/kivoraserver");
        auto mark = url.find('?');
        return url.substr(start, mark - start);
    }
};

}
