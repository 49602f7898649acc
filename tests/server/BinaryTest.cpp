#include "Certificate.h"
#include "Household.h"

#include "SimChild.h"
#include "SimTestSupport.h"

#include "support/TempDir.h"
#include "json/Decoder.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

using namespace hestio::sim;
using hestio::sim::test::callOverHttps;
using hestio::sim::test::Child;

TEST(HestioSimBinary, StartsAnnouncesItselfStopsCleanlyAndKeepsItsData)
{
    test::ScratchFolder folder;
    const std::string data = (folder.path() / "data").string();
    std::string pin;
    {
        Child sim({ "--demo", "--data", data, "--port", "0", "--token-ttl", "60" });
        int port = sim.waitUntilListening();
        ASSERT_GT(port, 0);
        ASSERT_GE(sim.lines().size(), 2u);
        EXPECT_EQ(sim.lines()[0], "hestio-hub made a new certificate in " + data);
        pin = publicKeyPin(folder.path() / "data" / "certificate.pem");
        EXPECT_EQ(std::filesystem::status(folder.path() / "data").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
        EXPECT_EQ(sim.lines()[1], "hestio-hub certificate pin sha256//" + pin);

        json::Value session = callOverHttps(port, "/kivoraserver/session", "name=demo&password=demo");
        ASSERT_TRUE(session["success"].boolValue());
        std::string token(session["token"].stringValue());
        json::Value renamed = callOverHttps(
            port, "/kivoraserver/api/device", "device_id=101&location=Pantry&name=Old+Fridge&token=" + token);
        EXPECT_TRUE(renamed["success"].boolValue());
        EXPECT_EQ(sim.stop(SIGTERM), 0);
    }
    {
        Child sim({ "--demo", "--data", data, "--port", "0" });
        int port = sim.waitUntilListening();
        ASSERT_GT(port, 0);
        EXPECT_EQ(sim.lines()[0], "hestio-hub certificate pin sha256//" + pin);
        json::Value session = callOverHttps(port, "/kivoraserver/session", "name=demo&password=demo");
        std::string token(session["token"].stringValue());
        json::Value devices
            = callOverHttps(port, "/kivoraserver/api/device?token=" + token + "&action=true&token=" + token, "");
        bool found = false;
        for (size_t i = 0; i < devices["devices"].count(); ++i)
            found |= devices["devices"][i]["name"].stringValue() == "Old Fridge";
        EXPECT_TRUE(found);
        EXPECT_EQ(sim.stop(SIGINT), 0);
    }
    {
        Child sim({ "--data", data, "--print-pin" });
        EXPECT_EQ(sim.readLine(), pin);
        EXPECT_EQ(sim.waitForExit(), 0);
    }
    {
        // --reset starts over: the renamed fridge is gone, the pin stays.
        Child sim({ "--demo", "--data", data, "--port", "0", "--reset" });
        int port = sim.waitUntilListening();
        json::Value session = callOverHttps(port, "/kivoraserver/session", "name=demo&password=demo");
        std::string token(session["token"].stringValue());
        json::Value devices
            = callOverHttps(port, "/kivoraserver/api/device?token=" + token + "&action=true&token=" + token, "");
        EXPECT_EQ(devices["devices"][0]["name"].stringValue(), "Fridge");
        EXPECT_EQ(sim.stop(SIGTERM), 0);
    }
}

TEST(HestioSimBinary, HelpDocumentsEveryOptionAndBadOptionsFail)
{
    Child help({ "--help" });
    std::string text = help.allOutput();
    EXPECT_EQ(help.waitForExit(), 0);
    for (const char* option : { "--data", "--db", "--reset", "--port", "--seed", "--zone", "--devices", "--token-ttl",
             "--clock-offset-days", "--print-pin", "--version", "--help" })
        EXPECT_NE(text.find(option), std::string::npos) << option;

    for (std::vector<std::string> bad : { std::vector<std::string> { "--bogus" }, { "--port" }, { "--port", "70000" },
             { "--token-ttl", "0" }, { "--seed", "-1" }, { "--devices", "1001" }, { "--devices", "-1" }, { "--zone" },
             { "--zone", "Mars/Olympus_Mons" }, { "--zone", "" }, { "--clock-offset-days", "3661" },
             { "--port", "0" } }) {
        Child sim(bad);
        EXPECT_EQ(sim.waitForExit(), 2) << bad[0];
    }
}

TEST(HestioSimBinary, TheFormerDataFolderIsMovedOnceWithItsDatabase)
{
    test::ScratchFolder folder;
    hestio::test::ScopedEnvironment dataHome("XDG_DATA_HOME", folder.path().c_str());
    std::filesystem::create_directories(folder.path() / "hestio-sim");
    std::ofstream(folder.path() / "hestio-sim" / "hestio-sim.db") << "kept";
    Child pin({ "--print-pin" });
    EXPECT_TRUE(pin.readLine().has_value());
    EXPECT_EQ(pin.waitForExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "hestio-sim"));
    std::ifstream moved(folder.path() / "hestio-hub" / "hestio-hub.db");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(moved), {}), "kept");

    // Once the new folder exists, an old one made later stays where it is.
    std::filesystem::create_directories(folder.path() / "hestio-sim");
    Child again({ "--print-pin" });
    EXPECT_EQ(again.waitForExit(), 0);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "hestio-sim"));
}

TEST(HestioSimBinary, AClockOffsetMovesEverythingTheServiceDates)
{
    test::ScratchFolder folder;
    using namespace std::chrono;
    auto machineNowMs = [] { return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count(); };
    struct Case {
        const char* days;
        int64_t offsetMs;
    };
    for (Case c : { Case { "7", 7 * 86'400'000LL }, Case { "-2", -2 * 86'400'000LL } }) {
        Child sim({ "--demo", "--data", (folder.path() / c.days).string(), "--port", "0", "--token-ttl", "60",
            "--clock-offset-days", c.days });
        int port = sim.waitUntilListening();
        ASSERT_GT(port, 0) << c.days;
        int64_t before = machineNowMs();
        json::Value session = callOverHttps(port, "/kivoraserver/session", "name=demo&password=demo");
        int64_t after = machineNowMs();
        ASSERT_TRUE(session["success"].boolValue()) << c.days;
        // The token expires a minute after the service's now.
        int64_t expiration = session["expiration"].integerValue();
        EXPECT_GE(expiration, before + c.offsetMs + 60'000) << c.days;
        EXPECT_LE(expiration, after + c.offsetMs + 60'000) << c.days;
        // The latest sample is the service's now too.
        std::string token(session["token"].stringValue());
        json::Value devices
            = callOverHttps(port, "/kivoraserver/api/device?token=" + token + "&action=true&token=" + token, "");
        int64_t sampled = devices["devices"][0]["currentStatus"]["timestamp"].integerValue();
        EXPECT_GE(sampled, before + c.offsetMs - 60'000) << c.days;
        EXPECT_LE(sampled, machineNowMs() + c.offsetMs) << c.days;
        EXPECT_EQ(sim.stop(SIGTERM), 0);
    }
}

TEST(HestioSimBinary, PrintsItsVersion)
{
    Child sim({ "--version" });
    auto line = sim.readLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->rfind("hestio-hub ", 0), 0u) << *line;
    EXPECT_NE(line->find_first_of("0123456789"), std::string::npos) << *line;
    EXPECT_EQ(sim.waitForExit(), 0);
}

TEST(HestioSimBinary, TheHouseholdTakesTheMachinesZoneUnlessOneIsNamed)
{
    // The seed alone would pick America/New_York; neither run keeps it.
    ASSERT_EQ(timeZoneForSeed(1), "America/New_York");
    hestio::test::ScopedEnvironment zone("TZ", "Asia/Kolkata");
    auto zoneOfNewHousehold = [](std::vector<std::string> arguments) {
        test::ScratchFolder folder;
        arguments.insert(arguments.end(), { "--demo", "--data", (folder.path() / "data").string(), "--port", "0" });
        Child sim(arguments);
        int port = sim.waitUntilListening();
        EXPECT_GT(port, 0);
        json::Value session = callOverHttps(port, "/kivoraserver/session", "name=demo&password=demo");
        std::string area(session["currentUser"]["household"]["timeZoneArea"].stringValue());
        EXPECT_EQ(sim.stop(SIGTERM), 0);
        return area;
    };
    EXPECT_EQ(zoneOfNewHousehold({}), "Asia/Kolkata");
    EXPECT_EQ(zoneOfNewHousehold({ "--zone", "Europe/Berlin" }), "Europe/Berlin");
}

TEST(HestioSimBinary, ListensWhereItsConfigurationSaysAndShowsItsPinAsAQrCode)
{
    test::ScratchFolder folder;
    const std::string data = (folder.path() / "data").string();
    std::filesystem::create_directories(data);
    std::ofstream(folder.path() / "data" / "hub.conf") << "listen = 127.0.0.2:0\n";
    std::string pin;
    {
        Child pinCommand({ "pin", "--data", data });
        std::string text = pinCommand.allOutput();
        EXPECT_EQ(pinCommand.waitForExit(), 0);
        pin = publicKeyPin(folder.path() / "data" / "certificate.pem");
        // The pin, a blank line, then a version 4 symbol with its quiet zone:
        // (33 + 8) modules wide, (33 + 8 + 1) / 2 lines.
        ASSERT_EQ(text.rfind("sha256//" + pin + "\n\n", 0), 0u) << text;
        std::string symbol = text.substr(pin.size() + 10);
        EXPECT_EQ(std::count(symbol.begin(), symbol.end(), '\n'), 21);
        EXPECT_EQ(symbol.find('\n'), 41u * 3) << symbol;
    }
    Child hub({ "--demo", "--data", data }, true);
    const std::string prefix = "hestio-hub listening on https://127.0.0.2:";
    int port = -1;
    while (auto line = hub.readLine()) {
        if (line->rfind(prefix, 0) == 0) {
            port = std::stoi(line->substr(prefix.size()));
            break;
        }
    }
    ASSERT_GT(port, 0);
    httplib::SSLClient client("127.0.0.2", port);
    client.enable_server_certificate_verification(false);
    auto reply = client.Post("/kivoraserver/session", "name=demo&password=demo", "application/x-www-form-urlencoded");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(hub.stop(SIGTERM), 0);
    // The command line wins; --listen and --port together are refused.
    Child both({ "--demo", "--data", data, "--listen", "127.0.0.1:0", "--port", "0" });
    EXPECT_EQ(both.waitForExit(), 2);
}
