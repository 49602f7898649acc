#pragma once

#include "platform/host/CommandLine.h"
#include "platform/ui/Application.h"

#include <memory>

namespace hestio {

/// Readies the process for the app (profile folders, the service and its
/// certificate pin, the credential store, the device token) and returns the
/// application delegate the host installs; it forwards to the session owner,
/// HestioAppDelegate, and tears the session down before the application goes.
std::unique_ptr<platform::ApplicationDelegate> makeHestioApplicationDelegate(
    platform::Application& application, const platform::HostOptions& options);

}
