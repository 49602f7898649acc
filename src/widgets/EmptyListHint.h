#pragma once

#include "platform/ui/Label.h"

#include <memory>
#include <string>

namespace hestio {

/// The two centred lines a list shows over itself while it has no rows
/// (what is missing, and what to do about it); hidden until the list knows.
std::shared_ptr<platform::Label> makeEmptyListHint(
    const std::string& text, const std::string& identifier, platform::Color textColor);

}
