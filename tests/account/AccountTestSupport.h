#pragma once

#include "../app/SessionTestSupport.h"

#include "model/User.h"
#include "platform/location/PositionSource.h"
#include "platform/ui/NavigationController.h"
#include "json/Decoder.h"

#include <string>
#include <vector>

namespace hestio::test {

/// A signed-in user of the household "The Demos" with region monitoring and
/// a navigation stack whose root stands in for the home tab.
struct AccountFixture : SessionFixture {
    std::shared_ptr<User> user = User::initWithUsername("demo", "T0K3N");
    std::shared_ptr<platform::ViewController> home = std::make_shared<platform::ViewController>();
    std::shared_ptr<platform::NavigationController> navigation = platform::NavigationController::create(home);

    explicit AccountFixture(const std::string& type = "Admin")
    {
        platform::PositionSource::shared().clear();
        user->type = type;
        user->tokenExpiration = (1354752000.0 + 3600) * 1000; // an hour after the test clock starts
        user->household = json::Value::dictionary({ { "name", "The Demos" } });
        session().setCurUser(user);
        session().locationManager = LocationManager::create(userSession());
        ServiceEnvironment::shared().currentToken = [this] { return session().currentToken(); };
    }
    ~AccountFixture() override { platform::PositionSource::shared().clear(); }

    void addSavedLocation(const std::string& title, platform::Coordinate where)
    {
        platform::GeoLocation position;
        position.coordinate = where;
        session().savedLocations().push_back(Location::initWithTitle(title, position));
        session().locationManager->startMonitoringRegionWithCenter(where, title);
    }
    std::vector<std::string> savedTitles()
    {
        std::vector<std::string> titles;
        for (const auto& location : session().savedLocations())
            titles.push_back(location->title);
        return titles;
    }
    bool watching(const std::string& title)
    {
        return session().locationManager->regionIsAlreadyBeingMonitoredWithIdentifier(title);
    }
    /// The body of the last request without the token the request object adds.
    std::string lastBody() const
    {
        std::string body = transport->lastRequest().body;
        return body.substr(0, body.rfind("&token="));
    }
    static json::Value parse(const std::string& text)
    {
        return json::Decoder().parseUTF8String(text.data(), text.size());
    }
};

}
