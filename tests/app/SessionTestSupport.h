#pragma once

#include "app/HestioAppDelegate.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceEnvironment.h"
#include "platform/http/FakeTransport.h"
#include "platform/keychain/InMemoryKeychain.h"
#include "platform/ui/Application.h"
#include "presence/LocationManager.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestRunLoop.h"
#include "support/UiObservers.h"

#include <gtest/gtest.h>

namespace hestio::test {

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
