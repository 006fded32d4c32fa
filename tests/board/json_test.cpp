// The JSON writer: the exact text of numbers, strings and layouts that the
// run reports and the command line have always printed.
#include "json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using kivo::Json;
using kivo::JsonLine;
using kivo::JsonText;

TEST(JsonText, NumbersAndStrings)
{
    struct Case {
        Json value;
        const char *text;
    };
    const Case cases[] = {
        {3.0, "3"},
        {-0.0, "0"},
        {2.5, "2.5"},
        {1.0 / 3, "0.3333333333"},
        {1e-5, "1e-05"},
        {0.000123456789012, "0.000123456789"},
        {-123456.7890123, "-123456.789"},
        {2e15, "2e+15"},
        {123456789012345678ull, "1.23456789e+17"},
        {-42, "-42"},
        {std::nan(""), "null"},
        {std::numeric_limits<double>::infinity(), "null"},
        {"a\"b\\c\n\r\t\x01\b\f\x7f/", "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u0008\\u000c\\u007f/\""},
        {"\\b", "\"\\\\b\""},                                     // an escaped backslash before b stays one
        {"ok\xff\xe2\x82\xac", "\"ok\xEF\xBF\xBD\xe2\x82\xac\""}, // bad UTF-8 becomes U+FFFD
    };
    for (const auto &c : cases)
        EXPECT_EQ(JsonText(c.value), c.text) << c.text;
}

TEST(JsonText, CompactPrettyAndLineLayouts)
{
    Json j;
    j["text"] = std::string("a\"b\n\x01\xff");
    j["n"] = 2.5;
    j["list"].push_back(1);
    j["list"].push_back(nullptr);
    EXPECT_EQ(JsonText(j), "{\"text\":\"a\\\"b\\n\\u0001\xEF\xBF\xBD\",\"n\":2.5,\"list\":[1,null]}");

    Json p = Json::object();
    p["z"] = Json::array();
    p["a"] = Json::object();
    p["m"] = {4.0, true};
    EXPECT_EQ(JsonText(p, 2), "{\n  \"z\": [],\n  \"a\": {},\n  \"m\": [\n    4,\n    true\n  ]\n}");
    EXPECT_EQ(JsonLine(p), "{\"z\": [], \"a\": {}, \"m\": [4, true]}");
}

} // namespace
