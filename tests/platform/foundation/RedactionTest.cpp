#include "platform/foundation/Redaction.h"

#include <gtest/gtest.h>

#include <string>

using hestio::redactSecrets;

TEST(Redaction, ReplacesOnlyTheValuesOfTokensAndPasswords)
{
    const std::string token(64, 'f');
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        { "query with the token first and last",
            "https://127.0.0.1:8443/kivoraserver/api/device?token=" + token + "&action=true&token=" + token,
            "https://127.0.0.1:8443/kivoraserver/api/device?token=<redacted>&action=true&token=<redacted>" },
        { "sign-in body", "name=demo&password=s3cr%26t+x&token=(null)",
            "name=demo&password=<redacted>&token=<redacted>" },
        { "password change", "name=ann&password=old&new_password=new&token=" + token,
            "name=ann&password=<redacted>&new_password=<redacted>&token=<redacted>" },
        { "push token, any case", "push_token=abc&Device_Token=def&PASSWORD=x",
            "push_token=<redacted>&Device_Token=<redacted>&PASSWORD=<redacted>" },
        { "value ends at a blank", "failed: token=abc the server", "failed: token=<redacted> the server" },
        { "inside a quoted text", "(\n        \"title=Home&token=abc\",\n)",
            "(\n        \"title=Home&token=<redacted>\",\n)" },
        { "escaped quote inside the value", "\"password=a\\\"b&x=1\"", "\"password=<redacted>&x=1\"" },
        { "json strings", R"({"name":"demo","password": "p\"w","token":"abc","n":1})",
            R"({"name":"demo","password": "<redacted>","token":"<redacted>","n":1})" },
        { "json number", R"({"token": 1234, "x": 2})", R"({"token": <redacted>, "x": 2})" },
        { "empty values stay empty", "token=&password=", "token=&password=" },
        { "names that only contain the words", "tokens=1&passwords=2&tokenizer=3&token_count=4",
            "tokens=1&passwords=2&tokenizer=3&token_count=4" },
        { "no secrets", "Connection failed! Error - timed out", "Connection failed! Error - timed out" },
        { "unclosed quote", "\"token", "\"token" },
        { "nothing", "", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(redactSecrets(c.text), c.expected) << c.name;
}
