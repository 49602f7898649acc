#include "platform/host/TextScale.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

TEST(TextScale, ReadsTheDesktopsAnswerAndNothingElse)
{
    EXPECT_EQ(parseTextScale("1.5\n"), 1.5);
    EXPECT_EQ(parseTextScale(" 1.25 "), 1.25);
    EXPECT_EQ(parseTextScale("1"), 1.0);
    for (const char* bad : { "", "\n", "uint32 1", "1.5x", "-1", "0", "nan", "inf", "No such key" })
        EXPECT_EQ(parseTextScale(bad), std::nullopt) << bad;
}

TEST(TextScale, AnOptionWinsOverTheDesktopWhichOnlyAWindowAsks)
{
    int asked = 0;
    auto desktop = [&](std::optional<double> answer) {
        return [&asked, answer] {
            ++asked;
            return answer;
        };
    };
    EXPECT_EQ(chooseTextScale(1.25, true, desktop(2.0)), 1.25);
    EXPECT_EQ(asked, 0) << "an explicit option does not ask the desktop";
    EXPECT_EQ(chooseTextScale(std::nullopt, true, desktop(2.0)), 2.0);
    EXPECT_EQ(chooseTextScale(std::nullopt, true, desktop(std::nullopt)), 1.0) << "no setting, or no gsettings";
    EXPECT_EQ(chooseTextScale(std::nullopt, false, desktop(2.0)), 1.0) << "headless runs draw alike everywhere";
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(chooseTextScale(std::nullopt, true, desktop(9.0)), 3.0) << "a desktop's extreme is kept in range";
    EXPECT_EQ(chooseTextScale(std::nullopt, true, desktop(0.1)), 0.5);
}

TEST(TextScale, ScalesEveryFontButFixedOnesAndLabelsTellWhenTheirTextIsCut)
{
    struct Restore {
        ~Restore() { setTextScale(1); }
    } restore;
    auto label = Label::create({ 0, 0, 100, 21 });
    label->setFont(Font::systemFont(17));
    label->setText("Heater");
    Size plain = sizeOfText("Heater", Font::systemFont(17));
    EXPECT_TRUE(label->textFits());
    setTextScale(1.5);
    Size larger = sizeOfText("Heater", Font::systemFont(17));
    EXPECT_NEAR(larger.width, plain.width * 1.5, 1);
    EXPECT_EQ(sizeOfText("Heater", Font::systemFont(17).fixedSize()), plain) << "fixed fonts keep their size";
    EXPECT_FALSE(label->textFits()) << "a 21-point line is too low for 25.5-point text";
    label->setFrame({ 0, 0, 100, std::ceil(larger.height) });
    EXPECT_TRUE(label->textFits());
    label->setText("An electric heater");
    label->setFrame({ 0, 0, 150, std::ceil(larger.height) });
    EXPECT_FALSE(label->textFits()) << "too wide for one line";
    label->setNumberOfLines(2);
    label->setFrame({ 0, 0, 150, std::ceil(larger.height) * 2 });
    EXPECT_TRUE(label->textFits()) << "two lines hold it";
    label->setFrame({ 0, 0, 150, std::ceil(larger.height) * 1.5 });
    EXPECT_FALSE(label->textFits()) << "the second line would be clipped";

    setTextScale(3.0);
    EXPECT_EQ(textScale(), 3.0);
    setTextScale(3.01);
    EXPECT_EQ(textScale(), 3.0) << "one past the top is the top";
    setTextScale(0.5);
    EXPECT_EQ(textScale(), 0.5);
    setTextScale(0.49);
    EXPECT_EQ(textScale(), 0.5);
    setTextScale(std::nan(""));
    EXPECT_EQ(textScale(), 1.0);
}
