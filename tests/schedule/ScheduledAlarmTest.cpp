#include "ScheduleTestSupport.h"

#include "platform/foundation/Calendar.h"
#include "schedule/ScheduledAlarm.h"
#include "json/Decoder.h"

using namespace hestio;

namespace {

struct ScheduledAlarmTest : test::HouseholdFixture { };

json::Value decode(const std::string& text)
{
    return json::objectFromJSONString(text);
}

}

TEST_F(ScheduledAlarmTest, ServiceFormRoundTripsWhateverThePhonesZone)
{
    struct Case {
        const char* reply;
        const char* body;
    };
    const Case cases[] = {
        { R"({"title":"Work","startHour":8,"startMin":5,"endHour":17,"endMin":30,"repeatDays":"135"})",
            "title=Work&startHour=8&startMin=5&endHour=17&endMin=30&repeatDays=135" },
        { R"({"title":"Gym","startHour":"0","startMin":"0","endHour":"23","endMin":"59","repeatDays":"7"})",
            "title=Gym&startHour=0&startMin=0&endHour=23&endMin=59&repeatDays=7" },
        { R"({"title":"Home","startHour":6,"startMin":0,"endHour":7,"endMin":1,"repeatDays":""})",
            "title=Home&startHour=6&startMin=0&endHour=7&endMin=1&repeatDays=" },
        { R"({"title":"Home","startHour":6,"startMin":0,"endHour":7,"endMin":1})",
            "title=Home&startHour=6&startMin=0&endHour=7&endMin=1&repeatDays=" },
        { R"({"title":"Twice","startHour":1,"startMin":2,"endHour":3,"endMin":4,"repeatDays":"7711x9"})",
            "title=Twice&startHour=1&startMin=2&endHour=3&endMin=4&repeatDays=17" },
        // A title with separators cannot split the body.
        { R"({"title":"Mum & Dad=1","startHour":1,"startMin":2,"endHour":3,"endMin":4,"repeatDays":"2"})",
            "title=Mum%20%26%20Dad%3D1&startHour=1&startMin=2&endHour=3&endMin=4&repeatDays=2" },
    };
    for (const char* zone : { "Asia/Tokyo", "UTC", "Pacific/Honolulu" }) {
        platform::TimeZone::setDefaultZone(platform::TimeZone::named(zone));
        for (const auto& c : cases) {
            auto alarm = ScheduledAlarm::initWithJSONData(decode(c.reply));
            EXPECT_EQ(alarm->createPostParameters(), c.body) << c.reply << " on a phone in " << zone;
        }
    }
}

TEST_F(ScheduledAlarmTest, ReadTimesAreWallClockInTheHousehold)
{
    auto alarm = ScheduledAlarm::initWithJSONData(
        decode(R"({"title":"Work","startHour":8,"startMin":5,"endHour":17,"endMin":30,"repeatDays":"7"})"));
    platform::Calendar newYork(household());
    auto start = newYork.components(alarm->startDate);
    EXPECT_EQ(start.hour, 8);
    EXPECT_EQ(start.minute, 5);
    EXPECT_EQ(start.second, 0);
    EXPECT_EQ(newYork.components(alarm->endDate).hour, 17);
    EXPECT_EQ(alarm->title, "Work");
    EXPECT_EQ(alarm->repeatDays, (std::array<bool, 7> { false, false, false, false, false, false, true }));
}

TEST_F(ScheduledAlarmTest, PhoneMadeScheduleHasNoRepeatDays)
{
    auto alarm = ScheduledAlarm::initWithLeaveDate(householdTime(7, 45), householdTime(18, 10), "Home");
    EXPECT_EQ(alarm->getRepeatDaysAsString(), "");
    EXPECT_EQ(alarm->createPostParameters(), "title=Home&startHour=7&startMin=45&endHour=18&endMin=10&repeatDays=");
    alarm->repeatDays[0] = alarm->repeatDays[2] = alarm->repeatDays[4] = true;
    EXPECT_EQ(alarm->getRepeatDaysAsString(), "135");
}
