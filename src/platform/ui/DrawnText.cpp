#include "platform/ui/DrawnText.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/LargerText.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/TextField.h"

namespace hestio::platform {

namespace {

    std::vector<DrawnText> labelTexts(const Label& label)
    {
        const std::string& shown = label.text();
        if (shown.empty())
            return {};
        Rect b = label.bounds();
        // Laid out without a limit on lines, the text needs this much room.
        TextStyle whole = label.textStyle();
        whole.numberOfLines = label.numberOfLines() == 1 ? 1 : 0;
        if (whole.numberOfLines == 1)
            whole.lineBreakMode = LineBreakMode::Clip;
        else if (whole.lineBreakMode != LineBreakMode::CharacterWrap)
            whole.lineBreakMode = LineBreakMode::WordWrap;
        auto needed = measureText(shown, whole, whole.numberOfLines == 1 ? 0 : b.width());
        auto text = DrawnText::measured(shown, needed.size, b);
        // More lines than the label shows are cut, however tall it is.
        if (label.numberOfLines() > 1 && needed.lineCount > label.numberOfLines())
            text.fits = false;
        return { text };
    }

    std::vector<DrawnText> buttonTexts(const Button& button)
    {
        std::string title = button.currentTitle();
        auto type = button.buttonType();
        if (title.empty() || (type != Button::Type::Custom && type != Button::Type::RoundedRect))
            return {};
        // As the button draws them: within the content insets, beside the
        // image, after a back button's arrow.
        Rect area = button.bounds();
        if (auto* navigation = dynamic_cast<const NavigationButton*>(&button); navigation && navigation->isBackButton())
            area = { area.x() + 8, area.y(), area.width() - 8, area.height() };
        EdgeInsets insets = button.contentEdgeInsets();
        Rect content { area.x() + insets.left, area.y() + insets.top, area.width() - insets.left - insets.right,
            area.height() - insets.top - insets.bottom };
        if (auto image = button.image(button.state()))
            content = { content.x(), content.y(), content.width() - image->size().width - 4, content.height() };
        auto laidOut = layOutButtonTitle(title, button.titleLabel().font(), content.size);
        return { DrawnText::measured(title, laidOut.size, content) };
    }

    std::vector<DrawnText> fieldTexts(const TextField& field)
    {
        bool placeholder = field.text().empty();
        std::string shown = placeholder ? field.placeholder() : field.visibleText();
        if (shown.empty())
            return {};
        Rect r = field.bounds();
        double inset = field.borderStyle() == TextBorderStyle::None ? 0 : 8;
        double right = field.isClearButtonVisible() ? 30 : inset;
        Rect area { r.x() + inset, r.y(), r.width() - inset - right, r.height() };
        Size needed = sizeOfText(shown, field.font());
        // Text being typed may run past the field (it shows its end); what
        // the field shows otherwise is there to be read whole.
        if (field.isEditing() && !placeholder)
            needed.width = 0;
        return { DrawnText::measured(shown, needed, area) };
    }

}

DrawnText DrawnText::measured(std::string text, Size needed, Rect room)
{
    constexpr double slack = 0.5;
    bool fits = needed.width <= room.width() + slack && needed.height <= room.height() + 2 + slack;
    return { std::move(text), needed, room, fits };
}

std::vector<DrawnText> drawnTextsOf(const View& view)
{
    if (auto* texts = dynamic_cast<const DrawsTexts*>(&view))
        return texts->drawnTexts();
    if (auto* label = dynamic_cast<const Label*>(&view))
        return labelTexts(*label);
    if (auto* button = dynamic_cast<const Button*>(&view))
        return buttonTexts(*button);
    if (auto* field = dynamic_cast<const TextField*>(&view))
        return fieldTexts(*field);
    return {};
}

}
