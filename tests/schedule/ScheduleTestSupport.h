#pragma once

#include "../app/SessionTestSupport.h"

#include "model/User.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/TimeZone.h"

namespace hestio::test {

/// A signed-in session whose household lives in New York, on a phone whose
/// own zone is Tokyo, so any mix-up between the two zones shows.
struct HouseholdFixture : SessionFixture {
    HouseholdFixture(const std::string& type = "ADMIN")
    {
        platform::TimeZone::setDefaultZone(platform::TimeZone::named("Asia/Tokyo"));
        auto user = User::initWithUsername("demo", "T0K3N");
        user->type = type;
        user->household = json::Value::dictionary(
            { { "name", "The Demos" }, { "timeZoneArea", "America/New_York" }, { "UTCTimeZone", "-5" } });
        session().setCurUser(user);
    }
    ~HouseholdFixture() override { platform::TimeZone::setDefaultZone(std::nullopt); }

    static platform::TimeZone household() { return *platform::TimeZone::named("America/New_York"); }
    /// Today's (the manual clock's) hour and minute in the household's zone.
    /// The household's zone as the screens get it from the session.
    platform::TimeZone householdZone() { return userSession()->householdTimeZone(); }

    platform::Date householdTime(int hour, int minute)
    {
        platform::Calendar calendar(household());
        auto parts = calendar.components(loop.now());
        parts.hour = hour;
        parts.minute = minute;
        parts.second = 0;
        return calendar.date(parts);
    }
    void addSavedLocation(const std::string& title)
    {
        session().savedLocations().push_back(Location::initWithTitle(title, platform::GeoLocation {}));
    }
    std::string lastBody() const { return transport->lastRequest().body; }
};

}
