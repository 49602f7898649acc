#pragma once

#include "FormData.h"
#include "Household.h"
#include "Service.h"
#include "Store.h"

#include "SimTestSupport.h"

#include "json/Decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace hestio::sim::test {

struct Answer {
    int status {};
    json::Value body;
    bool success() const { return body["success"].isBoolean() && body["success"].boolValue(); }
    std::string error() const { return std::string(body["error"].stringValue()); }
};

/// A seeded store and a service on a manual clock, called the way the client
/// calls it: the token last in every body and both first and last in every query.
class ServiceHarness {
public:
    explicit ServiceHarness(uint64_t seed = 1, int64_t startMs = kTestStartMs)
        : time(startMs)
    {
        open();
        seedDemoHousehold(*store, seed, startMs, kTestPasswordIterations);
    }

    /// Reopens the same database file, as a restarted service would.
    void restart()
    {
        service.reset();
        store.reset();
        open();
    }

    Answer raw(const std::string& method, const std::string& route, const std::string& query, const std::string& body)
    {
        ServiceReply reply = service->handle(ServiceRequest { method, Service::kBasePath + route, query, body });
        Answer answer { reply.status, json::objectFromJSONData(reply.body) };
        EXPECT_TRUE(answer.body.isDictionary()) << method << " " << route << " answered " << reply.body;
        EXPECT_TRUE(answer.body["success"].isBoolean()) << reply.body;
        if (reply.status != 200) {
            EXPECT_TRUE(answer.body["error"].isString()) << reply.body;
        }
        return answer;
    }

    std::string signIn(const std::string& name = "demo", const std::string& password = "demo")
    {
        Answer answer = raw("POST", "/session", "",
            "name=" + percentEncode(name) + "&password=" + percentEncode(password) + "&token=(null)");
        EXPECT_TRUE(answer.success()) << name;
        token = std::string(answer.body["token"].stringValue());
        return token;
    }

    Answer get(const std::string& route, const std::string& parameters = "")
    {
        std::string query = "token=" + token + (parameters.empty() ? "" : "&" + parameters) + "&token=" + token;
        return raw("GET", route, query, "");
    }

    Answer post(const std::string& route, const std::string& parameters = "")
    {
        return raw("POST", route, "", (parameters.empty() ? "" : parameters + "&") + "token=" + token);
    }

    ScratchFolder folder;
    ManualTime time;
    std::unique_ptr<Store> store;
    std::unique_ptr<Service> service;
    std::string token;

private:
    void open()
    {
        store = std::make_unique<Store>(folder.file("sim.db"));
        ServiceConfig config;
        config.passwordIterations = kTestPasswordIterations;
        service = std::make_unique<Service>(*store, config, time.function());
    }
};

/// The device object with this name in a device list reply.
inline json::Value deviceNamed(const json::Value& reply, std::string_view name)
{
    const json::Value& devices = reply["devices"];
    for (size_t i = 0; i < devices.count(); ++i) {
        if (devices[i]["name"].stringValue() == name)
            return devices[i];
    }
    return {};
}

}
