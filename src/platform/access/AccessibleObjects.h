#pragma once

#include "platform/gfx/Geometry.h"
#include "platform/ui/Accessible.h"

#include <functional>
#include <map>

typedef struct _AtkObject AtkObject;

namespace hestio::platform {

class RunLoop;

/// The desktop toolkit's objects for the nodes of the accessible tree: one
/// per node, made when the bus first asks for it and kept until the node
/// leaves the tree. Every call reaches them on the UI thread (the bridge's
/// main context is dispatched there), so they read the views directly.
class AccessibleObjects {
public:
    struct Placement {
        /// Where the window's top left corner is on the desktop, in pixels.
        std::function<Point()> origin;
        /// Desktop pixels per point.
        std::function<double()> scale;
    };
    AccessibleObjects(Application& application, RunLoop& loop, Placement placement);
    ~AccessibleObjects();
    AccessibleObjects(const AccessibleObjects&) = delete;
    AccessibleObjects& operator=(const AccessibleObjects&) = delete;

    /// The one set of objects of this process, while it lives.
    static AccessibleObjects* current();

    /// Borrowed: the object of `node`, made when there is none.
    AtkObject* objectFor(const AccessibleNode& node);
    /// The object of `node` when one was made.
    AtkObject* existingObjectFor(const AccessibleNode& node) const;
    /// The node left the tree: its object turns defunct and is let go.
    void release(const AccessibleNode& node);

    Application& application() const { return m_application; }
    RunLoop& loop() const { return m_loop; }
    /// A rectangle of the window in desktop pixels.
    Rect toDesktop(const Rect& windowRect) const;
    /// A desktop point in window points.
    Point fromDesktop(Point desktop) const;

private:
    Application& m_application;
    RunLoop& m_loop;
    Placement m_placement;
    std::map<AccessibleNode, AtkObject*> m_objects;
};

}
