#include "json/JSON.h"

#include <gtest/gtest.h>

using json::Value;

TEST(Serializer, WritesReplyObjects)
{
    Value reply = Value::mutableDictionary();
    reply.asDictionary()->setObject(true, "success");
    Value list = Value::mutableArray({ 1, -2.5, "a\"b", Value::null() });
    reply.asDictionary()->setObject(list, "list");
    auto text = json::JSONString(reply);
    ASSERT_TRUE(text);
    auto pretty = json::JSONStringWithOptions(reply, json::SerializeOptionPretty);
    ASSERT_TRUE(pretty);
    EXPECT_EQ(*pretty, "{\n  \"list\": [\n    1,\n    -2.5,\n    \"a\\\"b\",\n    null\n  ],\n  \"success\": true\n}");
}
