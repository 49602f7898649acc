#include "SessionTestSupport.h"

#include "app/LoginViewController.h"
#include "app/ServiceChoiceViewController.h"
#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Profile.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TabBarController.h"

using namespace hestio;
using platform::CertificateProbeResult;
using platform::ControlEventTouchUpInside;
using platform::FakeTransport;
using platform::Rect;

namespace {

const char* const kPin = "sha256//G9Pg8omu/UMTtC9P687kh/qKn6dOFT9Z3sxKzKooFWs=";

struct ServiceChoiceViewControllerTest : test::SessionFixture {
    std::shared_ptr<LoginViewController> login = LoginViewController::create(userSession());

    ServiceChoiceViewControllerTest()
    {
        ServiceEnvironment::shared().serviceHost.set("old.local:8443");
        session().applicationDidFinishLaunching(true);
        activate();
        session().rootController->presentModalViewController(login, false);
        login->viewDidAppear(false);
    }

    std::filesystem::path configDirectory() const { return platform::Profile::current().configDirectory(); }
    /// Taps the login screen's button and lets the chooser slide in.
    std::shared_ptr<ServiceChoiceViewController> openChooser()
    {
        login->chooseServiceButton->sendActionsForControlEvents(ControlEventTouchUpInside);
        loop.advance(1);
        auto presented = login->modalViewController();
        return presented ? std::dynamic_pointer_cast<ServiceChoiceViewController>(presented->shared_from_this())
                         : nullptr;
    }
    void tapConnect(ServiceChoiceViewController& chooser)
    {
        chooser.connectButton->sendActionsForControlEvents(ControlEventTouchUpInside);
    }
    std::string message(ServiceChoiceViewController& chooser) { return chooser.messageLabel->text(); }
};

}

TEST_F(ServiceChoiceViewControllerTest, TheButtonCoversNothingTheLayoutPlacesInEitherOrientation)
{
    auto& button = *login->chooseServiceButton;
    EXPECT_EQ(button.accessibilityLabel(), "Choose the service");
    std::vector<std::shared_ptr<platform::View>> placed { login->lightbulb, login->logotext, login->username,
        login->password, login->login };
    auto expectClear = [&](const char* when) {
        Rect bounds = login->view()->bounds();
        Rect frame = button.frame();
        EXPECT_EQ(bounds.intersection(frame), frame) << when << ": inside the screen";
        for (const auto& view : placed)
            EXPECT_FALSE(frame.intersects(view->frame())) << when << ": " << view->accessibilityIdentifier();
    };
    expectClear("portrait");
    login->username->becomeFirstResponder();
    expectClear("portrait, slid up for the keyboard");
    login->resignKeyboard();
    login->view()->setFrame({ 0, 0, 480, 300 });
    expectClear("landscape");
    EXPECT_EQ(button.frame().maxX(), 480 - 8) << "still in the corner";
}

TEST_F(ServiceChoiceViewControllerTest, ConfirmKeepsExactlyWhatTheAppReadsBackAndSignsInThere)
{
    platform::UserDefaults::standard().setObject("olduser", "username");
    KeychainWrapper::storeKey(std::string("olduser"), std::string("oldpw"), std::string("kivora"), true);
    auto chooser = openChooser();
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->hostField->text(), "old.local");
    EXPECT_EQ(chooser->portField->text(), "8443");

    chooser->hostField->setText(" Hub.Local ");
    chooser->portField->setText("9443");
    transport->enqueueProbe({ true, kPin, "hestio-hub", {} }, 2.0);
    tapConnect(*chooser);
    EXPECT_EQ(message(*chooser), "Connecting to hub.local:9443…");
    EXPECT_TRUE(chooser->spinner->isAnimating());
    EXPECT_FALSE(chooser->connectButton->isEnabled());
    chooser->connect(); // a second tap, as the return key gives it
    loop.advance(1.9);
    EXPECT_EQ(transport->probes().size(), 1u) << "one probe for two taps";
    EXPECT_FALSE(application->topAlert());
    loop.advance(0.1);
    EXPECT_FALSE(chooser->spinner->isAnimating());
    ASSERT_TRUE(application->topAlert());
    EXPECT_EQ(application->topAlert()->title(), "Is This Your Hub?");
    EXPECT_EQ(application->topAlert()->message(),
        std::string("Service: hestio-hub\nAddress: hub.local:9443\nPin: ") + kPin
            + "\n\nConfirm only if the hub shows the same pin (\"hestio-hub pin\" on the hub).");
    EXPECT_FALSE(ServiceConfiguration::load(configDirectory()).pin.size()) << "nothing kept before the answer";

    application->topAlert()->clickButtonAtIndex(1);
    loop.advance(1);
    EXPECT_FALSE(login->modalViewController()) << "the chooser has gone";
    auto kept = platform::readPropertyListDictionary(configDirectory() / "Service.plist");
    EXPECT_EQ(kept.size(), 2u);
    ServiceConfiguration read = ServiceConfiguration::load(configDirectory());
    EXPECT_EQ(read.host, "hub.local:9443");
    EXPECT_EQ(read.pin, kPin);
    EXPECT_EQ(transport->serverTrust().pinnedHost, "hub.local");
    EXPECT_EQ(transport->serverTrust().publicKeyPin, kPin);
    EXPECT_FALSE(platform::UserDefaults::standard().stringForKey("username"))
        << "the other service's credentials are not offered to this one";
    std::optional<KeychainError> error;
    EXPECT_FALSE(KeychainWrapper::getValueForKey(std::string("olduser"), std::string("kivora"), &error));

    login->username->setText("demo");
    login->password->setText("pw");
    transport->enqueue(FakeTransport::Reply::json(signInReply()));
    login->logIn();
    EXPECT_EQ(transport->lastRequest().url, "https://hub.local:9443/kivoraserver/session");
    ASSERT_TRUE(userSession()->pushToken());
    EXPECT_EQ(transport->lastRequest().body,
        "name=demo&password=pw&push_token=" + *userSession()->pushToken() + "&token=(null)")
        << "the sign-in is as before";
}

TEST_F(ServiceChoiceViewControllerTest, CancelAnywhereKeepsThePreviousChoice)
{
    (ServiceConfiguration { "old.local:8443", "sha256//OLD=" }).save(configDirectory(), {});
    auto chooser = openChooser();
    ASSERT_TRUE(chooser);
    chooser->hostField->setText("other.local");
    transport->enqueueProbe({ true, kPin, "hestio-hub", {} });
    tapConnect(*chooser);
    loop.runPending();
    ASSERT_TRUE(application->topAlert());
    application->topAlert()->clickButtonAtIndex(0);
    EXPECT_EQ(message(*chooser), "Nothing was kept. Check the address, or the hub's pin.");
    EXPECT_TRUE(chooser->connectButton->isEnabled());

    // Cancelled while connecting: the late answer changes nothing.
    transport->enqueueProbe({ true, kPin, "hestio-hub", {} }, 3.0);
    tapConnect(*chooser);
    chooser->cancelButton->sendActionsForControlEvents(ControlEventTouchUpInside);
    loop.advance(5);
    EXPECT_FALSE(login->modalViewController());
    EXPECT_FALSE(application->topAlert());
    ServiceConfiguration read = ServiceConfiguration::load(configDirectory());
    EXPECT_EQ(read.host, "old.local:8443");
    EXPECT_EQ(read.pin, "sha256//OLD=");
    EXPECT_EQ(ServiceEnvironment::shared().serviceHost.get(), "old.local:8443");
    EXPECT_EQ(transport->serverTrust().publicKeyPin, "") << "the trust was never touched";
}

TEST_F(ServiceChoiceViewControllerTest, AConfirmedChoiceWaitsVisiblyForTheDiskAndOneNotKeptChangesNothing)
{
    auto chooser = openChooser();
    ASSERT_TRUE(chooser);
    auto confirmOn = [&](const std::string& host) {
        chooser->hostField->setText(host);
        transport->enqueueProbe({ true, kPin, "hestio-hub", {} });
        tapConnect(*chooser);
        loop.runPending();
        ASSERT_TRUE(application->topAlert());
        application->topAlert()->clickButtonAtIndex(1);
    };
    auto waiting = [&](const char* when) {
        EXPECT_EQ(message(*chooser), "Saving the choice\u2026") << when;
        EXPECT_TRUE(chooser->spinner->isAnimating()) << when;
        EXPECT_FALSE(chooser->connectButton->isEnabled()) << when;
        EXPECT_FALSE(chooser->cancelButton->isEnabled()) << when;
        EXPECT_FALSE(chooser->hostField->isEnabled()) << when;
    };

    // The service's file cannot be replaced (a folder stands in its place).
    std::filesystem::create_directories(configDirectory() / "Service.plist" / "in-the-way");
    {
        platform::HeldFlushes stuck;
        confirmOn("blocked.local");
        loop.advance(30);
        waiting("while the disk does not answer");
        chooser->cancel();
        loop.advance(1);
        EXPECT_EQ(login->modalViewController(), chooser.get()) << "the screen stays until it knows";
        EXPECT_EQ(ServiceEnvironment::shared().serviceHost.get(), "old.local:8443") << "not trusted before it is kept";
    }
    loop.runPending();
    EXPECT_EQ(message(*chooser), "The choice could not be saved, so the previous service stays.");
    EXPECT_FALSE(chooser->spinner->isAnimating());
    EXPECT_TRUE(chooser->connectButton->isEnabled());
    EXPECT_TRUE(chooser->cancelButton->isEnabled());
    EXPECT_EQ(chooser->hostField->text(), "blocked.local") << "what the person typed stays";
    EXPECT_EQ(ServiceEnvironment::shared().serviceHost.get(), "old.local:8443");
    EXPECT_EQ(transport->serverTrust().publicKeyPin, "");
    EXPECT_TRUE(logs.contains("Could not write property list"));

    // Once the disk takes it, the screen goes and the app moves there.
    std::filesystem::remove_all(configDirectory() / "Service.plist");
    confirmOn("hub.local");
    waiting("until the writer answers");
    loop.advance(1);
    EXPECT_FALSE(login->modalViewController());
    EXPECT_EQ(ServiceEnvironment::shared().serviceHost.get(), "hub.local:8443");
    EXPECT_EQ(ServiceConfiguration::load(configDirectory()).host, "hub.local:8443");
}

TEST_F(ServiceChoiceViewControllerTest, BadInputAndFailuresShowTheirMessageAndTheScreenStaysUsable)
{
    auto chooser = openChooser();
    ASSERT_TRUE(chooser);
    chooser->portField->setText("65536");
    tapConnect(*chooser);
    EXPECT_EQ(message(*chooser), "The port must be a number from 1 to 65535.");
    EXPECT_TRUE(transport->probes().empty());
    EXPECT_FALSE(chooser->spinner->isAnimating());

    chooser->portField->setText("65535");
    transport->enqueueProbe({ false, {}, {}, { platform::TransportError::TimedOut, "timed out", {} } }, 10);
    tapConnect(*chooser);
    loop.advance(10);
    EXPECT_EQ(message(*chooser),
        "old.local:65535 did not answer in time. Check the address and that this device is on the hub's network.");
    EXPECT_FALSE(chooser->spinner->isAnimating());
    EXPECT_TRUE(chooser->connectButton->isEnabled());
    EXPECT_TRUE(chooser->hostField->isEnabled());
    EXPECT_FALSE(application->topAlert());
    EXPECT_FALSE(std::filesystem::exists(configDirectory() / "Service.plist"));
}

TEST_F(ServiceChoiceViewControllerTest, AChangedCertificateBringsTheLoginScreenAndSaysSoOnce)
{
    session().rootController->dismissModalViewControllerAnimated(false);
    session().loginPage.reset();
    platform::UserDefaults::standard().setObject("demo", "username");
    KeychainWrapper::storeKey(std::string("demo"), std::string("pw"), std::string("kivora"), true);
    std::vector<std::string> panels;
    ServiceEnvironment::shared().showInfoPanel
        = [&](int, const std::string& title, const std::string&, double) { panels.push_back(title); };
    FakeTransport::Reply changed;
    changed.error = platform::TransportError { platform::TransportError::ServerCertificateUntrusted,
        "The service's certificate has changed.", {}, true };
    transport->setHandler([&](const platform::HttpRequest&) { return changed; });
    session().loginSynchronous(false);
    loop.advance(1);
    auto shown = session().rootController->modalViewController();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(dynamic_cast<LoginViewController*>(shown)) << "where the service can be chosen again";
    ASSERT_EQ(application->visibleAlerts().size(), 1u);
    EXPECT_EQ(application->topAlert()->title(), "Certificate Changed");
    EXPECT_EQ(application->topAlert()->message(),
        "The service's certificate has changed, so nothing was sent to it. If your hub was set up again, choose the "
        "service again with the i button at the top right of the sign-in screen.");
    EXPECT_TRUE(panels.empty()) << "the alert says it, over the login screen";
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey("username"), "demo") << "nothing of the user is lost";

    // Two more requests refused at once: still one alert, the same screen.
    auto first = WebServiceConnector::create("/api/device", std::nullopt, false);
    auto second = WebServiceConnector::create("/api/activity", std::nullopt, false);
    first->startConnectionForDownload(true);
    second->startConnectionForDownload(true);
    loop.advance(1);
    EXPECT_EQ(application->visibleAlerts().size(), 1u);
    EXPECT_EQ(session().rootController->modalViewController(), shown);
}
