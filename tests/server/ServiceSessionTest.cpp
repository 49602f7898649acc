#include "Crypto.h"
#include "ServiceHarness.h"

#include <gtest/gtest.h>

using namespace hestio::sim;
using hestio::sim::test::Answer;
using hestio::sim::test::ServiceHarness;

TEST(ServiceSession, SignInAnswersTokenExpirationAndCurrentUser)
{
    ServiceHarness sim;
    Answer answer = sim.raw("POST", "/session", "", "name=demo&password=demo&push_token=abc123&token=(null)");
    ASSERT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.success());
    std::string token(answer.body["token"].stringValue());
    EXPECT_EQ(token.size(), 64u);
    EXPECT_EQ(answer.body["expiration"].integerValue(), test::kTestStartMs + 3'600'000);
    const json::Value& user = answer.body["currentUser"];
    EXPECT_EQ(user["username"].stringValue(), "demo");
    EXPECT_EQ(user["type"].stringValue(), "Admin");
    EXPECT_EQ(user["id"].integerValue(), 1);
    EXPECT_EQ(user["household"]["name"].stringValue(), "Demo Home");
    EXPECT_EQ(user["household"]["timeZoneArea"].stringValue(), "America/New_York");
    EXPECT_EQ(user["household"]["UTCTimeZone"].integerValue(), -5);
    // The token is kept only as a hash.
    EXPECT_FALSE(sim.store->session(token));
    EXPECT_TRUE(sim.store->session(sha256Hex(token)));
}

TEST(ServiceSession, WrongCredentialsAreRefused)
{
    ServiceHarness sim;
    struct Case {
        std::string body;
        int status;
        std::string error;
    };
    const Case cases[] = {
        { "name=demo&password=wrong&token=(null)", 401, "Wrong username or password" },
        { "name=nobody&password=demo&token=(null)", 401, "Wrong username or password" },
        { "name=DEMO&password=demo", 401, "Wrong username or password" },
        { "name=demo&token=(null)", 400, "missing parameter password" },
        { "password=demo", 400, "missing parameter name" },
        { "logout=maybe", 400, "parameter logout must be true" },
    };
    for (const auto& c : cases) {
        Answer answer = sim.raw("POST", "/session", "", c.body);
        EXPECT_EQ(answer.status, c.status) << c.body;
        EXPECT_FALSE(answer.success()) << c.body;
        EXPECT_EQ(answer.error(), c.error) << c.body;
    }
    EXPECT_EQ(sim.raw("GET", "/session", "name=demo&password=demo", "").status, 405);
}

TEST(ServiceSession, TokenExpiresAfterItsLifetimeAndSigningInAgainWorks)
{
    ServiceHarness sim;
    sim.signIn();
    sim.time.advance(3'600'000); // exactly at expiration: still valid
    EXPECT_TRUE(sim.get("/api/activity").success());
    sim.time.advance(1);
    Answer expired = sim.get("/api/activity");
    EXPECT_EQ(expired.status, 401);
    EXPECT_EQ(expired.error(), "the token has expired; sign in again");
    EXPECT_EQ(sim.get("/api/activity").error(), "the token is not valid; sign in again");
    sim.signIn();
    EXPECT_TRUE(sim.get("/api/activity").success());
}

TEST(ServiceSession, RequestsWithoutAValidTokenAreRefused)
{
    ServiceHarness sim;
    std::string token = sim.signIn();
    struct Case {
        std::string query;
        int status;
        std::string error;
    };
    const Case cases[] = {
        { "", 401, "not signed in: the token is missing" },
        { "token=(null)&token=(null)", 401, "not signed in: the token is missing" },
        { "token=", 401, "not signed in: the token is missing" },
        { "token=" + std::string(64, 'a'), 401, "the token is not valid; sign in again" },
        { "token=" + token + "&token=" + std::string(64, 'a'), 401, "the token is not valid; sign in again" },
    };
    for (const auto& c : cases) {
        Answer answer = sim.raw("GET", "/api/device", c.query + "&action=true", "");
        EXPECT_EQ(answer.status, c.status) << c.query;
        EXPECT_EQ(answer.error(), c.error) << c.query;
    }
    // The same token in query and body is one token.
    EXPECT_TRUE(sim.raw("POST", "/api/location", "token=" + token, "title=Gym&latitude=1&longitude=2&token=" + token)
                    .success());
}

TEST(ServiceSession, LogoutEndsOnlyThatSession)
{
    ServiceHarness sim;
    std::string first = sim.signIn();
    std::string second = sim.signIn();
    EXPECT_NE(first, second);
    EXPECT_TRUE(sim.post("/session", "logout=true").success());
    EXPECT_EQ(sim.get("/api/schedule").status, 401);
    sim.token = first;
    EXPECT_TRUE(sim.get("/api/schedule").success());
}

TEST(ServiceSession, UnknownPathsAndMethodsAnswerWithJson)
{
    ServiceHarness sim;
    sim.signIn();
    EXPECT_EQ(sim.get("/api/nothing").status, 404);
    EXPECT_EQ(sim.get("/api/device/").status, 404);
    EXPECT_EQ(sim.get("/api/action", "device_id=101").status, 405);
    EXPECT_EQ(sim.post("/api/status").status, 405);
    EXPECT_EQ(sim.raw("DELETE", "/api/device", "", "").status, 405);
    ServiceReply outside = sim.service->handle(ServiceRequest { "GET", "/other/api/device", "", "" });
    EXPECT_EQ(outside.status, 404);

    // A path that is not UTF-8 is quoted in the reason with its bad bytes replaced.
    Answer bytes = sim.raw("GET", "/api/\xFB\x97ho\xC3", "", "");
    EXPECT_EQ(bytes.status, 404);
    EXPECT_EQ(bytes.error(), "unknown path /kivoraserver/api/\xEF\xBF\xBD\xEF\xBF\xBDho\xEF\xBF\xBD");
}

TEST(ServiceSession, MalformedParametersAreRefused)
{
    ServiceHarness sim;
    sim.signIn();
    EXPECT_EQ(sim.post("/api/location", "title=%C3&latitude=1&longitude=2").error(), "parameter is not valid UTF-8");
    EXPECT_EQ(sim.post("/api/location", "title=Gym&latitude=north&longitude=2").error(),
        "parameter latitude must be a number");
    EXPECT_EQ(
        sim.post("/api/location", "title=Gym&latitude=91&longitude=2").error(), "parameter latitude is out of range");
    EXPECT_EQ(sim.post("/api/location", "title=Gym&latitude=nan&longitude=2").status, 400);
    EXPECT_EQ(sim.post("/api/location", "title=" + std::string(101, 'x') + "&latitude=1&longitude=2").error(),
        "parameter title is longer than 100 bytes");
}

TEST(ServiceSession, SavedLocationsKeepTitlesWithSpecialCharacters)
{
    ServiceHarness sim;
    sim.signIn();
    const std::string title = "Tom & Jerry's = 1+1 caf\xC3\xA9";
    ASSERT_TRUE(
        sim.post("/api/location", "title=" + percentEncode(title) + "&longitude=-73.985&latitude=40.748").success());
    ASSERT_TRUE(sim.post("/api/location", "title=Gym&longitude=2.5&latitude=1.25").success());
    ASSERT_TRUE(sim.post("/api/location", "title=Gym&longitude=3.5&latitude=-1.5").success());
    Answer list = sim.get("/api/location");
    ASSERT_EQ(list.body["locations"].count(), 2u);
    EXPECT_EQ(list.body["locations"][0]["title"].stringValue(), title);
    EXPECT_DOUBLE_EQ(list.body["locations"][0]["latitude"].doubleValue(), 40.748);
    EXPECT_DOUBLE_EQ(list.body["locations"][0]["longitude"].doubleValue(), -73.985);
    EXPECT_DOUBLE_EQ(list.body["locations"][1]["longitude"].doubleValue(), 3.5);

    EXPECT_TRUE(sim.post("/api/location", "title=" + percentEncode(title) + "&delete=true").success());
    Answer missing = sim.post("/api/location", "title=" + percentEncode(title) + "&delete=true");
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.error(), "no saved location is titled " + title);
    EXPECT_EQ(sim.get("/api/location").body["locations"].count(), 1u);

    // Another user has locations of their own.
    sim.signIn("sam", "sam");
    EXPECT_EQ(sim.get("/api/location").body["locations"].count(), 0u);
}

TEST(ServiceSession, MovementsAreListedNewestFirstUnderLocations)
{
    ServiceHarness sim;
    sim.signIn();
    ASSERT_TRUE(sim.post("/api/movement",
                       "action=ARRIVED&title=Home&longitude=-73.985000&latitude=40.748000&timestamp=1796225400123")
                    .success());
    ASSERT_TRUE(sim.post("/api/movement",
                       "action=LEFT&title=Home&longitude=-73.985000&latitude=40.748000&timestamp=1796229000000")
                    .success());
    Answer list = sim.get("/api/movement");
    const json::Value& movements = list.body["locations"];
    ASSERT_EQ(movements.count(), 2u);
    EXPECT_EQ(movements[0]["action"].stringValue(), "LEFT");
    EXPECT_EQ(movements[1]["action"].stringValue(), "ARRIVED");
    EXPECT_EQ(movements[1]["title"].stringValue(), "Home");
    EXPECT_EQ(movements[1]["timestamp"].integerValue(), 1796225400123);
    EXPECT_EQ(sim.post("/api/movement", "action=LEFT&title=Home&longitude=1&latitude=2&timestamp=soon").status, 400);
    EXPECT_EQ(sim.post("/api/movement", "action=LEFT&title=Home&longitude=1&latitude=2").error(),
        "missing parameter timestamp");
}

TEST(ServiceSession, OnlyAdministratorsListTheirHouseholdsUsers)
{
    ServiceHarness sim;
    sim.signIn();
    Answer users = sim.get("/api/user", "household=Demo+Home");
    ASSERT_TRUE(users.success()) << users.error();
    const json::Value& all = users.body["allUsers"];
    ASSERT_EQ(all.count(), 2u);
    EXPECT_EQ(all[0]["username"].stringValue(), "demo");
    EXPECT_EQ(all[0]["type"].stringValue(), "Admin");
    EXPECT_EQ(all[1]["username"].stringValue(), "sam");
    EXPECT_EQ(all[1]["type"].stringValue(), "Member");
    EXPECT_EQ(all[1]["household"]["name"].stringValue(), "Demo Home");

    EXPECT_EQ(sim.get("/api/user", "household=Other").status, 403);
    sim.signIn("sam", "sam");
    Answer refused = sim.get("/api/user", "household=Demo+Home");
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.error(), "only administrators may list the users of the household");
}

TEST(ServiceSession, PasswordsChangeOnlyWithTheRightAuthority)
{
    ServiceHarness sim;
    sim.signIn("sam", "sam");
    EXPECT_EQ(sim.post("/api/user", "name=sam&password=wrong&new_password=x").error(), "the current password is wrong");
    EXPECT_EQ(sim.post("/api/user", "name=demo&password=sam&new_password=x").error(),
        "you may change only your own password");
    EXPECT_EQ(sim.post("/api/user", "name=demo&new_password=x").error(),
        "only administrators may set another user's password");
    EXPECT_EQ(
        sim.post("/api/user", "name=sam&password=sam&new_password=").error(), "the new password must not be empty");
    ASSERT_TRUE(sim.post("/api/user", "name=sam&password=sam&new_password=" + percentEncode("n&w p=ss")).success());
    EXPECT_EQ(sim.raw("POST", "/session", "", "name=sam&password=sam").status, 401);
    sim.signIn("sam", "n&w p=ss");

    sim.signIn("demo", "demo");
    ASSERT_TRUE(sim.post("/api/user", "name=sam&new_password=reset").success());
    sim.signIn("sam", "reset");
    sim.signIn("demo", "demo");
    EXPECT_EQ(sim.post("/api/user", "name=nobody&new_password=x").status, 404);
    EXPECT_EQ(sim.post("/api/user", "name=demo&new_password=x").error(),
        "give your current password to change your own password");
}

TEST(ServiceSession, ANewPasswordEndsTheOtherSessions)
{
    ServiceHarness sim;
    std::string samElsewhere = sim.signIn("sam", "sam");
    std::string samHere = sim.signIn("sam", "sam");
    ASSERT_TRUE(sim.post("/api/user", "name=sam&password=sam&new_password=fresh").success());
    EXPECT_TRUE(sim.get("/api/schedule").success()) << "the session that changed it goes on";
    sim.token = samElsewhere;
    EXPECT_EQ(sim.get("/api/schedule").status, 401);

    sim.signIn("demo", "demo");
    ASSERT_TRUE(sim.post("/api/user", "name=sam&new_password=reset").success());
    EXPECT_TRUE(sim.get("/api/schedule").success());
    sim.token = samHere;
    EXPECT_EQ(sim.get("/api/schedule").status, 401);
}

TEST(ServiceSession, ActivitiesAreCreatedAndRepeated)
{
    ServiceHarness sim;
    sim.signIn();
    ASSERT_TRUE(sim.post("/api/activity", "new=true&activity=Watered plants&timestamp=1796225400123").success());
    ASSERT_TRUE(sim.post("/api/activity", "activity=Watered plants&timestamp=1796225400500").success());
    ASSERT_TRUE(
        sim.post("/api/activity", "new=true&activity=" + percentEncode("Ran dishwasher + dryer") + "&timestamp=1")
            .success());
    ASSERT_TRUE(sim.post("/api/activity", "new=true&activity=Watered plants&timestamp=2").success());
    Answer list = sim.get("/api/activity");
    const json::Value& activities = list.body["activities"];
    ASSERT_EQ(activities.count(), 2u);
    EXPECT_EQ(activities[0]["title"].stringValue(), "Ran dishwasher + dryer");
    EXPECT_EQ(activities[1]["title"].stringValue(), "Watered plants");
    EXPECT_EQ(activities[1]["count"].integerValue(), 1);
    EXPECT_EQ(activities[1]["timestamp"].integerValue(), 1796225400500);
    EXPECT_EQ(sim.post("/api/activity", "activity=Unknown&timestamp=5").status, 404);
    EXPECT_EQ(sim.post("/api/activity", "new=true&activity=&timestamp=5").status, 400);
}

TEST(ServiceSession, UnescapedBodiesFromTheAppKeepTheirText)
{
    // The app inserts what the user typed into POST bodies as it is.
    ServiceHarness sim;
    sim.signIn();
    ASSERT_TRUE(sim.post("/api/activity", "new=true&activity=Charged to 80%&timestamp=5").success());
    ASSERT_TRUE(sim.post("/api/activity",
                       "new=true&activity=K\xC3\xBC"
                       "che geputzt&timestamp=6")
                    .success());
    Answer list = sim.get("/api/activity");
    ASSERT_EQ(list.body["activities"].count(), 2u);
    EXPECT_EQ(list.body["activities"][0]["title"].stringValue(),
        "K\xC3\xBC"
        "che geputzt");
    EXPECT_EQ(list.body["activities"][1]["title"].stringValue(), "Charged to 80%");
}

TEST(ServiceSession, SchedulesAreSavedReplacedAndDeletedByTitle)
{
    ServiceHarness sim;
    sim.signIn();
    ASSERT_TRUE(
        sim.post("/api/schedule", "title=Work&startHour=8&startMin=5&endHour=17&endMin=30&repeatDays=135").success());
    ASSERT_TRUE(
        sim.post("/api/schedule", "title=Gym&startHour=18&startMin=0&endHour=19&endMin=0&repeatDays=").success());
    ASSERT_TRUE(
        sim.post("/api/schedule", "title=Work&startHour=9&startMin=0&endHour=17&endMin=30&repeatDays=51").success());
    Answer list = sim.get("/api/schedule");
    const json::Value& schedules = list.body["schedules"];
    ASSERT_EQ(schedules.count(), 2u);
    EXPECT_EQ(schedules[0]["title"].stringValue(), "Work");
    EXPECT_EQ(schedules[0]["startHour"].integerValue(), 9);
    EXPECT_EQ(schedules[0]["startMin"].integerValue(), 0);
    EXPECT_EQ(schedules[0]["endHour"].integerValue(), 17);
    EXPECT_EQ(schedules[0]["endMin"].integerValue(), 30);
    EXPECT_EQ(schedules[0]["repeatDays"].stringValue(), "15");
    EXPECT_EQ(schedules[1]["repeatDays"].stringValue(), "");

    EXPECT_EQ(sim.post("/api/schedule", "title=Bad&startHour=24&startMin=0&endHour=1&endMin=0").status, 400);
    EXPECT_EQ(sim.post("/api/schedule", "title=Bad&startHour=1&startMin=0&endHour=1&endMin=0&repeatDays=8").error(),
        "parameter repeatDays may hold only the digits 1 to 7");
    ASSERT_TRUE(sim.post("/api/schedule", "title=Work&delete=true").success());
    EXPECT_EQ(sim.post("/api/schedule", "title=Work&delete=true").status, 404);
    // Schedules belong to the household: the other member sees the same list.
    sim.signIn("sam", "sam");
    EXPECT_EQ(sim.get("/api/schedule").body["schedules"].count(), 1u);
}

TEST(ServiceSession, ChangesSurviveARestart)
{
    ServiceHarness sim;
    sim.signIn();
    ASSERT_TRUE(sim.post("/api/location", "title=Home&latitude=1&longitude=2").success());
    ASSERT_TRUE(
        sim.post("/api/schedule", "title=Work&startHour=8&startMin=5&endHour=17&endMin=30&repeatDays=1").success());
    ASSERT_TRUE(sim.post("/api/activity", "new=true&activity=Cooked&timestamp=1").success());
    ASSERT_TRUE(sim.post("/api/device", "device_id=101&location=Pantry&name=Big Fridge").success());
    ASSERT_TRUE(sim.post("/api/action", "device_id=105&act_id=1051&act_value=0").success());
    sim.restart();
    // The session survives too.
    EXPECT_EQ(sim.get("/api/location").body["locations"].count(), 1u);
    EXPECT_EQ(sim.get("/api/schedule").body["schedules"].count(), 1u);
    EXPECT_EQ(sim.get("/api/activity").body["activities"].count(), 1u);
    Answer devices = sim.get("/api/device", "action=true");
    json::Value fridge = test::deviceNamed(devices.body, "Big Fridge");
    ASSERT_TRUE(fridge);
    EXPECT_EQ(fridge["location"].stringValue(), "Pantry");
    EXPECT_FALSE(test::deviceNamed(devices.body, "TV")["meterSupplyingPower"].boolValue());
}

TEST(ServiceSession, OtherHouseholdsStayOutOfReach)
{
    ServiceHarness sim;
    int64_t other = sim.store->addHousehold("Other Home", "Europe/Berlin");
    sim.store->addUser(other, "olga", "Admin", hashPassword("olga", 1000));
    sim.store->addDevice(DeviceRow { 900, other, "Sauna", "Cellar", "heater", true, false, std::nullopt });
    sim.signIn("olga", "olga");
    Answer devices = sim.get("/api/device", "action=true");
    ASSERT_EQ(devices.body["devices"].count(), 1u);
    EXPECT_EQ(devices.body["devices"][0]["name"].stringValue(), "Sauna");
    EXPECT_EQ(sim.post("/api/action", "device_id=101&act_id=1011&act_value=0").status, 404);
    EXPECT_EQ(sim.post("/api/device", "device_id=101&location=Mine&name=Mine").status, 404);
    EXPECT_EQ(sim.get("/api/status", "device_id=101&from=0&to=1").status, 404);
    EXPECT_EQ(sim.get("/api/user", "household=Demo+Home").status, 403);
    EXPECT_EQ(sim.post("/api/user", "name=demo&new_password=x").status, 404);
    EXPECT_EQ(sim.get("/api/schedule").body["schedules"].count(), 0u);
}
