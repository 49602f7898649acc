#include "Options.h"

#include <gtest/gtest.h>

using namespace hestio::sim;

namespace {

std::string refusal(std::vector<std::string> arguments)
{
    auto parsed = parseOptions(arguments);
    return parsed ? std::string("(accepted)") : parsed.error().message();
}

}

TEST(SimOptions, EachNumberIsAcceptedAtItsLimitsAndRefusedOnePast)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string refusal; // "(accepted)" when the value is taken
    };
    const Case cases[] = {
        { { "--port", "0" }, "(accepted)" },
        { { "--port", "65535" }, "(accepted)" },
        { { "--port", "65536" }, "--port needs a number from 0 to 65535" },
        { { "--port", "-1" }, "--port needs a number from 0 to 65535" },
        { { "--devices", "1000" }, "(accepted)" },
        { { "--devices", "1001" }, "--devices needs a number from 0 to 1000" },
        { { "--token-ttl", "1" }, "(accepted)" },
        { { "--token-ttl", "0" }, "--token-ttl needs a number of seconds from 1 to 31622400" },
        { { "--token-ttl", "31622400" }, "(accepted)" },
        { { "--token-ttl", "31622401" }, "--token-ttl needs a number of seconds from 1 to 31622400" },
        { { "--clock-offset-days", "3660" }, "(accepted)" },
        { { "--clock-offset-days", "-3660" }, "(accepted)" },
        { { "--clock-offset-days", "3661" }, "--clock-offset-days needs a whole number of days from -3660 to 3660" },
        { { "--clock-offset-days", "-3661" }, "--clock-offset-days needs a whole number of days from -3660 to 3660" },
        { { "--clock-offset-days", "7.5" }, "--clock-offset-days needs a whole number of days from -3660 to 3660" },
        { { "--seed", "18446744073709551615" }, "(accepted)" },
        { { "--seed", "18446744073709551616" }, "--seed needs a whole number of at least 0" },
        { { "--seed", "12x" }, "--seed needs a whole number of at least 0" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.arguments), c.refusal) << c.arguments[0] << " " << c.arguments[1];
}

TEST(SimOptions, MissingValuesAndUnknownOptionsAreNamed)
{
    EXPECT_EQ(refusal({ "--port" }), "--port needs a value");
    EXPECT_EQ(refusal({ "--data", "" }), "--data needs a value");
    EXPECT_EQ(refusal({ "--verbose" }), "unknown option --verbose");
    EXPECT_EQ(refusal({ "--zone", "Mars/Olympus" }),
        "--zone needs a time zone name such as Europe/Berlin (Mars/Olympus is not one)");
}

TEST(SimOptions, TheDatabaseLivesInTheDataFolderUnlessGiven)
{
    auto parsed = parseOptions({ "--data", "/tmp/sim-data", "--zone", "Europe/Berlin", "--reset" });
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->dataFolder, "/tmp/sim-data");
    EXPECT_EQ(parsed->database, "/tmp/sim-data/hestio-sim.db");
    EXPECT_EQ(parsed->zone, "Europe/Berlin");
    EXPECT_TRUE(parsed->reset);

    auto elsewhere = parseOptions({ "--data", "/tmp/sim-data", "--db", "/tmp/other.db" });
    ASSERT_TRUE(elsewhere);
    EXPECT_EQ(elsewhere->database, "/tmp/other.db");
}
