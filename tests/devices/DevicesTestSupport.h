#pragma once

#include "app/SessionTestSupport.h"
#include "model/Device.h"
#include "model/User.h"
#include "json/Decoder.h"

#include <string>

namespace hestio::test {

/// A signed-in household on the manual clock with a fake service.
struct DevicesFixture : SessionFixture {
    std::shared_ptr<User> user = User::initWithUsername("demo", "T0K3N");

    DevicesFixture()
    {
        ServiceEnvironment::shared().currentToken = [this] { return std::optional<std::string>(user->loginToken); };
        setHouseholdOffset(json::Value("-5"));
        session().setCurUser(user);
    }

    /// The fixed-offset zone the device list gives its devices.
    platform::TimeZone deviceZone() { return Device::householdTimeZone(session().curUser().get()); }

    void setHouseholdOffset(const json::Value& hours)
    {
        if (hours.isNone())
            user->household = json::Value::dictionary({ { "name", "The Demos" } });
        else
            user->household = json::Value::dictionary({ { "name", "The Demos" }, { "UTCTimeZone", hours } });
    }

    static json::Value parse(const std::string& text)
    {
        return json::Decoder().parseUTF8String(text.data(), text.size());
    }
};

}
