#include "platform/host/Script.h"

#include <gtest/gtest.h>

using namespace hestio::platform;

namespace {

Step parseOne(const std::string& line)
{
    Script script = Script::parse(line);
    EXPECT_FALSE(script.error) << line << " -> " << script.error->describe();
    EXPECT_EQ(script.steps.size(), 1u) << line;
    return script.steps.empty() ? Step {} : script.steps[0];
}

std::string errorOf(const std::string& text)
{
    Script script = Script::parse(text);
    EXPECT_TRUE(script.error) << text;
    EXPECT_TRUE(script.steps.empty()) << text;
    return script.error ? script.error->describe() : std::string();
}

}

TEST(Script, ParsesEveryStepKind)
{
    Script script = Script::parse(R"(# a demo
tap "Sign In"
tap #username
tap-at 10 20.5
double-tap "Row 1"
long-press 30 40
type "demo \"quoted\"\n"
return
backspace
swipe left on "Row 2"
drag 1 2 3 4 0.25
pull-to-refresh
pinch 160 240 2.5
wait 1.5
wait-for #spinner 3
expect "Hello"
expect-not #error
expect-alert "Title"
expect-log "some line"
screenshot out/shot.png
location 52.5 -1.25
background
foreground
push '{"aps":{"alert":"Hi \"there\""}}'
)");
    ASSERT_FALSE(script.error) << script.error->describe();
    ASSERT_EQ(script.steps.size(), 23u);
    const auto& s = script.steps;

    EXPECT_EQ(s[0].kind, StepKind::Tap);
    EXPECT_EQ(s[0].line, 2);
    EXPECT_EQ(s[0].source, "tap \"Sign In\"");
    EXPECT_EQ(s[0].target.kind, StepTarget::Kind::Text);
    EXPECT_EQ(s[0].target.name, "Sign In");
    EXPECT_EQ(s[1].target.kind, StepTarget::Kind::Identifier);
    EXPECT_EQ(s[1].target.name, "username");
    EXPECT_EQ(s[2].kind, StepKind::Tap);
    EXPECT_EQ(s[2].target.kind, StepTarget::Kind::Point);
    EXPECT_EQ(s[2].target.point, (Point { 10, 20.5 }));
    EXPECT_EQ(s[3].kind, StepKind::DoubleTap);
    EXPECT_EQ(s[4].kind, StepKind::LongPress);
    EXPECT_EQ(s[4].target.point, (Point { 30, 40 }));
    EXPECT_EQ(s[5].kind, StepKind::Type);
    EXPECT_EQ(s[5].text, "demo \"quoted\"\n");
    EXPECT_EQ(s[6].kind, StepKind::Return);
    EXPECT_EQ(s[7].kind, StepKind::Backspace);
    EXPECT_EQ(s[8].kind, StepKind::Swipe);
    EXPECT_EQ(s[8].direction, SwipeDirection::Left);
    EXPECT_EQ(s[8].target.name, "Row 2");
    EXPECT_EQ(s[9].kind, StepKind::Drag);
    EXPECT_EQ(s[9].from, (Point { 1, 2 }));
    EXPECT_EQ(s[9].to, (Point { 3, 4 }));
    EXPECT_EQ(s[9].seconds, 0.25);
    EXPECT_EQ(s[10].kind, StepKind::PullToRefresh);
    EXPECT_TRUE(s[10].target.isNone());
    EXPECT_EQ(s[11].kind, StepKind::Pinch);
    EXPECT_EQ(s[11].to, (Point { 160, 240 }));
    EXPECT_EQ(s[11].scale, 2.5);
    EXPECT_EQ(s[12].seconds, 1.5);
    EXPECT_EQ(s[13].kind, StepKind::WaitFor);
    EXPECT_EQ(s[13].target.name, "spinner");
    EXPECT_EQ(s[13].seconds, 3);
    EXPECT_EQ(s[14].kind, StepKind::Expect);
    EXPECT_EQ(s[15].kind, StepKind::ExpectNot);
    EXPECT_EQ(s[15].target.kind, StepTarget::Kind::Identifier);
    EXPECT_EQ(s[16].text, "Title");
    EXPECT_EQ(s[17].text, "some line");
    EXPECT_EQ(s[18].text, "out/shot.png");
    EXPECT_EQ(s[19].latitude, 52.5);
    EXPECT_EQ(s[19].longitude, -1.25);
    EXPECT_EQ(s[20].kind, StepKind::Background);
    EXPECT_EQ(s[21].kind, StepKind::Foreground);
    EXPECT_EQ(s[22].kind, StepKind::Push);
    // Single quotes keep the payload's own escapes.
    EXPECT_EQ(s[22].text, R"({"aps":{"alert":"Hi \"there\""}})");
}

TEST(Script, AppliesDefaultsAndAcceptsLooseSpacing)
{
    EXPECT_EQ(parseOne("drag 0 0 10 10").seconds, defaultDragSeconds);
    EXPECT_EQ(parseOne("wait-for \"Done\"").seconds, defaultWaitForTimeout);
    EXPECT_EQ(parseOne("  \ttap   \"A  B\"  \r").target.name, "A  B");
    EXPECT_EQ(parseOne("screenshot \"with space.png\"").text, "with space.png");
    EXPECT_EQ(parseOne("swipe up").target.kind, StepTarget::Kind::None);
    EXPECT_EQ(parseOne("pull-to-refresh on #table").target.name, "table");
    EXPECT_EQ(parseOne("tap-at +5 -0").target.point, (Point { 5, 0 }));
    EXPECT_EQ(parseOne("wait 1e-1").seconds, 0.1);
    EXPECT_EQ(parseOne("type \"\"").text, "");
}

TEST(Script, ParsesTheConditionsAWaitCanWaitFor)
{
    struct Case {
        const char* line;
        StepKind kind;
        const char* text;
        double seconds;
    };
    const Case cases[] = {
        { "wait-for-not \"Loading\" 7", StepKind::WaitForNot, "", 7 },
        { "wait-for-not #spinner", StepKind::WaitForNot, "", defaultWaitForTimeout },
        { "wait-for-alert \"Error Occurred\" 10", StepKind::WaitForAlert, "Error Occurred", 10 },
        { "wait-for-alert 'Are you sure?'", StepKind::WaitForAlert, "Are you sure?", defaultWaitForTimeout },
        { "wait-for-log \"posted\" 0", StepKind::WaitForLog, "posted", 0 },
        { "wait-for-log \"posted\" 86400", StepKind::WaitForLog, "posted", 86400 },
        { "wait-for-idle", StepKind::WaitForIdle, "", defaultWaitForTimeout },
        { "wait-for-idle 12.5", StepKind::WaitForIdle, "", 12.5 },
        { "wait-for-still 1", StepKind::WaitForStill, "", 1 },
    };
    for (const auto& c : cases) {
        Step step = parseOne(c.line);
        EXPECT_EQ(step.kind, c.kind) << c.line;
        EXPECT_EQ(step.text, c.text) << c.line;
        EXPECT_EQ(step.seconds, c.seconds) << c.line;
    }
    Step gone = parseOne("wait-for-not #spinner");
    EXPECT_EQ(gone.target.kind, StepTarget::Kind::Identifier);
    EXPECT_EQ(gone.target.name, "spinner");
    EXPECT_STREQ(stepKeyword(StepKind::WaitForIdle), "wait-for-idle");
}

TEST(Script, ParsesKeysByName)
{
    Script script = Script::parse("key Tab\nkey shift+tab\nkey \"Ctrl+3\"\nkey Escape\nexpect-focus #name\n");
    ASSERT_FALSE(script.error) << script.error->describe();
    ASSERT_EQ(script.steps.size(), 5u);
    EXPECT_EQ(script.steps[0].kind, StepKind::Key);
    EXPECT_EQ(script.steps[0].key, (KeyPress { KeyCode::Tab, KeyModifierNone, 0 }));
    EXPECT_EQ(script.steps[1].key, (KeyPress { KeyCode::Tab, KeyModifierShift, 0 }));
    EXPECT_EQ(script.steps[2].key, (KeyPress { KeyCode::Digit, KeyModifierControl, 3 }));
    EXPECT_EQ(script.steps[3].key.code, KeyCode::Escape);
    EXPECT_EQ(script.steps[4].kind, StepKind::ExpectFocus);
    EXPECT_EQ(script.steps[4].target.describe(), "#name");
}

TEST(Script, SkipsCommentsAndBlankLinesButCountsThem)
{
    Script script = Script::parse("\n# comment\n   # indented comment\r\n\nexpect \"x\"\r\n");
    ASSERT_FALSE(script.error);
    ASSERT_EQ(script.steps.size(), 1u);
    EXPECT_EQ(script.steps[0].line, 5);
    EXPECT_TRUE(Script::parse("").steps.empty());
    EXPECT_FALSE(Script::parse("").error);
}

TEST(Script, ReportsTheFirstErrorWithItsLine)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        { "tapp \"x\"", "line 1: unknown step \"tapp\"" },
        { "\n\ntap", "line 3: tap needs \"Text\" or #identifier (tap \"Text\" | tap #id)" },
        { "tap 10 20", "line 1: tap needs \"Text\" or #identifier, not \"10\" (tap \"Text\" | tap #id)" },
        { "tap-at 10", "line 1: tap-at needs X Y (tap-at X Y)" },
        { "tap-at ten 20", "line 1: \"ten\" is not a number (tap-at needs X Y)" },
        { "tap-at 1 nan", "line 1: \"nan\" is not a number (tap-at needs X Y)" },
        { "tap-at 1 inf", "line 1: \"inf\" is not a number (tap-at needs X Y)" },
        { "tap-at 1 2 3", "line 1: unexpected \"3\" after the step (tap-at X Y)" },
        { "double-tap", "line 1: double-tap needs \"Text\", #identifier or X Y (double-tap \"Text\" | #id | X Y)" },
        { "tap \"open", "line 1: unterminated string (a closing \" is missing)" },
        { "push '{\"a\":1}", "line 1: unterminated string (a closing ' is missing)" },
        { "type \"a\\qb\"", "line 1: unknown escape \\q in a string (known: \\\" \\\\ \\n \\t)" },
        { "type hello", "line 1: type needs a quoted text (type \"text\")" },
        { "tap #", "line 1: # must be followed by an accessibility identifier" },
        { "\"tap\" x", "line 1: a step starts with its keyword, not \"tap\"" },
        { "swipe sideways", "line 1: \"sideways\" is not a direction (swipe left|right|up|down [on \"Text\"|#id])" },
        { "swipe left at \"x\"",
            "line 1: expected on \"Text\" or on #identifier, not \"at\" (swipe left|right|up|down [on \"Text\"|#id])" },
        { "swipe left on", "line 1: swipe needs \"Text\" or #identifier (swipe left|right|up|down [on \"Text\"|#id])" },
        { "drag 0 0 1 1 0", "line 1: a drag lasts more than 0 and at most 60 seconds" },
        { "pinch 1 2 0",
            "line 1: the pinch scale must be more than 0 and at most 100 (below 1 pinches in, above 1 spreads)" },
        { "wait -1", "line 1: wait takes 0 to 86400 seconds" },
        { "wait", "line 1: wait needs SECONDS (wait SECONDS)" },
        { "wait-for \"x\" -2", "line 1: the wait-for timeout is 0 to 86400 seconds" },
        { "wait-for-not \"x\" 86400.5", "line 1: the wait-for-not timeout is 0 to 86400 seconds" },
        { "wait-for-not 3",
            "line 1: wait-for-not needs \"Text\" or #identifier, not \"3\" (wait-for-not \"Text\"|#id [TIMEOUT])" },
        { "wait-for-alert Oops", "line 1: wait-for-alert needs a quoted title (wait-for-alert \"Title\" [TIMEOUT])" },
        { "wait-for-alert \"Oops\" soon", "line 1: \"soon\" is not a number (wait-for-alert needs TIMEOUT)" },
        { "wait-for-log", "line 1: wait-for-log needs a quoted line (wait-for-log \"line\" [TIMEOUT])" },
        { "wait-for-log \"a\" 1 2", "line 1: unexpected \"2\" after the step (wait-for-log \"line\" [TIMEOUT])" },
        { "wait-for-idle \"x\"", "line 1: \"x\" is not a number (wait-for-idle needs TIMEOUT)" },
        { "wait-for-idle -0.1", "line 1: the wait-for-idle timeout is 0 to 86400 seconds" },
        { "wait-for-still now", "line 1: \"now\" is not a number (wait-for-still needs TIMEOUT)" },
        { "location 91 0", "line 1: latitude must be between -90 and 90" },
        { "location 0 -180.5", "line 1: longitude must be between -180 and 180" },
        { "return now", "line 1: unexpected \"now\" after the step (return takes no arguments)" },
        { "screenshot", "line 1: screenshot needs a file name (screenshot FILE.png)" },
        { "screenshot \"\"", "line 1: screenshot needs a file name (screenshot FILE.png)" },
        { "expect-alert Title", "line 1: expect-alert needs a quoted title (expect-alert \"Title\")" },
        { "push {}", "line 1: push needs a quoted JSON payload (push '{\"aps\":{\"alert\":\"…\"}}')" },
        { "expect \"ok\"\nexpect \"a\" \"b\"\nbogus", "line 2: unexpected \"b\" after the step (expect \"Text\"|#id)" },
        { "key Tab\n\nkey Ctrl+Q",
            "line 3: \"Ctrl+Q\" is not a key (key "
            "Tab|Shift+Tab|Return|Space|Escape|Left|Right|Up|Down|Ctrl+1…Ctrl+9)" },
        { "key 1",
            "line 1: \"1\" is not a key (key Tab|Shift+Tab|Return|Space|Escape|Left|Right|Up|Down|Ctrl+1…Ctrl+9)" },
        { "key",
            "line 1: key needs a key name (key Tab|Shift+Tab|Return|Space|Escape|Left|Right|Up|Down|Ctrl+1…Ctrl+9)" },
        { "key Tab Tab",
            "line 1: unexpected \"Tab\" after the step (key "
            "Tab|Shift+Tab|Return|Space|Escape|Left|Right|Up|Down|Ctrl+1…Ctrl+9)" },
        { "expect-focus", "line 1: expect-focus needs \"Text\" or #identifier (expect-focus \"Text\"|#id)" },
        { "type \"\x01\"\nfrob\x02", "line 2: unknown step \"frob\\x02\"" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf(c.text), c.error) << "input: " << c.text;
}

TEST(Script, NulBytesInTheMiddleAreReported)
{
    EXPECT_EQ(errorOf(std::string("expect \"a\"\ntap \"a\0b\"\n", 21)), "line 2: the line holds a NUL byte");
}

TEST(Script, SurvivesArbitraryBytes)
{
    // A cheap stand-in for the fuzzer: every prefix and single-byte mutation of
    // a script parses to steps or an error, never a crash.
    std::string base = "tap \"A\"\ndrag 1 2 3 4 0.5\npush '{\"x\":1}'\nswipe left on #id\nwait-for \"B\" 2\n";
    for (std::size_t n = 0; n <= base.size(); ++n) {
        Script script = Script::parse(std::string_view(base).substr(0, n));
        EXPECT_TRUE(script.error || !script.steps.empty() || n < 7) << n;
    }
    for (std::size_t i = 0; i < base.size(); ++i)
        for (int b : { 0, int('"'), int('\''), int('#'), int('\n'), int(' '), 0xff, int('\\') }) {
            std::string mutated = base;
            mutated[i] = static_cast<char>(b);
            Script script = Script::parse(mutated);
            if (script.error) {
                EXPECT_GT(script.error->line, 0);
            }
        }
}

TEST(Script, DescribesTargetsAsWritten)
{
    EXPECT_EQ(parseOne("tap \"Say \\\"hi\\\"\"").target.describe(), "\"Say \\\"hi\\\"\"");
    EXPECT_EQ(parseOne("tap #go").target.describe(), "#go");
    EXPECT_EQ(parseOne("tap-at 1.5 2").target.describe(), "1.5 2");
    EXPECT_EQ(parseOne("swipe up").target.describe(), "the screen");
    EXPECT_STREQ(stepKeyword(StepKind::PullToRefresh), "pull-to-refresh");
}
