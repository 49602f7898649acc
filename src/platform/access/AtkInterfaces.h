#pragma once

#include "platform/ui/Accessible.h"

#include <atk/atk.h>

#include <memory>
#include <optional>
#include <string>

namespace hestio::platform {

/// What one toolkit object knows of its node. The strings keep what the
/// last call returned alive, as the desktop toolkit's getters return
/// borrowed text.
struct ObjectState {
    AccessibleNode node;
    std::weak_ptr<View> view;
    unsigned interfaces { 0 };
    bool defunct { false };
    std::string name;
    std::string description;
    std::string action;
};

struct AccessibleInstance {
    AtkObject parent;
    ObjectState* state;
};

ObjectState* objectState(AtkObject* object);
/// The node of `object` while its view lives and it is in the tree.
std::optional<AccessibleNode> liveNode(AtkObject* object);
/// Adds the component interface and those `interfaces` asks for to `type`.
void addAtkInterfaces(GType type, unsigned interfaces);

}
