#pragma once

#include <memory>

namespace hestio {

class Device;
class GraphViewController;
class Session;

// The graph screens, ready to be presented modally by the screens that open
// them (through the app shell).

/// The device's power draw in watts, day by day.
std::shared_ptr<GraphViewController> makeDevicePowerDrawGraph(
    std::shared_ptr<Session> session, std::shared_ptr<Device> device);
/// The device's energy per clock hour in kilowatt-hours, day by day.
std::shared_ptr<GraphViewController> makeDeviceEnergyGraph(
    std::shared_ptr<Session> session, std::shared_ptr<Device> device);
/// The household's energy per clock hour.
std::shared_ptr<GraphViewController> makeHomeEnergyGraph(std::shared_ptr<Session> session);
/// The household battery's state of charge.
std::shared_ptr<GraphViewController> makeHomeBatteryGraph(std::shared_ptr<Session> session);

}
