#include "platform/access/AtkInterfaces.h"

#include "platform/access/AccessibleObjects.h"
#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>

// The desktop toolkit's interfaces over the plain mapping of Accessible.h:
// each call finds the object's node, reads or acts through the mapping, and
// answers nothing once the node's view is gone.

namespace hestio::platform {

namespace {

    Application& app()
    {
        return AccessibleObjects::current()->application();
    }

    std::optional<AccessibleNode> nodeOf(gpointer object)
    {
        return liveNode(ATK_OBJECT(object));
    }

    AccessibleInfo infoOf(const AccessibleNode& node)
    {
        return accessibleInfo(app(), node);
    }

    // --- Component ---

    void getExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType type)
    {
        *x = *y = *width = *height = 0;
        auto node = nodeOf(component);
        if (!node)
            return;
        std::optional<Rect> rect;
        if (node->isApplication())
            return;
        rect = accessibleRect(*node);
        if (!rect)
            return;
        Rect desktop = AccessibleObjects::current()->toDesktop(*rect);
        Rect window = AccessibleObjects::current()->toDesktop({});
        if (type == ATK_XY_WINDOW)
            desktop = { desktop.x() - window.x(), desktop.y() - window.y(), desktop.width(), desktop.height() };
        if (type == ATK_XY_PARENT)
            if (auto parent = accessibleParent(app(), *node); parent && !parent->isApplication())
                if (auto outer = accessibleRect(*parent)) {
                    Rect p = AccessibleObjects::current()->toDesktop(*outer);
                    desktop = { desktop.x() - p.x(), desktop.y() - p.y(), desktop.width(), desktop.height() };
                }
        *x = static_cast<gint>(std::lround(desktop.x()));
        *y = static_cast<gint>(std::lround(desktop.y()));
        *width = static_cast<gint>(std::lround(desktop.width()));
        *height = static_cast<gint>(std::lround(desktop.height()));
    }

    gboolean grabFocus(AtkComponent* component)
    {
        auto node = nodeOf(component);
        return node && focusAccessible(*node);
    }

    AtkLayer getLayer(AtkComponent* component)
    {
        auto node = nodeOf(component);
        return node && node->view && !node->view->superview() ? ATK_LAYER_WINDOW : ATK_LAYER_WIDGET;
    }

    void componentInit(gpointer iface, gpointer)
    {
        auto* component = static_cast<AtkComponentIface*>(iface);
        component->get_extents = getExtents;
        component->grab_focus = grabFocus;
        component->get_layer = getLayer;
    }

    // --- Action ---

    gboolean doAction(AtkAction* action, gint index)
    {
        auto node = nodeOf(action);
        return index == 0 && node && performAccessibleAction(app(), *node);
    }

    gint actionCount(AtkAction* action)
    {
        auto node = nodeOf(action);
        return node && !infoOf(*node).action.empty() ? 1 : 0;
    }

    const gchar* actionName(AtkAction* action, gint index)
    {
        auto node = nodeOf(action);
        if (index != 0 || !node)
            return nullptr;
        auto* state = objectState(ATK_OBJECT(action));
        state->action = infoOf(*node).action;
        return state->action.c_str();
    }

    void actionInit(gpointer iface, gpointer)
    {
        auto* action = static_cast<AtkActionIface*>(iface);
        action->do_action = doAction;
        action->get_n_actions = actionCount;
        action->get_name = actionName;
        action->get_localized_name = actionName;
    }

    // --- Text (offsets count characters, not bytes) ---

    std::string textOf(gpointer object)
    {
        auto node = nodeOf(object);
        return node ? infoOf(*node).text : std::string {};
    }

    gint characterCount(AtkText* text)
    {
        std::string s = textOf(text);
        return static_cast<gint>(g_utf8_strlen(s.c_str(), -1));
    }

    gchar* getText(AtkText* text, gint start, gint end)
    {
        std::string s = textOf(text);
        glong length = g_utf8_strlen(s.c_str(), -1);
        if (end < 0 || end > length)
            end = static_cast<gint>(length);
        start = std::clamp(start, 0, end);
        return g_utf8_substring(s.c_str(), start, end);
    }

    gunichar characterAt(AtkText* text, gint offset)
    {
        std::string s = textOf(text);
        if (offset < 0 || offset >= g_utf8_strlen(s.c_str(), -1))
            return 0;
        return g_utf8_get_char(g_utf8_offset_to_pointer(s.c_str(), offset));
    }

    gint caretOffset(AtkText* text)
    {
        return characterCount(text);
    }

    /// The character, word or whole text around `offset`.
    gchar* stringAt(AtkText* text, gint offset, AtkTextGranularity granularity, gint* start, gint* end)
    {
        std::string s = textOf(text);
        gint length = static_cast<gint>(g_utf8_strlen(s.c_str(), -1));
        offset = std::clamp(offset, 0, length);
        *start = 0;
        *end = length;
        if (granularity == ATK_TEXT_GRANULARITY_CHAR) {
            *start = std::min(offset, length);
            *end = std::min(offset + 1, length);
        } else if (granularity == ATK_TEXT_GRANULARITY_WORD) {
            auto isSpace = [&](gint i) { return characterAt(text, i) == ' '; };
            gint from = offset, to = offset;
            while (from > 0 && !isSpace(from - 1))
                --from;
            while (to < length && !isSpace(to))
                ++to;
            while (to < length && isSpace(to))
                ++to;
            *start = from;
            *end = to;
        }
        return g_utf8_substring(s.c_str(), *start, *end);
    }

    gchar* textAt(AtkText* text, gint offset, AtkTextBoundary boundary, gint* start, gint* end)
    {
        AtkTextGranularity granularity = boundary == ATK_TEXT_BOUNDARY_CHAR ? ATK_TEXT_GRANULARITY_CHAR
            : boundary == ATK_TEXT_BOUNDARY_WORD_START || boundary == ATK_TEXT_BOUNDARY_WORD_END
            ? ATK_TEXT_GRANULARITY_WORD
            : ATK_TEXT_GRANULARITY_LINE;
        return stringAt(text, offset, granularity, start, end);
    }

    gint selectionCount(AtkText*)
    {
        return 0;
    }

    void textInit(gpointer iface, gpointer)
    {
        auto* text = static_cast<AtkTextIface*>(iface);
        text->get_text = getText;
        text->get_character_count = characterCount;
        text->get_character_at_offset = characterAt;
        text->get_caret_offset = caretOffset;
        text->get_string_at_offset = stringAt;
        text->get_text_at_offset = textAt;
        text->get_n_selections = selectionCount;
    }

    // --- Editable text: every change is typed, as the keyboard would ---

    void setTextContents(AtkEditableText* text, const gchar* contents)
    {
        if (auto node = nodeOf(text))
            setAccessibleText(app(), *node, contents ? contents : "");
    }

    void insertText(AtkEditableText* text, const gchar* string, gint length, gint* position)
    {
        auto node = nodeOf(text);
        if (!node || !string)
            return;
        std::string now = infoOf(*node).text;
        gint count = static_cast<gint>(g_utf8_strlen(now.c_str(), -1));
        gint at = std::clamp(position ? *position : count, 0, count);
        std::string inserted = length < 0 ? std::string(string) : std::string(string, static_cast<std::size_t>(length));
        const char* split = g_utf8_offset_to_pointer(now.c_str(), at);
        std::string changed
            = std::string(now.c_str(), static_cast<std::size_t>(split - now.c_str())) + inserted + split;
        if (setAccessibleText(app(), *node, changed) && position)
            *position = at + static_cast<gint>(g_utf8_strlen(inserted.c_str(), -1));
    }

    void deleteText(AtkEditableText* text, gint start, gint end)
    {
        auto node = nodeOf(text);
        if (!node)
            return;
        std::string now = infoOf(*node).text;
        gint count = static_cast<gint>(g_utf8_strlen(now.c_str(), -1));
        end = end < 0 ? count : std::clamp(end, 0, count);
        start = std::clamp(start, 0, end);
        const char* from = g_utf8_offset_to_pointer(now.c_str(), start);
        std::string changed = std::string(now.c_str(), static_cast<std::size_t>(from - now.c_str()))
            + g_utf8_offset_to_pointer(now.c_str(), end);
        setAccessibleText(app(), *node, changed);
    }

    void editableInit(gpointer iface, gpointer)
    {
        auto* editable = static_cast<AtkEditableTextIface*>(iface);
        editable->set_text_contents = setTextContents;
        editable->insert_text = insertText;
        editable->delete_text = deleteText;
    }

    // --- Value ---

    std::optional<AccessibleValue> valueOf(gpointer object)
    {
        auto node = nodeOf(object);
        return node ? infoOf(*node).value : std::nullopt;
    }

    void valueAndText(AtkValue* object, gdouble* current, gchar** text)
    {
        auto value = valueOf(object);
        if (current)
            *current = value ? value->current : 0;
        if (text)
            *text = nullptr;
    }

    AtkRange* valueRange(AtkValue* object)
    {
        auto value = valueOf(object);
        return value ? atk_range_new(value->minimum, value->maximum, nullptr) : nullptr;
    }

    gdouble valueIncrement(AtkValue* object)
    {
        auto value = valueOf(object);
        return value ? value->step : 0;
    }

    void setValue(AtkValue* object, gdouble value)
    {
        if (auto node = nodeOf(object))
            setAccessibleValue(*node, value);
    }

    void valueInit(gpointer iface, gpointer)
    {
        auto* value = static_cast<AtkValueIface*>(iface);
        value->get_value_and_text = valueAndText;
        value->get_range = valueRange;
        value->get_increment = valueIncrement;
        value->set_value = setValue;
    }

    // --- Selection (the tab bar's tabs) ---

    std::vector<AccessibleNode> selectedChildren(gpointer object)
    {
        std::vector<AccessibleNode> selected;
        if (auto node = nodeOf(object))
            for (const auto& child : accessibleChildren(app(), *node))
                if (infoOf(child).states & AccessibleSelected)
                    selected.push_back(child);
        return selected;
    }

    gboolean addSelection(AtkSelection* selection, gint index)
    {
        auto node = nodeOf(selection);
        return node && selectAccessibleChild(app(), *node, index);
    }

    AtkObject* refSelection(AtkSelection* selection, gint index)
    {
        auto selected = selectedChildren(selection);
        if (index < 0 || static_cast<std::size_t>(index) >= selected.size())
            return nullptr;
        return ATK_OBJECT(
            g_object_ref(AccessibleObjects::current()->objectFor(selected[static_cast<std::size_t>(index)])));
    }

    gint selectionCount(AtkSelection* selection)
    {
        return static_cast<gint>(selectedChildren(selection).size());
    }

    gboolean isChildSelected(AtkSelection* selection, gint index)
    {
        auto node = nodeOf(selection);
        if (!node || index < 0)
            return FALSE;
        auto children = accessibleChildren(app(), *node);
        return static_cast<std::size_t>(index) < children.size()
            && (infoOf(children[static_cast<std::size_t>(index)]).states & AccessibleSelected);
    }

    void selectionInit(gpointer iface, gpointer)
    {
        auto* selection = static_cast<AtkSelectionIface*>(iface);
        selection->add_selection = addSelection;
        selection->ref_selection = refSelection;
        selection->get_selection_count = selectionCount;
        selection->is_child_selected = isChildSelected;
    }

    // --- Image: its description is the node's ---

    const gchar* imageDescription(AtkImage* image)
    {
        return atk_object_get_description(ATK_OBJECT(image));
    }

    void imageSize(AtkImage* image, gint* width, gint* height)
    {
        gint x, y;
        getExtents(ATK_COMPONENT(image), &x, &y, width, height, ATK_XY_SCREEN);
    }

    void imagePosition(AtkImage* image, gint* x, gint* y, AtkCoordType type)
    {
        gint width, height;
        getExtents(ATK_COMPONENT(image), x, y, &width, &height, type);
    }

    void imageInit(gpointer iface, gpointer)
    {
        auto* image = static_cast<AtkImageIface*>(iface);
        image->get_image_description = imageDescription;
        image->get_image_size = imageSize;
        image->get_image_position = imagePosition;
    }

}

void addAtkInterfaces(GType type, unsigned interfaces)
{
    auto add = [&](GType iface, GInterfaceInitFunc init) {
        GInterfaceInfo info { init, nullptr, nullptr };
        g_type_add_interface_static(type, iface, &info);
    };
    add(ATK_TYPE_COMPONENT, componentInit);
    if (interfaces & AccessibleHasAction)
        add(ATK_TYPE_ACTION, actionInit);
    if (interfaces & AccessibleHasText)
        add(ATK_TYPE_TEXT, textInit);
    if (interfaces & AccessibleHasEditableText)
        add(ATK_TYPE_EDITABLE_TEXT, editableInit);
    if (interfaces & AccessibleHasValue)
        add(ATK_TYPE_VALUE, valueInit);
    if (interfaces & AccessibleHasSelection)
        add(ATK_TYPE_SELECTION, selectionInit);
    if (interfaces & AccessibleHasImage)
        add(ATK_TYPE_IMAGE, imageInit);
}

}
