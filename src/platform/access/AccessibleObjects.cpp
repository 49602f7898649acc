#include "platform/access/AccessibleObjects.h"

#include "platform/access/AtkInterfaces.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"

#include <atk/atk.h>

#include <cstdio>

namespace hestio::platform {

namespace {

    AccessibleObjects* s_current = nullptr;

    struct AccessibleClass {
        AtkObjectClass parent;
    };

    GType baseType();

    AtkRole atkRole(AccessibleRole role)
    {
        switch (role) {
        case AccessibleRole::Application:
            return ATK_ROLE_APPLICATION;
        case AccessibleRole::Frame:
            return ATK_ROLE_FRAME;
        case AccessibleRole::Panel:
            return ATK_ROLE_PANEL;
        case AccessibleRole::PushButton:
            return ATK_ROLE_PUSH_BUTTON;
        case AccessibleRole::ToggleButton:
            return ATK_ROLE_TOGGLE_BUTTON;
        case AccessibleRole::Slider:
            return ATK_ROLE_SLIDER;
        case AccessibleRole::SpinButton:
            return ATK_ROLE_SPIN_BUTTON;
        case AccessibleRole::ComboBox:
            return ATK_ROLE_COMBO_BOX;
        case AccessibleRole::Label:
            return ATK_ROLE_LABEL;
        case AccessibleRole::Entry:
            return ATK_ROLE_ENTRY;
        case AccessibleRole::PasswordText:
            return ATK_ROLE_PASSWORD_TEXT;
        case AccessibleRole::List:
            return ATK_ROLE_LIST;
        case AccessibleRole::ListItem:
            return ATK_ROLE_LIST_ITEM;
        case AccessibleRole::PageTabList:
            return ATK_ROLE_PAGE_TAB_LIST;
        case AccessibleRole::PageTab:
            return ATK_ROLE_PAGE_TAB;
        case AccessibleRole::Alert:
            return ATK_ROLE_ALERT;
        case AccessibleRole::ToolBar:
            return ATK_ROLE_TOOL_BAR;
        case AccessibleRole::Image:
            return ATK_ROLE_IMAGE;
        case AccessibleRole::ProgressBar:
            return ATK_ROLE_PROGRESS_BAR;
        }
        return ATK_ROLE_UNKNOWN;
    }

    constexpr std::pair<AccessibleState, AtkStateType> atkStates[] = {
        { AccessibleEnabled, ATK_STATE_ENABLED },
        { AccessibleSensitive, ATK_STATE_SENSITIVE },
        { AccessibleFocusable, ATK_STATE_FOCUSABLE },
        { AccessibleFocused, ATK_STATE_FOCUSED },
        { AccessibleCheckable, ATK_STATE_CHECKABLE },
        { AccessibleChecked, ATK_STATE_CHECKED },
        { AccessibleSelectable, ATK_STATE_SELECTABLE },
        { AccessibleSelected, ATK_STATE_SELECTED },
        { AccessibleShowing, ATK_STATE_SHOWING },
        { AccessibleVisible, ATK_STATE_VISIBLE },
        { AccessibleModal, ATK_STATE_MODAL },
        { AccessibleEditable, ATK_STATE_EDITABLE },
        { AccessibleSingleLine, ATK_STATE_SINGLE_LINE },
        { AccessibleBusy, ATK_STATE_BUSY },
        { AccessibleActive, ATK_STATE_ACTIVE },
    };

    const gchar* getName(AtkObject* object)
    {
        auto* state = objectState(object);
        if (!liveNode(object))
            return state->name.c_str();
        state->name = accessibleInfo(s_current->application(), state->node).name;
        return state->name.c_str();
    }

    const gchar* getDescription(AtkObject* object)
    {
        auto* state = objectState(object);
        if (liveNode(object))
            state->description = accessibleInfo(s_current->application(), state->node).description;
        return state->description.c_str();
    }

    AtkObject* getParent(AtkObject* object)
    {
        auto node = liveNode(object);
        if (!node)
            return nullptr;
        auto parent = accessibleParent(s_current->application(), *node);
        return parent ? s_current->objectFor(*parent) : nullptr;
    }

    gint getChildCount(AtkObject* object)
    {
        auto node = liveNode(object);
        return node ? static_cast<gint>(accessibleChildren(s_current->application(), *node).size()) : 0;
    }

    AtkObject* refChild(AtkObject* object, gint index)
    {
        auto node = liveNode(object);
        if (!node || index < 0)
            return nullptr;
        auto children = accessibleChildren(s_current->application(), *node);
        if (static_cast<std::size_t>(index) >= children.size())
            return nullptr;
        return ATK_OBJECT(g_object_ref(s_current->objectFor(children[static_cast<std::size_t>(index)])));
    }

    gint indexInParent(AtkObject* object)
    {
        auto node = liveNode(object);
        if (!node)
            return -1;
        auto parent = accessibleParent(s_current->application(), *node);
        if (!parent)
            return 0;
        auto siblings = accessibleChildren(s_current->application(), *parent);
        for (std::size_t i = 0; i < siblings.size(); ++i)
            if (siblings[i] == *node)
                return static_cast<gint>(i);
        return -1;
    }

    AtkStateSet* refStateSet(AtkObject* object)
    {
        AtkStateSet* set = atk_state_set_new();
        auto node = liveNode(object);
        if (!node) {
            atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
            return set;
        }
        unsigned states = accessibleInfo(s_current->application(), *node).states;
        for (auto [ours, theirs] : atkStates)
            if (states & ours)
                atk_state_set_add_state(set, theirs);
        return set;
    }

    AtkRole getRole(AtkObject* object)
    {
        auto node = liveNode(object);
        return node ? atkRole(accessibleInfo(s_current->application(), *node).role) : ATK_ROLE_INVALID;
    }

    AtkAttributeSet* getAttributes(AtkObject* object)
    {
        auto node = liveNode(object);
        if (!node || !node->view || node->view->accessibilityIdentifier().empty())
            return nullptr;
        auto* attribute = static_cast<AtkAttribute*>(g_malloc(sizeof(AtkAttribute)));
        attribute->name = g_strdup("id");
        attribute->value = g_strdup(node->view->accessibilityIdentifier().c_str());
        return g_slist_append(nullptr, attribute);
    }

    /// AtkObject's class: the types made for each set of interfaces derive
    /// from ours and inherit this finalize, so its parent is fixed here.
    GObjectClass* s_atkObjectClass = nullptr;

    void finalize(GObject* object)
    {
        delete objectState(ATK_OBJECT(object));
        s_atkObjectClass->finalize(object);
    }

    void classInit(gpointer klass, gpointer)
    {
        auto* atkClass = ATK_OBJECT_CLASS(klass);
        atkClass->get_name = getName;
        atkClass->get_description = getDescription;
        atkClass->get_parent = getParent;
        atkClass->get_n_children = getChildCount;
        atkClass->ref_child = refChild;
        atkClass->get_index_in_parent = indexInParent;
        atkClass->ref_state_set = refStateSet;
        atkClass->get_role = getRole;
        atkClass->get_attributes = getAttributes;
        s_atkObjectClass = G_OBJECT_CLASS(g_type_class_peek_parent(klass));
        G_OBJECT_CLASS(klass)->finalize = finalize;
    }

    GType baseType()
    {
        static GType type = g_type_register_static_simple(ATK_TYPE_OBJECT, "HestioAccessible", sizeof(AccessibleClass),
            classInit, sizeof(AccessibleInstance), nullptr, GTypeFlags(0));
        return type;
    }

    /// The type for a set of interfaces, registered the first time it is needed.
    GType typeFor(unsigned interfaces)
    {
        static std::map<unsigned, GType> types;
        if (auto it = types.find(interfaces); it != types.end())
            return it->second;
        char name[40];
        std::snprintf(name, sizeof name, "HestioAccessible%02x", interfaces);
        GType type = g_type_register_static_simple(
            baseType(), name, sizeof(AccessibleClass), nullptr, sizeof(AccessibleInstance), nullptr, GTypeFlags(0));
        addAtkInterfaces(type, interfaces);
        types[interfaces] = type;
        return type;
    }

}

ObjectState* objectState(AtkObject* object)
{
    return reinterpret_cast<AccessibleInstance*>(object)->state;
}

std::optional<AccessibleNode> liveNode(AtkObject* object)
{
    if (!s_current || !object)
        return std::nullopt;
    auto* state = objectState(object);
    if (!state || state->defunct)
        return std::nullopt;
    if (!state->node.isApplication() && state->view.expired())
        return std::nullopt;
    return state->node;
}

AccessibleObjects::AccessibleObjects(Application& application, RunLoop& loop, Placement placement)
    : m_application(application)
    , m_loop(loop)
    , m_placement(std::move(placement))
{
    s_current = this;
}

AccessibleObjects::~AccessibleObjects()
{
    for (auto& [node, object] : m_objects) {
        objectState(object)->defunct = true;
        g_object_unref(object);
    }
    if (s_current == this)
        s_current = nullptr;
}

AccessibleObjects* AccessibleObjects::current()
{
    return s_current;
}

AtkObject* AccessibleObjects::existingObjectFor(const AccessibleNode& node) const
{
    auto it = m_objects.find(node);
    if (it == m_objects.end())
        return nullptr;
    auto* state = objectState(it->second);
    if (!node.isApplication() && state->view.lock().get() != node.view)
        return nullptr;
    return it->second;
}

AtkObject* AccessibleObjects::objectFor(const AccessibleNode& node)
{
    if (auto* existing = existingObjectFor(node))
        return existing;
    // The address may be that of a view gone since: its object goes too.
    if (m_objects.count(node))
        release(node);
    AccessibleInfo info = accessibleInfo(m_application, node);
    auto* object = ATK_OBJECT(g_object_new(typeFor(info.interfaces), nullptr));
    auto* state = new ObjectState;
    state->node = node;
    if (node.view)
        state->view = std::static_pointer_cast<View>(node.view->weak_from_this().lock());
    state->interfaces = info.interfaces;
    reinterpret_cast<AccessibleInstance*>(object)->state = state;
    atk_object_initialize(object, nullptr);
    object->role = atkRole(info.role);
    m_objects[node] = object;
    return object;
}

void AccessibleObjects::release(const AccessibleNode& node)
{
    auto it = m_objects.find(node);
    if (it == m_objects.end())
        return;
    AtkObject* object = it->second;
    m_objects.erase(it);
    objectState(object)->defunct = true;
    atk_object_notify_state_change(object, ATK_STATE_DEFUNCT, TRUE);
    g_object_unref(object);
}

Rect AccessibleObjects::toDesktop(const Rect& rect) const
{
    Point origin = m_placement.origin ? m_placement.origin() : Point {};
    double scale = m_placement.scale ? m_placement.scale() : 1.0;
    return { origin.x + rect.x() * scale, origin.y + rect.y() * scale, rect.width() * scale, rect.height() * scale };
}

Point AccessibleObjects::fromDesktop(Point desktop) const
{
    Point origin = m_placement.origin ? m_placement.origin() : Point {};
    double scale = m_placement.scale ? m_placement.scale() : 1.0;
    return { (desktop.x - origin.x) / scale, (desktop.y - origin.y) / scale };
}

}
