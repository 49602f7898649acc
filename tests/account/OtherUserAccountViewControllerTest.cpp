#include "AccountTestSupport.h"

#include "account/OtherUserAccountViewController.h"
#include "widgets/InfoDisplayCell.h"

using namespace hestio;
using namespace platform;

namespace {

struct OtherUserAccountViewControllerTest : test::AccountFixture {
    std::shared_ptr<OtherUserAccountViewController> screen = OtherUserAccountViewController::create();

    void show(const std::string& userJSON)
    {
        screen->userInfo = parse(userJSON);
        navigation->pushViewController(screen, false);
        screen->view();
    }
    std::string value(int row)
    {
        auto cell = std::dynamic_pointer_cast<InfoDisplayCell>(
            screen->cellForRowAtIndexPath(screen->tableView(), { 0, row }));
        return cell ? cell->name().text() + "=" + cell->value().text() : "not an info cell";
    }
    void openPasswordAlert() { screen->didSelectRowAtIndexPath(screen->tableView(), { 1, 0 }); }
};

TEST_F(OtherUserAccountViewControllerTest, ShowsTheUsersTypeAndHousehold)
{
    show(R"({"username":"sam","type":"member","household":{"name":"The Demos"}})");
    EXPECT_EQ(screen->title(), "sam");
    EXPECT_EQ(screen->tableView().numberOfSections(), 2);
    EXPECT_EQ(screen->tableView().numberOfRowsInSection(0), 2);
    EXPECT_EQ(screen->tableView().numberOfRowsInSection(1), 1);
    EXPECT_EQ(value(0), "Type=member");
    EXPECT_EQ(value(1), "Household=The Demos");
    EXPECT_EQ(screen->cellForRowAtIndexPath(screen->tableView(), { 1, 0 })->textLabel()->text(), "Change password");

    auto bare = OtherUserAccountViewController::create();
    bare->userInfo = parse(R"({"username":"kim","type":"member"})");
    bare->view();
    auto household
        = std::dynamic_pointer_cast<InfoDisplayCell>(bare->cellForRowAtIndexPath(bare->tableView(), { 0, 1 }));
    EXPECT_EQ(household->value().text(), "") << "no household: an empty value";
}

TEST_F(OtherUserAccountViewControllerTest, SetsThePasswordAsTypedAndOnlyLogsTheOutcome)
{
    show(R"({"username":"sam b","type":"member","household":{"name":"The Demos"}})");
    TextField& field = *screen->updatedPasswordField;
    EXPECT_EQ(field.placeholder(), "New Password");
    EXPECT_TRUE(field.isSecureTextEntry());
    EXPECT_EQ(field.frame().origin.y, 55);

    openPasswordAlert();
    ASSERT_EQ(application->visibleAlerts().size(), 1u);
    EXPECT_EQ(application->topAlert()->title(), "Change Password");
    EXPECT_EQ(field.superview(), application->topAlert());
    field.setText("n&w=pw");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})"));
    application->topAlert()->clickButtonAtIndex(1);
    EXPECT_EQ(transport->lastRequest().url, "https://localhost:8443/kivoraserver/api/user");
    EXPECT_EQ(lastBody(), "name=sam%20b&new_password=n%26w%3Dpw");
    loop.runPending();
    EXPECT_TRUE(logs.contains("successful"));
    EXPECT_TRUE(application->visibleAlerts().empty());

    openPasswordAlert();
    EXPECT_EQ(field.text(), "") << "each opening starts empty";
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})"));
    application->topAlert()->clickButtonAtIndex(1);
    EXPECT_EQ(lastBody(), "name=sam%20b&new_password=");
    loop.runPending();
    EXPECT_TRUE(logs.contains("Failed to send data to the server"));
    EXPECT_TRUE(application->visibleAlerts().empty()) << "a refusal is only logged";

    std::size_t sent = transport->requestCount();
    openPasswordAlert();
    field.setText("secret");
    application->topAlert()->clickButtonAtIndex(0);
    EXPECT_EQ(transport->requestCount(), sent) << "Cancel sends nothing";
}

TEST_F(OtherUserAccountViewControllerTest, TwoChangesAnsweredInReverseOrderAreEachLoggedOnceEvenAfterClosing)
{
    show(R"({"username":"sam","type":"member","household":{"name":"The Demos"}})");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":true})").after(5));
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false})").after(1));
    for (const char* typed : { "first", "second" }) {
        openPasswordAlert();
        screen->updatedPasswordField->setText(typed);
        application->topAlert()->clickButtonAtIndex(1);
    }
    navigation->popViewControllerAnimated(false);
    std::weak_ptr<OtherUserAccountViewController> weak = screen;
    screen.reset();
    loop.advance(1);
    EXPECT_EQ(logs.lines(), (std::vector<std::string> { "Failed to send data to the server" }));
    loop.advance(4);
    EXPECT_EQ(logs.lines(), (std::vector<std::string> { "Failed to send data to the server", "successful" }));
    EXPECT_TRUE(weak.expired()) << "the closed page is let go once both answered";
    EXPECT_TRUE(application->visibleAlerts().empty());
}

}
