#include "AdminCommands.h"
#include "Crypto.h"
#include "Store.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>

using namespace hestio::sim;

namespace {
/// Runs admin commands on one scratch database, answering password prompts
/// from a queue.
struct Admin {
    test::ScratchFolder folder;
    std::deque<std::optional<std::string>> passwords;
    std::vector<std::string> prompts;

    /// "exit status|output|errors" of one command.
    std::string run(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin() + 1, { "--data", folder.path().string() });
        std::ostringstream out;
        std::ostringstream err;
        int status = runAdminCommand(
            arguments,
            [&](const std::string& prompt) {
                prompts.push_back(prompt);
                auto answer = passwords.empty() ? std::nullopt : passwords.front();
                if (!passwords.empty())
                    passwords.pop_front();
                return answer;
            },
            out, err, test::kTestPasswordIterations);
        return std::to_string(status) + "|" + out.str() + "|" + err.str();
    }

    std::string hashOf(const std::string& name)
    {
        Store store(folder.file("hestio-hub.db"));
        auto user = store.userByName(name);
        return user ? user->passwordHash : "";
    }
};
}

TEST(AdminCommands, UsersAreAddedListedChangedAndRemovedWithClearRefusals)
{
    Admin admin;
    admin.passwords = { "ann-secret", "", "bob-secret", "x" };
    EXPECT_EQ(admin.run({ "user", "add", "ann", "--admin" }), "0|added ann (administrator) to Home\n|");
    EXPECT_EQ(admin.prompts, (std::vector<std::string> { "Password for ann: " }));
    EXPECT_TRUE(verifyPassword("ann-secret", admin.hashOf("ann")));
    EXPECT_EQ(
        admin.run({ "user", "add", "bob" }), "1||hestio-hub: the password must not be empty; nothing was changed\n");
    EXPECT_EQ(admin.hashOf("bob"), "");
    EXPECT_EQ(admin.run({ "user", "add", "bob" }), "0|added bob to Home\n|");
    EXPECT_EQ(admin.run({ "user", "add", "ann" }), "1||hestio-hub: a user named ann exists already\n");
    EXPECT_EQ(admin.run({ "user", "list" }), "0|ann (administrator)\nbob\n|");
    EXPECT_EQ(admin.run({ "user", "passwd", "bob" }), "0|changed the password of bob\n|");
    EXPECT_TRUE(verifyPassword("x", admin.hashOf("bob")));
    EXPECT_EQ(admin.run({ "user", "passwd", "bob" }), "1||hestio-hub: no password was given; nothing was changed\n");
    EXPECT_EQ(admin.run({ "user", "remove", "ann" }),
        "1||hestio-hub: ann is the household's last administrator; add another first\n");
    EXPECT_EQ(admin.run({ "user", "remove", "bob" }), "0|removed bob\n|");
    EXPECT_EQ(admin.run({ "user", "remove", "bob" }), "1||hestio-hub: no user is named bob\n");

    const std::string usage = "2||hestio-hub: use user add NAME [--admin], user passwd NAME, user remove NAME or "
                              "user list\n";
    EXPECT_EQ(admin.run({ "user", "add" }), usage);
    EXPECT_EQ(admin.run({ "user", "passwd", "ann", "--admin" }), usage);
    EXPECT_EQ(admin.run({ "user", "add", "eve", "--password" }), "2||hestio-hub: unknown option --password\n");
    EXPECT_EQ(admin.run({ "user", "add", std::string(101, 'a') }),
        "2||hestio-hub: a user name must be 1 to 100 characters without control characters\n");
    EXPECT_EQ(admin.run({ "user", "add", "a\tb" }),
        "2||hestio-hub: a user name must be 1 to 100 characters without control characters\n");
}

TEST(AdminCommands, TheHouseholdTakesANameAndAKnownZone)
{
    Admin admin;
    EXPECT_EQ(admin.run({ "household", "--name", "Maple Street", "--zone", "Europe/Berlin" }),
        "0|household Maple Street in Europe/Berlin\n|");
    EXPECT_EQ(admin.run({ "household", "--zone", "Asia/Kolkata" }), "0|household Maple Street in Asia/Kolkata\n|");
    EXPECT_EQ(admin.run({ "household", "--zone", "Mars/Olympus" }),
        "2||hestio-hub: --zone needs a time zone name such as Europe/Berlin (Mars/Olympus is not one)\n");
    EXPECT_EQ(admin.run({ "household" }), "2||hestio-hub: household needs --name TEXT, --zone ZONE or both\n");
    EXPECT_EQ(admin.run({ "household", "--name" }), "2||hestio-hub: --name needs a value\n");
    Store store(admin.folder.file("hestio-hub.db"));
    EXPECT_EQ(store.firstHousehold()->timeZone, "Asia/Kolkata");
}
