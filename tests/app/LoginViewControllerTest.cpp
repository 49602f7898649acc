#include "SessionTestSupport.h"

#include "app/LoginViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/TabBarController.h"

using namespace hestio;
using platform::FakeTransport;

namespace {

struct LoginViewControllerTest : test::SessionFixture {
    std::shared_ptr<LoginViewController> screen = LoginViewController::create(userSession());
    std::vector<std::string> posted;
    test::AnimationLog animations;

    LoginViewControllerTest()
    {
        session().applicationDidFinishLaunching(true);
        activate();
        session().rootController->presentModalViewController(screen, false);
        screen->viewDidAppear(false);
        for (const char* name : { "UserLoggedIn", "LoginFailed", "refresh" }) {
            platform::NotificationCenter::defaultCenter().addObserver(
                this, name, [this](const platform::Notification& n) { posted.push_back(n.name); });
        }
        animations.clear();
    }
    ~LoginViewControllerTest() override { platform::NotificationCenter::defaultCenter().removeObserver(this); }

    double y(const std::shared_ptr<platform::View>& view) const { return view->frame().y(); }
    /// The screen's own animations (the keyboard animates too, without a name).
    std::vector<platform::AnimationLogEntry> namedAnimations() const
    {
        std::vector<platform::AnimationLogEntry> named;
        for (const auto& entry : animations.entries()) {
            if (!entry.name.empty())
                named.push_back(entry);
        }
        return named;
    }
};

}

TEST_F(LoginViewControllerTest, AScreenReaderFindsTheFieldsAndTheButtonByName)
{
    EXPECT_EQ(test::unnamedControls(*application), std::vector<std::string> {});
    auto field = platform::accessibleInfo(*application, { screen->username.get() });
    EXPECT_EQ(field.role, platform::AccessibleRole::Entry);
    EXPECT_EQ(field.name, "User name");
    auto secret = platform::accessibleInfo(*application, { screen->password.get() });
    EXPECT_EQ(secret.role, platform::AccessibleRole::PasswordText);
    EXPECT_EQ(secret.name, "Password");
    auto button = platform::accessibleInfo(*application, { screen->login.get() });
    EXPECT_EQ(button.name, "Sign In");
    EXPECT_EQ(button.action, "click");
}

TEST_F(LoginViewControllerTest, EditingSlidesTheViewsUpOnceAndReturnMovesToThePassword)
{
    double usernameY = y(screen->username);
    screen->username->becomeFirstResponder();
    EXPECT_EQ(y(screen->username), usernameY - 90);
    EXPECT_TRUE(screen->animatedUp);
    screen->password->becomeFirstResponder();
    EXPECT_EQ(y(screen->username), usernameY - 90) << "only once";
    EXPECT_EQ(namedAnimations(), (std::vector<platform::AnimationLogEntry> { { "Move Up", 0.25, 0 } }));

    screen->username->becomeFirstResponder();
    EXPECT_TRUE(screen->textFieldShouldReturn(*screen->username));
    EXPECT_EQ(screen->activeField, screen->password.get());
    EXPECT_TRUE(screen->password->isFirstResponder());
    EXPECT_EQ(y(screen->username), usernameY - 90) << "return in the name field does not move the views";
    EXPECT_EQ(transport->requestCount(), 0u);
}

TEST_F(LoginViewControllerTest, EmptyFieldsGiveTheErrorAlertAndNoRequest)
{
    screen->username->setText("demo");
    screen->logIn();
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Error");
    EXPECT_EQ(application->topAlert()->message(), "Please enter your username and password.");
    EXPECT_EQ(transport->requestCount(), 0u);
}

TEST_F(LoginViewControllerTest, ReturnInThePasswordFieldSlidesDownAndSignsInOnce)
{
    double usernameY = y(screen->username);
    screen->username->becomeFirstResponder();
    screen->username->setText("demo");
    screen->password->becomeFirstResponder();
    screen->password->setText("p&ss=1");
    transport->enqueue(FakeTransport::Reply::json(test::SessionFixture::signInReply()));
    EXPECT_TRUE(screen->textFieldShouldReturn(*screen->password));
    EXPECT_EQ(y(screen->username), usernameY);
    EXPECT_FALSE(screen->password->isFirstResponder());
    ASSERT_EQ(transport->requestCount(), 1u);
    EXPECT_EQ(transport->lastRequest().body, "name=demo&password=p%26ss%3D1&token=(null)")
        << "the password is encoded, and no push_token goes out when none is known";

    transport->enqueue(FakeTransport::Reply::json(R"({"success":true,"locations":[]})"));
    loop.runPending();
    EXPECT_EQ(posted, (std::vector<std::string> { "UserLoggedIn", "refresh" }));
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey("username"), "demo");
    EXPECT_EQ(KeychainWrapper::getValueForKey("demo", "kivora"), "p&ss=1");
    EXPECT_EQ(session().curUser()->loginToken, "T0K3N");
    EXPECT_TRUE(screen->lightbulb->isHighlighted());
    EXPECT_EQ(namedAnimations().back(), (platform::AnimationLogEntry { "Light bulb", 0.2, 0.5 }));

    loop.advance(0.499);
    EXPECT_EQ(session().rootController->modalViewController(), screen.get());
    loop.advance(0.001);
    loop.advance(1);
    EXPECT_FALSE(session().rootController->modalViewController()) << "dismissed 0.5 s after success";
}

TEST_F(LoginViewControllerTest, KnownPushTokenIsSentAndAFailureAlertsAndPostsLoginFailed)
{
    session().setPushToken("00ff");
    screen->username->setText("demo");
    screen->password->setText("wrong");
    transport->enqueue(FakeTransport::Reply::json(R"({"success":false,"error":"Wrong username or password"})"));
    screen->logIn();
    EXPECT_EQ(transport->lastRequest().body, "name=demo&password=wrong&push_token=00ff&token=(null)");
    loop.runPending();
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Authentication Failed");
    EXPECT_EQ(application->topAlert()->message(), "Wrong username or password");
    EXPECT_EQ(posted, (std::vector<std::string> { "LoginFailed" }));
    EXPECT_NE(session().loginPage, screen) << "a fresh login screen replaces this one";
    EXPECT_FALSE(session().curUser());
}

TEST_F(LoginViewControllerTest, KeyboardControlsMoveBetweenTheFieldsAndPutTheKeyboardAway)
{
    using platform::ControlEventTouchUpInside;
    screen->username->becomeFirstResponder();
    auto& keyboard = application->keyboard();
    ASSERT_EQ(keyboard.accessoryView(), screen->keyboardControls.get()) << "shown above the keys";
    EXPECT_EQ(keyboard.frame(), (platform::Rect { 0, 480 - 216 - 44, 320, 216 + 44 }));
    EXPECT_EQ(screen->keyboardControls->frame(), (platform::Rect { 0, 480 - 216 - 44, 320, 44 }));
    std::shared_ptr<platform::Button> done;
    for (const auto& view : screen->keyboardControls->subviews()) {
        if (view->accessibilityIdentifier() == "doneButton")
            done = std::dynamic_pointer_cast<platform::Button>(view);
    }
    ASSERT_TRUE(done);
    EXPECT_FALSE(screen->previousButton->isEnabled()) << "nothing before the first field";
    EXPECT_TRUE(screen->nextButton->isEnabled());

    screen->nextButton->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_TRUE(screen->password->isFirstResponder());
    EXPECT_EQ(screen->activeField, screen->password.get());
    EXPECT_TRUE(screen->previousButton->isEnabled());
    EXPECT_FALSE(screen->nextButton->isEnabled()) << "nothing after the last field";
    EXPECT_EQ(keyboard.accessoryView(), screen->keyboardControls.get()) << "the same bar for both fields";

    screen->previousButton->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_TRUE(screen->username->isFirstResponder());
    EXPECT_EQ(screen->activeField, screen->username.get());

    double usernameY = y(screen->username);
    done->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_FALSE(screen->username->isFirstResponder());
    EXPECT_FALSE(keyboard.isVisible());
    EXPECT_EQ(keyboard.accessoryView(), nullptr);
    EXPECT_EQ(y(screen->username), usernameY) << "Done only hides the keyboard";
    EXPECT_EQ(transport->requestCount(), 0u) << "and signs nobody in";
    EXPECT_EQ(namedAnimations(), (std::vector<platform::AnimationLogEntry> { { "Move Up", 0.25, 0 } }));
}
