#include "platform/foundation/Result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using hestio::platform::Error;
using hestio::platform::Result;
using hestio::platform::Status;

namespace {

Result<int> parseDigit(char c)
{
    if (c < '0' || c > '9')
        return Error(std::string("not a digit: ") + c);
    return c - '0';
}

Status requireEven(int value)
{
    if (value % 2)
        return Error(std::to_string(value) + " is odd");
    return {};
}

// The shape the callers take: pass the first failure on unchanged.
Result<int> sumOfEvenDigits(const std::string& text)
{
    int sum = 0;
    for (char c : text) {
        Result<int> digit = parseDigit(c);
        if (!digit)
            return digit.error();
        if (auto even = requireEven(*digit); !even)
            return even.error();
        sum += *digit;
    }
    return sum;
}

}

TEST(Result, HoldsTheValueOrTheErrorAndSaysWhich)
{
    Result<int> good = parseDigit('7');
    ASSERT_TRUE(good);
    EXPECT_TRUE(good.hasValue());
    EXPECT_EQ(good.value(), 7);
    EXPECT_EQ(*good, 7);

    Result<int> bad = parseDigit('x');
    ASSERT_FALSE(bad);
    EXPECT_FALSE(bad.hasValue());
    EXPECT_EQ(bad.error().message(), "not a digit: x");
}

TEST(Result, TheFirstFailurePassesThroughCallersUnchanged)
{
    struct Case {
        const char* text;
        bool ok;
        int sum;
        const char* message;
    };
    const Case cases[] = {
        { "", true, 0, "" },
        { "2468", true, 20, "" },
        { "0", true, 0, "" },
        { "23", false, 0, "3 is odd" },
        { "2a3", false, 0, "not a digit: a" },
        { "9", false, 0, "9 is odd" },
    };
    for (const Case& c : cases) {
        Result<int> result = sumOfEvenDigits(c.text);
        ASSERT_EQ(static_cast<bool>(result), c.ok) << "input: " << c.text;
        if (c.ok)
            EXPECT_EQ(*result, c.sum) << "input: " << c.text;
        else
            EXPECT_EQ(result.error().message(), c.message) << "input: " << c.text;
    }
}

TEST(Result, AStatusIsSuccessByDefaultAndAFailureOnceGivenAnError)
{
    Status done;
    EXPECT_TRUE(done);
    Status odd = requireEven(3);
    ASSERT_FALSE(odd);
    EXPECT_EQ(odd.error(), Error("3 is odd"));

    // A Status can be set later, as a loop over steps does.
    Status problem;
    problem = Error("first");
    ASSERT_FALSE(problem);
    EXPECT_EQ(problem.error().message(), "first");
    problem = Status {};
    EXPECT_TRUE(problem);
}

TEST(Result, TextResultsTakeLiteralsAsValuesAndErrorsOnlyWhenNamed)
{
    // A text value and a message are both strings; only Error makes a failure.
    auto text = [](bool fail) -> Result<std::string> {
        if (fail)
            return Error("no text");
        return "some text";
    };
    ASSERT_TRUE(text(false));
    EXPECT_EQ(*text(false), "some text");
    EXPECT_EQ(text(false)->size(), 9u);
    ASSERT_FALSE(text(true));
    EXPECT_EQ(text(true).error().message(), "no text");

    Result<std::string> empty = std::string();
    EXPECT_TRUE(empty) << "an empty text is a value, not a failure";
}

TEST(Result, MoveOnlyValuesMoveOut)
{
    Result<std::unique_ptr<int>> owned = std::make_unique<int>(5);
    ASSERT_TRUE(owned);
    std::unique_ptr<int> taken = std::move(owned).value();
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, 5);

    Result<std::vector<int>> list = std::vector<int> { 1, 2, 3 };
    list->push_back(4);
    EXPECT_EQ(list->size(), 4u);
    std::string message = Error("moved").message();
    EXPECT_EQ(message, "moved");
}
