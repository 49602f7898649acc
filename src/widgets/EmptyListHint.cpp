#include "widgets/EmptyListHint.h"

namespace hestio {

using namespace platform;

std::shared_ptr<Label> makeEmptyListHint(const std::string& text, const std::string& identifier, Color textColor)
{
    auto hint = Label::create({ 20, 140, 280, 60 });
    hint->setAccessibilityIdentifier(identifier);
    hint->setText(text);
    hint->setNumberOfLines(2);
    hint->setTextAlignment(TextAlignment::Center);
    hint->setTextColor(textColor);
    hint->setBackgroundColor(Color::clear());
    hint->setAutoresizingMask(AutoresizingFlexibleWidth);
    hint->setHidden(true);
    return hint;
}

}
