#include "model/ShownName.h"

#include <gtest/gtest.h>

using namespace hestio;

TEST(ShownName, KeepsANameOnOneLineWithoutCharactersThatTurnTheTextAroundIt)
{
    struct Case {
        const char* name;
        const char* shown;
    };
    const Case cases[] = {
        { "Heater", "Heater" },
        { "K\xc3\xbc"
          "che \xe2\x80\x93 \xd7\x9e\xd7\x98\xd7\x91\xd7\x97",
            "K\xc3\xbc"
            "che \xe2\x80\x93 \xd7\x9e\xd7\x98\xd7\x91\xd7\x97" }, // other scripts stay
        { "", "Unnamed" },
        { "A\nB\tC\rD\x7f"
          "E",
            "A B C D E" }, // C0 controls and DEL
        { "A\xc2\x85"
          "B\xc2\x9b"
          "C",
            "A B C" }, // C1: next line, control sequence introducer
        { "A\xe2\x80\xa8"
          "B\xe2\x80\xa9"
          "C",
            "A B C" }, // line and paragraph separators
        { "Heater\xe2\x80\xaegnp.exe", "Heatergnp.exe" }, // right-to-left override U+202E
        { "\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad"
          "TV",
            "TV" }, // embeddings and the pop U+202A to U+202D
        { "\xe2\x81\xa6"
          "a\xe2\x81\xa7"
          "b\xe2\x81\xa8"
          "c\xe2\x81\xa9",
            "abc" }, // isolates U+2066 to U+2069
        { "\xe2\x80\x8e"
          "a\xe2\x80\x8f"
          "b\xd8\x9c",
            "ab" }, // the marks LRM, RLM, ALM
        { "\xe2\x80\xae", "Unnamed" }, { "\xe2\x80\xa8\n", "Unnamed" },
        { "a\xff"
          "b\xc3",
            "a\xef\xbf\xbd"
            "b\xef\xbf\xbd" }, // not UTF-8
        { "Desk\xe2\x80\x8bLamp", "Desk\xe2\x80\x8bLamp" }, // a zero-width space shows nothing wrong
        { "\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9", "\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9" }, // a joiner
        { "<b>Heater</b> & \"TV\"", "<b>Heater</b> & \"TV\"" }, // markup is the desktop's business
    };
    for (const auto& c : cases)
        EXPECT_EQ(shownName(c.name), c.shown) << c.name;

    EXPECT_EQ(safeName(""), "");
    EXPECT_EQ(safeName("\xe2\x80\xae"), "");
    EXPECT_EQ(safeName("Desk\xe2\x80\x8bLa\xc2\xadmp\xef\xbb\xbf", FormatCharacters::Drop), "DeskLamp");
    EXPECT_EQ(safeName("Desk\xe2\x80\x8bLamp\xe2\x80\xae", FormatCharacters::Keep), "Desk\xe2\x80\x8bLamp");
}
