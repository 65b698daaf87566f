#include "core/host_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel::host_protocol {
namespace {

Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(HostProtocolText, EncodesUtf16LeWithNul) {
    EXPECT_EQ(encode_text(u""), bytes({0, 0}));
    EXPECT_EQ(encode_text(u"A\u4E2D"), bytes({'A', 0, 0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(encode_text(std::u16string(1000, u'x')).size(), 2002u);
}

TEST(HostProtocolText, DecodingStopsAtNulOrEndOfData) {
    struct Case {
        Bytes data;
        std::u16string text;
    } cases[] = {
        {{}, u""},
        {bytes({0}), u""},                      // one stray byte is no character
        {bytes({'a', 0, 'b', 0}), u"ab"},       // no NUL: the data ends the text
        {bytes({'a', 0, 'b', 0, 'c'}), u"ab"},  // odd tail dropped
        {bytes({'a', 0, 0, 0, 'b', 0}), u"a"},  // bytes after the NUL are not read as text
        {bytes({0x2D, 0x4E, 0, 0}), u"\u4E2D"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decode_text(c.data), c.text) << c.data.size();
}

TEST(HostProtocolChildArea, TwentyBytesInFieldOrder) {
    ChildArea area{0, 0, 880, 864, 0x00010A2C};
    Bytes data = encode_child_area(area);
    EXPECT_EQ(data, bytes({0, 0, 0, 0, 0, 0, 0, 0, 0x70, 3, 0, 0, 0x60, 3, 0, 0, 0x2C, 0x0A, 1, 0}));
    EXPECT_EQ(decode_child_area(data), area);
    data.pop_back();
    EXPECT_EQ(decode_child_area(data), std::nullopt);
    EXPECT_EQ(
        decode_child_area(bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}))->parent,
        0x14131211u);
}

TEST(HostProtocolViewText, SizeIsTwiceLengthPlusSix) {
    ViewText nav{0x1234, u"http://a/"};
    Bytes data = encode_view_text(nav);
    EXPECT_EQ(data.size(), 2 * nav.text.size() + 6);
    EXPECT_EQ(data[0], 0x34);
    EXPECT_EQ(data[1], 0x12);
    EXPECT_EQ(data[data.size() - 1], 0);
    EXPECT_EQ(data[data.size() - 2], 0);
    EXPECT_EQ(decode_view_text(data), nav);
}

TEST(HostProtocolViewText, ShortPayloadsAreRefusedAndTextsAreBounded) {
    EXPECT_EQ(decode_view_text(bytes({})), std::nullopt);
    EXPECT_EQ(decode_view_text(bytes({1, 2, 3})), std::nullopt);
    EXPECT_EQ(decode_view_text(bytes({1, 0, 0, 0})), (ViewText{1, u""}));
    EXPECT_EQ(decode_view_text(bytes({1, 0, 0, 0, 'x', 0, 'y'})), (ViewText{1, u"x"}));
}

TEST(HostProtocolPageSource, RequestSizes) {
    // An empty frame still gives 12 bytes: view id, flag and four zero bytes.
    Bytes empty = encode_page_source_request({7, 0, u""});
    EXPECT_EQ(empty, bytes({7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(decode_page_source_request(empty), (PageSourceRequest{7, 0, u""}));

    PageSourceRequest named{9, 1, u"frame-1"};
    Bytes data = encode_page_source_request(named);
    EXPECT_EQ(data.size(), 2 * named.frame.size() + 10);
    EXPECT_EQ(decode_page_source_request(data), named);
    EXPECT_EQ(decode_page_source_request(bytes({9, 0, 0, 0, 1, 0, 0})), std::nullopt);
}

TEST(HostProtocolNotifications, LoadFinishedRoundTripAndNegativeStatus) {
    LoadFinished done{0xFFFFFFFE, -3, u"main"};
    EXPECT_EQ(decode_load_finished(encode_load_finished(done)), done);
    EXPECT_EQ(decode_load_finished(bytes({1, 0, 0, 0, 200, 0, 0})), std::nullopt);
    EXPECT_EQ(decode_load_finished(bytes({1, 0, 0, 0, 200, 0, 0, 0})), (LoadFinished{1, 200, u""}));
}

TEST(HostProtocolNotifications, NewWindowCarriesTwoTexts) {
    NewWindow request{5, 3, u"f", u"http://b/"};
    Bytes data = encode_new_window(request);
    EXPECT_EQ(data.size(), 8 + 4 + 20u);
    EXPECT_EQ(decode_new_window(data), request);
    // Cut inside the frame text: the frame ends at the data's end and the URL is empty.
    EXPECT_EQ(decode_new_window(bytes({5, 0, 0, 0, 3, 0, 0, 0, 'f', 0, 'g'})), (NewWindow{5, 3, u"f", u""}));
    // Cut inside the URL.
    EXPECT_EQ(decode_new_window(bytes({5, 0, 0, 0, 3, 0, 0, 0, 0, 0, 'u', 0})), (NewWindow{5, 3, u"", u"u"}));
    EXPECT_EQ(decode_new_window(bytes({5, 0, 0, 0})), std::nullopt);
}

TEST(HostProtocolBits, LoadingStateKeyEventAndContextMenu) {
    EXPECT_EQ(unpack_loading_state(0x010001), (LoadingState{true, false, true}));
    EXPECT_EQ(unpack_loading_state(0x000100), (LoadingState{false, true, false}));
    EXPECT_EQ(unpack_loading_state(0xFF000000), (LoadingState{}));  // bits 24-31 carry nothing
    EXPECT_EQ(pack_loading_state({true, false, true}), 0x010001u);

    // Key state 2 in bits 0-7, key type 1 in bits 8-15, key code 65 in bits 16-31.
    EXPECT_EQ(unpack_key_event(2 | 1 << 8 | 65 << 16), (KeyEvent{1, 2, 65}));
    EXPECT_EQ(pack_key_event({1, 2, 65}), 2u | 1u << 8 | 65u << 16);
    EXPECT_EQ(unpack_key_event(0xFFFFFFFF), (KeyEvent{0xFF, 0xFF, 0xFFFF}));

    EXPECT_EQ(unpack_context_menu(0xFFFE0001), (ContextMenu{true, -2}));
    EXPECT_EQ(unpack_context_menu(0x00050000), (ContextMenu{false, 5}));
    EXPECT_EQ(unpack_context_menu(pack_context_menu({true, -1})), (ContextMenu{true, -1}));
}

TEST(HostProtocolCodes, RepliesAreExactlyTheSixCodes) {
    std::vector<std::uint32_t> replies;
    for (std::uint32_t code = kFirstCode; code <= kLastCode; ++code) {
        if (is_reply_code(code))
            replies.push_back(code);
    }
    EXPECT_EQ(replies, (std::vector<std::uint32_t>{0x8847, 0x8848, 0x8849, 0x8851, 0x8855, 0x8868}));
}

std::u16string widen(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

TEST(HostCommandLine, ExactTextWithEmptyAndFilledProperties) {
    EXPECT_EQ(build_host_command_line({1234, -5, "", "", ""}),
              " --Open-Ver=1.0 --Open-Handler=1234 --Open-View=-5 --open-cache-path=\"\" "
              "--open-user-agent=\"\" ");
    EXPECT_EQ(build_host_command_line({8, 9, "C:\\app\\User Data", "UA/1.0 (x)", "--x=1"}),
              " --Open-Ver=1.0 --Open-Handler=8 --Open-View=9 --open-cache-path=\"C:\\app\\User Data\" "
              "--open-user-agent=\"UA/1.0 (x)\" --x=1");
}

TEST(HostCommandLine, ParsesWhatIsBuilt) {
    HostCommandLine cases[] = {
        {1234, 655402, "", "", ""},
        {-1, 2147483647, "C:\\a b\\User Data", "Mozilla/5.0 (Windows NT 10.0)", "--extra=1 --two"},
    };
    for (const HostCommandLine& c : cases) {
        auto parsed = parse_host_command_line(widen(build_host_command_line(c)));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(*parsed, (HostArguments{c.handler, c.view, widen(c.cache), widen(c.user_agent), widen(c.extra)}));
    }
    // With the program path in front, as some launchers add it.
    auto parsed = parse_host_command_line(u"\"C:\\z\\cefview(e_pair).exe\" --Open-Handler=4 --Open-View=8");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->handler, 4);
    EXPECT_EQ(parsed->view, 8);
    EXPECT_EQ(parsed->extra, u"");
}

TEST(HostCommandLine, MissingOrBadNumbersAreRefused) {
    EXPECT_FALSE(parse_host_command_line(u""));
    EXPECT_FALSE(parse_host_command_line(u" --Open-Handler=1"));
    EXPECT_FALSE(parse_host_command_line(u" --Open-Handler= --Open-View=2"));
    EXPECT_FALSE(parse_host_command_line(u" --Open-Handler=99999999999 --Open-View=2"));
    EXPECT_TRUE(parse_host_command_line(u" --Open-Handler=4294967295 --Open-View=2"));
}

TEST(BrowserViewPropertiesStore, RoundTripAndRefusals) {
    BrowserViewProperties props{"C:\\q\\User Data", "\xC4\xE3\xBA\xC3 UA"};
    Bytes data = save_browser_view_properties(props);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(load_browser_view_properties(data), props);
    EXPECT_EQ(load_browser_view_properties({}), BrowserViewProperties{});

    Bytes later = data;
    later[0] = 2;
    EXPECT_EQ(load_browser_view_properties(later), std::nullopt);
    for (std::size_t cut = 1; cut < data.size(); ++cut)
        EXPECT_EQ(load_browser_view_properties(ByteSpan(data.data(), cut)), std::nullopt) << cut;
    // A byte count reaching past the data.
    EXPECT_EQ(load_browser_view_properties(bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})), std::nullopt);
}

}  // namespace
}  // namespace quarnel::host_protocol
