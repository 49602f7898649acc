#include "schedule/ScheduleTestSupport.h"

#include "model/ScheduledAlarm.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/DateFormatter.h"
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
            auto alarm = ScheduledAlarm::initWithJSONData(decode(c.reply), householdZone());
            EXPECT_EQ(alarm->createPostParameters(), c.body) << c.reply << " on a phone in " << zone;
        }
    }
}

TEST_F(ScheduledAlarmTest, ReadTimesAreWallClockInTheHousehold)
{
    auto alarm = ScheduledAlarm::initWithJSONData(
        decode(R"({"title":"Work","startHour":8,"startMin":5,"endHour":17,"endMin":30,"repeatDays":"7"})"),
        householdZone());
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
    auto alarm
        = ScheduledAlarm::initWithLeaveDate(householdTime(7, 45), householdTime(18, 10), "Home", householdZone());
    EXPECT_EQ(alarm->getRepeatDaysAsString(), "");
    EXPECT_EQ(alarm->createPostParameters(), "title=Home&startHour=7&startMin=45&endHour=18&endMin=10&repeatDays=");
    alarm->repeatDays[0] = alarm->repeatDays[2] = alarm->repeatDays[4] = true;
    EXPECT_EQ(alarm->getRepeatDaysAsString(), "135");
}

TEST_F(ScheduledAlarmTest, TimesGoBackAsReceivedOnClockChangeDaysInTheHousehold)
{
    // Instants in New York around both clock changes of 2026: on 8 March
    // 02:00-02:59 does not exist, on 1 November 01:00-01:59 happens twice.
    struct Day {
        const char* name;
        double now;
    };
    const Day days[] = {
        { "7 March, noon", 1772902800 },
        { "8 March, 01:59 EST", 1772953140 },
        { "8 March, 03:00 EDT", 1772953200 },
        { "8 March, noon", 1772985600 },
        { "1 November, 00:30 EDT", 1793507400 },
        { "1 November, first 01:30", 1793511000 },
        { "1 November, second 01:30", 1793514600 },
        { "1 November, noon", 1793552400 },
    };
    struct Time {
        int hour;
        int minute;
        const char* shown;
    };
    const Time times[] = { { 2, 30, "02:30 AM" }, { 2, 0, "02:00 AM" }, { 2, 59, "02:59 AM" }, { 3, 0, "03:00 AM" },
        { 1, 30, "01:30 AM" }, { 1, 0, "01:00 AM" }, { 0, 0, "12:00 AM" }, { 23, 59, "11:59 PM" } };
    platform::DateFormatter formatter("hh:mm a");
    formatter.setTimeZone(household());
    for (const Day& day : days) {
        loop.clock().setNow(platform::Date(day.now));
        for (const Time& time : times) {
            std::string reply = R"({"title":"Work","startHour":)" + std::to_string(time.hour) + R"(,"startMin":)"
                + std::to_string(time.minute) + R"(,"endHour":)" + std::to_string(time.hour) + R"(,"endMin":)"
                + std::to_string(time.minute) + R"(,"repeatDays":"12"})";
            auto alarm = ScheduledAlarm::initWithJSONData(decode(reply), householdZone());
            std::string hm = std::to_string(time.hour) + "&startMin=" + std::to_string(time.minute);
            EXPECT_EQ(alarm->createPostParameters(),
                "title=Work&startHour=" + hm + "&endHour=" + std::to_string(time.hour)
                    + "&endMin=" + std::to_string(time.minute) + "&repeatDays=12")
                << day.name << ", " << time.shown;
            EXPECT_EQ(formatter.stringFromDate(alarm->startDate), time.shown) << day.name;
            EXPECT_EQ(formatter.stringFromDate(alarm->endDate), time.shown) << day.name;
        }
    }
}

TEST_F(ScheduledAlarmTest, TimesOutOfTheClocksRangeAreSentBackUnchanged)
{
    auto alarm = ScheduledAlarm::initWithJSONData(
        decode(
            R"({"title":"Odd","startHour":24,"startMin":60,"endHour":-1,"endMin":9223372036854775807,"repeatDays":""})"),
        householdZone());
    EXPECT_EQ(alarm->createPostParameters(),
        "title=Odd&startHour=24&startMin=60&endHour=-1&endMin=9223372036854775807&repeatDays=");
    platform::DateFormatter formatter("hh:mm a");
    formatter.setTimeZone(household());
    EXPECT_EQ(formatter.stringFromDate(alarm->startDate), "11:59 PM") << "shown at the nearest real time";
    EXPECT_EQ(formatter.stringFromDate(alarm->endDate), "12:59 AM");
}
