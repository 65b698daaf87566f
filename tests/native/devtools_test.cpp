#include "devtools/devtools.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::devtools {
namespace {

TEST(EncodeCommand, WritesTheParamsInOrderWithStringsEscaped) {
    Params params;
    params.text("url", "http://a/\"q\"\\\n\x01")
        .text("title", "\xE4\xB8\xAD \xFF")
        .flag("on", true)
        .integer("n", -12)
        .number("scale", 1.5)
        .object("inner", Params().flag("off", false));
    EXPECT_EQ(
        encode_command(7, "Page.navigate", params, ""),
        "{\"id\":7,\"method\":\"Page.navigate\",\"params\":{\"url\":\"http://a/\\\"q\\\"\\\\\\n\\u0001\","
        "\"title\":\"\xE4\xB8\xAD \xEF\xBF\xBD\",\"on\":true,\"n\":-12,\"scale\":1.5,\"inner\":{\"off\":false}}}");
    EXPECT_EQ(encode_command(8, "Page.enable", Params(), "S1"),
              "{\"id\":8,\"method\":\"Page.enable\",\"params\":{},\"sessionId\":\"S1\"}");
}

TEST(ParseMessage, TellsRepliesErrorsAndEventsAndRefusesTheRest) {
    using Kind = Message::Kind;
    struct Case {
        std::string_view text;
        std::optional<Kind> kind;
        int id = 0;
        std::string_view method = {};
        std::string_view session = {};
        size_t body_size = 0;
    } cases[] = {
        {R"({"id":3,"result":{"a":1,"b":2}})", Kind::kReply, 3, "", "", 2},
        {R"({"id":4,"result":{},"sessionId":"S"})", Kind::kReply, 4, "", "S"},
        {R"({"id":5})", Kind::kReply, 5},
        {R"({"id":-6,"error":{"code":-32601,"message":"'X' wasn't found"}})", Kind::kError, -6, "", "", 2},
        {R"({"method":"Page.loadEventFired","params":{"timestamp":1.5},"sessionId":"S"})", Kind::kEvent, 0,
         "Page.loadEventFired", "S", 1},
        {R"({"method":"Target.targetCrashed"})", Kind::kEvent, 0, "Target.targetCrashed"},
        {R"([{"id":1}])", std::nullopt},
        {R"({"id":"1","result":{}})", std::nullopt},
        {R"({"id":1.5,"result":{}})", std::nullopt},
        {R"({"id":2147483648,"result":{}})", std::nullopt},
        {R"({"id":18446744073709551615,"result":{}})", std::nullopt},
        {R"({"method":5})", std::nullopt},
        {R"({"params":{}})", std::nullopt},
        {R"({"id":1,"result":{})", std::nullopt},
        {"", std::nullopt},
        {"\"id\"", std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<Message> message = parse_message(c.text);
        ASSERT_EQ(message.has_value(), c.kind.has_value()) << c.text;
        if (!message)
            continue;
        EXPECT_EQ(message->kind, *c.kind) << c.text;
        EXPECT_EQ(message->id, c.id) << c.text;
        EXPECT_EQ(message->method, c.method) << c.text;
        EXPECT_EQ(message->session_id, c.session) << c.text;
        EXPECT_EQ(size_at(*message, ""), c.body_size) << c.text;
    }
    std::optional<Message> error = parse_message(R"({"id":1,"error":{"code":-32000,"message":"No target"}})");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->error_code, -32000);
    EXPECT_EQ(error->error_message, "No target");
}

TEST(ValueAt, FollowsTheJsonPointerAndChecksTheType) {
    std::optional<Message> m = parse_message(
        R"({"method":"E","params":{"frame":{"url":"u","id":"F"},"list":[10,"x",true],"a/b":{"~":1.5},"big":18446744073709551615}})");
    ASSERT_TRUE(m);
    EXPECT_EQ(string_at(*m, "/frame/url"), "u");
    EXPECT_EQ(string_at(*m, "/list/1"), "x");
    EXPECT_EQ(integer_at(*m, "/list/0"), 10);
    EXPECT_EQ(bool_at(*m, "/list/2"), true);
    EXPECT_EQ(number_at(*m, "/a~1b/~0"), 1.5);
    EXPECT_EQ(number_at(*m, "/list/0"), 10.0);
    EXPECT_EQ(size_at(*m, "/list"), 3u);
    EXPECT_EQ(size_at(*m, "/frame"), 2u);
    struct Missing {
        std::string_view pointer;
    } missing[] = {{"/frame/title"}, {"/list/3"}, {"/list/01"},     {"/list/-1"},
                   {"/list/x"},      {"frame"},   {"/frame/url/x"}, {"/a/b"}};
    for (const Missing& c : missing)
        EXPECT_EQ(string_at(*m, c.pointer), std::nullopt) << c.pointer;
    EXPECT_EQ(integer_at(*m, "/frame/url"), std::nullopt);
    EXPECT_EQ(integer_at(*m, "/a~1b/~0"), std::nullopt);
    EXPECT_EQ(integer_at(*m, "/big"), std::nullopt);
    EXPECT_EQ(bool_at(*m, "/list/0"), std::nullopt);
    EXPECT_EQ(size_at(*m, "/frame/url"), std::nullopt);
}

TEST(EvaluatedString, TakesTheValueOnlyWhenTheExpressionGaveAString) {
    struct Case {
        std::string_view reply;
        std::optional<std::string> value;
    } cases[] = {
        {R"({"id":1,"result":{"result":{"type":"string","value":"<!DOCTYPE html><html></html>"}}})",
         "<!DOCTYPE html><html></html>"},
        {R"({"id":1,"result":{"result":{"type":"number","value":3}}})", std::nullopt},
        {R"({"id":1,"result":{"result":{"type":"object"},"exceptionDetails":{"text":"Uncaught"}}})", std::nullopt},
        {R"({"id":1,"error":{"code":-32000,"message":"Cannot find context"}})", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(evaluated_string(*parse_message(c.reply)), c.value) << c.reply;
}

TEST(CommandTable, MatchesRepliesByIdAndSessionAndPassesEventsOn) {
    CommandTable table;
    Command navigate = table.add("Page.navigate", Params().text("url", "http://a/"), "S1");
    Command version = table.add("Browser.getVersion");
    Command history = table.add("Page.getNavigationHistory", Params(), "S2");
    EXPECT_EQ(navigate.text, R"({"id":1,"method":"Page.navigate","params":{"url":"http://a/"},"sessionId":"S1"})");
    EXPECT_EQ(version.id, 2);
    EXPECT_EQ(table.waiting(), 3u);

    struct Step {
        std::string_view text;
        std::optional<Message::Kind> kind;  // nothing: ignored
        std::string_view method = {};
    } steps[] = {
        {R"({"id":2,"result":{"product":"Chrome/120"}})", Message::Kind::kReply, "Browser.getVersion"},
        {R"({"id":2,"result":{}})", std::nullopt},  // answered already
        {R"({"id":99,"result":{}})", std::nullopt},
        {R"({"id":1,"result":{}})", std::nullopt},                   // on the browser, not on S1
        {R"({"id":1,"result":{},"sessionId":"S2"})", std::nullopt},  // on another page
        {R"({"method":"Page.frameStartedLoading","params":{"frameId":"F"},"sessionId":"S1"})", Message::Kind::kEvent,
         "Page.frameStartedLoading"},
        {R"({"id":1,"error":{"code":-32000,"message":"Cannot navigate"},"sessionId":"S1"})", Message::Kind::kError,
         "Page.navigate"},
        {"not json", std::nullopt},
    };
    for (const Step& step : steps) {
        std::optional<Message> message = table.receive(step.text);
        ASSERT_EQ(message.has_value(), step.kind.has_value()) << step.text;
        if (message) {
            EXPECT_EQ(message->kind, *step.kind) << step.text;
            EXPECT_EQ(message->method, step.method) << step.text;
        }
    }
    EXPECT_EQ(table.waiting(), 1u);
    EXPECT_EQ(table.drop_session("S2"), std::vector<int>{history.id});
    EXPECT_EQ(table.waiting(), 0u);
}

TEST(CommandTable, ForgetsCommandsThatTimedOutOrLostTheirConnection) {
    CommandTable table;
    int first = table.add("A").id;
    int second = table.add("B", Params(), "S").id;
    int third = table.add("C").id;
    EXPECT_TRUE(table.forget(first));
    EXPECT_FALSE(table.forget(first));
    EXPECT_EQ(table.receive(R"({"id":1,"result":{}})"), std::nullopt);
    EXPECT_EQ(table.drop_all(), (std::vector<int>{second, third}));
    EXPECT_EQ(table.add("D").id, 4);
}

}  // namespace
}  // namespace quarnel::devtools
