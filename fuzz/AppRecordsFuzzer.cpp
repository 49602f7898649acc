// The app's handling of service replies: arbitrary bytes as the answer to a
// request, then every record the app builds from one (the signed-in user and
// the household's zones, devices with their suggestions and history windows,
// saved places, schedules, graph samples) and every screen that turns one into
// rows or a graph. Nothing may crash, overflow, leak or hang, whatever the
// types, sizes and values in the reply.
//
// The records are built from each reply directly. A screen is made only for a
// reply that carries its key ("devices", "schedules"…), as the service's
// answer to that screen would, and is answered through the fake transport, so
// the reply takes the app's whole road: decoding, the success flag, the
// screen's own reading, then every row's cell.
#include "account/AccountTableViewController.h"
#include "app/HestioAppDelegate.h"
#include "app/LoginViewController.h"
#include "charting/ScatterPlot.h"
#include "charting/XYAxis.h"
#include "devices/AdviceTableViewController.h"
#include "devices/HomeTabViewController.h"
#include "devices/LogTabViewController.h"
#include "devices/StatusTableViewController.h"
#include "graphs/DeviceEnergyConsumptionGraphViewController.h"
#include "graphs/DevicePowerDrawGraphViewController.h"
#include "model/DataPoint.h"
#include "model/Device.h"
#include "model/ScheduledAlarm.h"
#include "model/Suggestion.h"
#include "model/User.h"
#include "net/KeychainWrapper.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/http/FakeTransport.h"
#include "platform/keychain/InMemoryKeychain.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TableView.h"
#include "presence/LocationManager.h"
#include "presence/MovementsViewController.h"
#include "schedule/ScheduleTableViewController.h"
#include "json/Decoder.h"
#include "json/Dictionary.h"
#include "json/Serializer.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>

#include <unistd.h>

using namespace hestio;
using platform::FakeTransport;

namespace {

/// Rows and array elements looked at per reply: enough to reach every kind
/// of element, few enough to keep an execution short.
constexpr std::size_t elementsRead = 32;

/// A session on a manual clock whose fake service answers every request with
/// the current input. Made once for the whole run.
struct Environment {
    platform::ManualClock clock { platform::Date(1796225400.0) }; // 2026-12-02 15:30 UTC
    platform::RunLoop loop { clock };
    platform::CurrentRunLoopScope scope { loop };
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::unique_ptr<platform::Application> application;
    std::string reply;

    Environment()
    {
        platform::setLogSink([](std::string_view) {});
        auto profile
            = std::filesystem::temp_directory_path() / ("hestio-fuzz-app-records-" + std::to_string(::getpid()));
        std::filesystem::create_directories(profile);
        ::setenv("HESTIO_PROFILE", profile.c_str(), 1);
#ifdef HESTIO_SOURCE_ASSETS_DIR
        ::setenv("HESTIO_ASSETS", HESTIO_SOURCE_ASSETS_DIR, 0);
#endif
        HestioAppDelegate::resetShared();
        KeychainWrapper::setStore(std::make_shared<platform::InMemoryKeychain>());
        ServiceEnvironment::shared() = ServiceEnvironment {};
        ServiceEnvironment::shared().transport = transport;
        ServiceEnvironment::shared().currentToken = [] { return std::optional<std::string>("T0K3N"); };
        transport->setHandler([this](const platform::HttpRequest&) { return FakeTransport::Reply::json(reply); });
        application = std::make_unique<platform::Application>();
        application->setDelegate(&HestioAppDelegate::shared());
    }

    /// Lets every answer arrive and the screens' short timers run.
    void settle()
    {
        clock.runPending();
        clock.advance(0.5);
        clock.runPending();
    }
};

Environment& environment()
{
    static Environment* shared = new Environment;
    return *shared;
}

/// The session the app delegate hands to the screens it makes.
const std::shared_ptr<Session>& session()
{
    return HestioAppDelegate::shared().session();
}

/// A signed-in household whose zone the sign-in reply may name.
void signIn(const json::Value& reply)
{
    const json::Value& current = reply["currentUser"];
    if (current.isNone()) {
        auto user = User::initWithUsername("demo", "T0K3N");
        user->type = "ADMIN"; // the account screen asks an administrator's household for its users
        user->household = json::Value::dictionary({ { "name", json::Value::string("Demo Home") },
            { "timeZoneArea", json::Value::string("America/New_York") }, { "UTCTimeZone", json::Value("-5") } });
        HestioAppDelegate::shared().setCurUser(std::move(user));
        return;
    }
    LoginViewController::create(session())->createUser(reply);
    if (auto user = HestioAppDelegate::shared().curUser()) {
        user->isAdministrator();
        user->hasToken();
    }
}

template<typename Each> void forEachIn(const json::Value& items, Each each)
{
    for (std::size_t i = 0; i < items.count() && i < elementsRead; ++i)
        each(items[i]);
}

void buildRecords(const json::Value& reply, platform::Date now)
{
    auto user = HestioAppDelegate::shared().curUser();
    const platform::TimeZone zone = Device::householdTimeZone(user.get());
    const platform::TimeZone household = session()->householdTimeZone();
    forEachIn(reply["devices"], [&](const json::Value& object) {
        auto device = Device::fromJSON(object, zone);
        platform::Date from = device->historyWindowStart(now);
        device->powerDrawParameters(from, now);
        device->energyConsumptionParameters(from, now);
        device->isOn();
        Device::identifierText(object["id"]);
        forEachIn(
            object["suggestions"], [&](const json::Value& suggestion) { Suggestion::fromJSON(object, suggestion); });
    });
    LocationManager::savedLocationsFromReply(reply);
    forEachIn(reply["schedules"], [&](const json::Value& object) {
        auto alarm = ScheduledAlarm::initWithJSONData(object, household);
        alarm->getRepeatDaysAsString();
        alarm->createPostParameters();
    });
    for (const char* key : { "statuses", "energyConsumptions" }) {
        forEachIn(reply[key], [&](const json::Value& sample) {
            DataPoint point(sample, now);
            // A graph keeps its samples flattened: they must read as received.
            DataPoint flat = DataPoint::flattened(sample, now);
            if (flat.description() != point.description() || flat.timeInterval() != point.timeInterval())
                __builtin_trap();
            if (sample.isDictionary())
                for (const json::Value& key : sample.asDictionary()->allKeys())
                    if (key.isString()
                        && !(json::JSONString(json::Value::array({ flat.member(key.stringValue()) }))
                                == json::JSONString(json::Value::array({ point.member(key.stringValue()) }))
                            && std::bit_cast<std::uint64_t>(flat.doubleMember(key.stringValue()))
                                == std::bit_cast<std::uint64_t>(point.doubleMember(key.stringValue()))))
                        __builtin_trap();
        });
    }
}

/// Every section's header and the cell of each row.
void readRows(platform::TableView& table)
{
    table.reloadData();
    for (int section = 0; section < table.numberOfSections() && section < static_cast<int>(elementsRead); ++section) {
        int rows = table.numberOfRowsInSection(section);
        for (int row = 0; row < rows && row < static_cast<int>(elementsRead); ++row)
            table.cellForRowAtIndexPath({ section, row });
    }
}

template<typename Screen> void showWithinNavigation(const std::shared_ptr<Screen>& screen)
{
    auto navigation = platform::NavigationController::create(screen);
    screen->view();
    screen->viewDidAppear(false);
    environment().settle();
}

/// A graph screen loaded with the reply as its first week: its value axis is
/// labelled and, on a line graph, the first and the last sample selected.
template<typename Graph> void showGraph(const std::shared_ptr<Graph>& graph)
{
    graph->view();
    graph->viewDidAppear(false);
    environment().settle();
    graph->graph()->xyAxisSet()->yAxis()->relabel();
    if constexpr (std::is_same_v<Graph, DevicePowerDrawGraphViewController>) {
        auto plot = std::dynamic_pointer_cast<chart::ScatterPlot>(
            graph->graph()->plotWithIdentifier(GraphViewController::mainPlotIdentifier));
        std::size_t count = plot ? graph->numberOfRecordsForPlot(*plot) : 0;
        if (count > 0) {
            graph->plotSymbolWasSelectedAtRecordIndex(*plot, 0);
            graph->plotSymbolWasSelectedAtRecordIndex(*plot, count - 1);
        }
    }
    graph->back();
    environment().settle();
}

void showScreens(const json::Value& reply)
{
    if (reply["devices"].isArray()) {
        auto devices = StatusTableViewController::create(session());
        showWithinNavigation(devices);
        readRows(devices->tableView());
        auto advice = AdviceTableViewController::create();
        showWithinNavigation(advice);
        readRows(advice->tableView());
    }
    if (reply["schedules"].isArray()) {
        auto schedules = ScheduleTableViewController::create(session());
        showWithinNavigation(schedules);
        readRows(schedules->tableView());
    }
    if (reply["activities"].isArray()) {
        auto log = LogTabViewController::create();
        showWithinNavigation(log);
        readRows(*log->logTableView);
    }
    if (reply["locations"].isArray()) {
        auto movements = MovementsViewController::create();
        showWithinNavigation(movements);
        readRows(*movements->movementTableView);
    }
    if (reply["allUsers"].isArray()) {
        auto account = AccountTableViewController::create(session(), HestioAppDelegate::shared().locationManager);
        showWithinNavigation(account);
        readRows(account->tableView());
    }
    if (reply["statuses"].isArray()) {
        auto home = HomeTabViewController::create(session());
        auto navigation = platform::NavigationController::create(home);
        home->view();
        readRows(home->tableView());
        home->viewDidAppear(false);
        environment().settle();
        readRows(home->tableView());
        showGraph(
            DevicePowerDrawGraphViewController::create(session(), Device::initWithID("101", "Fridge", "Kitchen")));
    }
    if (reply["energyConsumptions"].isArray())
        showGraph(DeviceEnergyConsumptionGraphViewController::create(
            session(), Device::initWithID("101", "Fridge", "Kitchen")));
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Environment& env = environment();
    env.reply.assign(reinterpret_cast<const char*>(data), size);
    json::Value reply = json::objectFromJSONData(env.reply);
    if (!reply.isDictionary())
        return 0;
    signIn(reply);
    buildRecords(reply, env.clock.now());
    showScreens(reply);

    // Nothing carries over to the next input.
    env.settle();
    env.transport->clearRequests();
    HestioAppDelegate::shared().setCurUser(nullptr);
    return 0;
}
