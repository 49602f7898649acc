#pragma once

#include "app/HestioAppDelegate.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceEnvironment.h"
#include "platform/http/FakeTransport.h"
#include "platform/keychain/InMemoryKeychain.h"
#include "platform/ui/Accessible.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "presence/LocationManager.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"
#include "support/UiObservers.h"

#include <gtest/gtest.h>

namespace hestio::test {

/// What a screen reader finds on screen that works something (a button, a
/// switch, a field, a row, a tab) but has no name, as "role at (x, y)":
/// every screen should give none.
inline std::vector<std::string> unnamedControls(platform::Application& application)
{
    using platform::AccessibleRole;
    std::vector<std::string> unnamed;
    for (platform::Window* window : application.windows())
        window->layoutTree();
    std::vector<platform::AccessibleNode> pending { {} };
    while (!pending.empty()) {
        platform::AccessibleNode node = pending.back();
        pending.pop_back();
        auto info = platform::accessibleInfo(application, node);
        bool control = info.role == AccessibleRole::PushButton || info.role == AccessibleRole::ToggleButton
            || info.role == AccessibleRole::Slider || info.role == AccessibleRole::Entry
            || info.role == AccessibleRole::PasswordText || info.role == AccessibleRole::ListItem
            || info.role == AccessibleRole::PageTab || info.role == AccessibleRole::SpinButton
            || info.role == AccessibleRole::ComboBox;
        if (control && info.name.find_first_not_of(" \n") == std::string::npos) {
            auto rect = platform::accessibleRect(node).value_or(platform::Rect {});
            unnamed.push_back(std::to_string(static_cast<int>(info.role)) + " at (" + std::to_string(rect.x()) + ", "
                + std::to_string(rect.y()) + ")" + (node.view ? " " + node.view->className() : ""));
        }
        for (const auto& child : platform::accessibleChildren(application, node))
            pending.push_back(child);
    }
    return unnamed;
}

/// A whole session on the manual clock: a fresh profile, a fake service, an
/// in-memory credential store, an application object and a fresh app
/// delegate. `session()` is the delegate under test.
struct SessionFixture : ::testing::Test {
    TestRunLoop loop;
    TempDir profile;
    ScopedEnvironment profileVariable { "HESTIO_PROFILE", profile.path().c_str() };
    LogCapture logs;
    std::shared_ptr<platform::FakeTransport> transport = std::make_shared<platform::FakeTransport>();
    std::shared_ptr<platform::InMemoryKeychain> keychain = std::make_shared<platform::InMemoryKeychain>();
    std::unique_ptr<platform::Application> application = std::make_unique<platform::Application>();
    LocalNotificationLog notifications { *application };

    SessionFixture()
    {
        HestioAppDelegate::resetShared();
        LocationManager::resetRegionRadiusForTesting();
        KeychainWrapper::setStore(keychain);
        ServiceEnvironment::shared() = ServiceEnvironment {};
        ServiceEnvironment::shared().transport = transport;
        application->setDelegate(&session());
    }
    ~SessionFixture() override
    {
        application->setDelegate(nullptr);
        HestioAppDelegate::resetShared();
        ServiceEnvironment::shared() = ServiceEnvironment {};
        KeychainWrapper::setStore(nullptr);
    }

    HestioAppDelegate& session() { return HestioAppDelegate::shared(); }
    /// The session the delegate hands to the screens it makes.
    const std::shared_ptr<Session>& userSession() { return session().session(); }
    /// Makes the application active without launching the session again.
    void activate()
    {
        application->setDelegate(nullptr);
        application->launch();
        application->setDelegate(&session());
    }

    /// A sign-in reply as the service sends it.
    static std::string signInReply(const std::string& token = "T0K3N", double expiration = 1354755600000.0)
    {
        return R"({"success":true,"token":")" + token + R"(","expiration":)"
            + std::to_string(static_cast<long long>(expiration))
            + R"(,"currentUser":{"username":"demo","type":"ADMIN","id":7,"household":{"name":"The Demos","timeZoneArea":"America/New_York","UTCTimeZone":"-5"}}})";
    }

    std::vector<std::string> requestLines() const
    {
        std::vector<std::string> lines;
        for (const auto& request : transport->requests())
            lines.push_back(request.method + " " + request.url + (request.body.empty() ? "" : " " + request.body));
        return lines;
    }
};

}
