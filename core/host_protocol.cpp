#include "core/host_protocol.h"

#include "core/le_bytes.h"

#include <limits>

namespace quarnel::host_protocol {

namespace {

void put_i32(Bytes& out, std::int32_t v) {
    append_u32(out, static_cast<std::uint32_t>(v));
}

// The text and its NUL.
void put_text(Bytes& out, std::u16string_view text) {
    out.reserve(out.size() + 2 * text.size() + 2);
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
}

// Reads a text from `data` starting at `at`: up to its NUL or the end of the data (an odd last
// byte is no character). `at` moves past the NUL, or to the end.
std::u16string get_text(ByteSpan data, std::size_t& at) {
    std::u16string text;
    while (at + 2 <= data.size()) {
        auto c = static_cast<char16_t>(data[at] | data[at + 1] << 8);
        at += 2;
        if (c == 0)
            return text;
        text.push_back(c);
    }
    at = data.size();
    return text;
}

}  // namespace

bool is_reply_code(std::uint32_t code) {
    switch (code) {
        case kReply8847:
        case kPageSource:
        case kReply8849:
        case kReply8851:
        case kReply8855:
        case kReply8868:
            return true;
        default:
            return false;
    }
}

Bytes encode_text(std::u16string_view text) {
    Bytes out;
    put_text(out, text);
    return out;
}

std::u16string decode_text(ByteSpan data) {
    std::size_t at = 0;
    return get_text(data, at);
}

Bytes encode_child_area(const ChildArea& area) {
    Bytes out;
    out.reserve(kChildAreaSize);
    put_i32(out, area.x);
    put_i32(out, area.y);
    put_i32(out, area.width);
    put_i32(out, area.height);
    append_u32(out, area.parent);
    return out;
}

std::optional<ChildArea> decode_child_area(ByteSpan data) {
    if (data.size() < kChildAreaSize)
        return std::nullopt;
    return ChildArea{read_i32(data, 0), read_i32(data, 4), read_i32(data, 8), read_i32(data, 12), read_u32(data, 16)};
}

Bytes encode_view_text(const ViewText& payload) {
    Bytes out;
    append_u32(out, payload.view_id);
    put_text(out, payload.text);
    return out;
}

std::optional<ViewText> decode_view_text(ByteSpan data) {
    if (data.size() < 4)
        return std::nullopt;
    std::size_t at = 4;
    return ViewText{read_u32(data, 0), get_text(data, at)};
}

Bytes encode_page_source_request(const PageSourceRequest& request) {
    Bytes out;
    append_u32(out, request.view_id);
    append_u32(out, request.frame_flag);
    put_text(out, request.frame);
    // The host reads a fixed 12-byte request when the frame is empty.
    if (request.frame.empty())
        out.resize(12, 0);
    return out;
}

std::optional<PageSourceRequest> decode_page_source_request(ByteSpan data) {
    if (data.size() < 8)
        return std::nullopt;
    std::size_t at = 8;
    return PageSourceRequest{read_u32(data, 0), read_u32(data, 4), get_text(data, at)};
}

Bytes encode_load_finished(const LoadFinished& payload) {
    Bytes out;
    append_u32(out, payload.view_id);
    put_i32(out, payload.status);
    put_text(out, payload.frame);
    return out;
}

std::optional<LoadFinished> decode_load_finished(ByteSpan data) {
    if (data.size() < 8)
        return std::nullopt;
    std::size_t at = 8;
    return LoadFinished{read_u32(data, 0), read_i32(data, 4), get_text(data, at)};
}

Bytes encode_new_window(const NewWindow& payload) {
    Bytes out;
    append_u32(out, payload.view_id);
    put_i32(out, payload.disposition);
    put_text(out, payload.frame);
    put_text(out, payload.target_url);
    return out;
}

std::optional<NewWindow> decode_new_window(ByteSpan data) {
    if (data.size() < 8)
        return std::nullopt;
    NewWindow out{read_u32(data, 0), read_i32(data, 4), {}, {}};
    std::size_t at = 8;
    out.frame = get_text(data, at);
    out.target_url = get_text(data, at);
    return out;
}

std::uint32_t pack_loading_state(const LoadingState& state) {
    return (state.is_loading ? 1u : 0u) | (state.can_go_back ? 1u : 0u) << 8 | (state.can_go_forward ? 1u : 0u) << 16;
}

LoadingState unpack_loading_state(std::uint32_t bits) {
    return LoadingState{(bits & 0xFF) != 0, (bits >> 8 & 0xFF) != 0, (bits >> 16 & 0xFF) != 0};
}

std::uint32_t pack_context_menu(const ContextMenu& menu) {
    return (menu.in_editable ? 1u : 0u) | (static_cast<std::uint32_t>(menu.menu_flags) & 0xFFFF) << 16;
}

ContextMenu unpack_context_menu(std::uint32_t bits) {
    return ContextMenu{(bits & 0xFFFF) != 0, static_cast<std::int16_t>(bits >> 16)};
}

std::uint32_t pack_key_event(const KeyEvent& key) {
    return (static_cast<std::uint32_t>(key.key_state) & 0xFF) | (static_cast<std::uint32_t>(key.key_type) & 0xFF) << 8 |
           (static_cast<std::uint32_t>(key.key_code) & 0xFFFF) << 16;
}

KeyEvent unpack_key_event(std::uint32_t bits) {
    return KeyEvent{static_cast<std::int32_t>(bits >> 8 & 0xFF), static_cast<std::int32_t>(bits & 0xFF),
                    static_cast<std::int32_t>(bits >> 16)};
}

Bytes save_browser_view_properties(const BrowserViewProperties& properties) {
    Bytes out;
    append_u32(out, kPropertiesVersion);
    for (const std::string* text : {&properties.cache, &properties.user_agent}) {
        append_u32(out, static_cast<std::uint32_t>(text->size()));
        out.insert(out.end(), text->begin(), text->end());
    }
    return out;
}

std::optional<BrowserViewProperties> load_browser_view_properties(ByteSpan data) {
    if (data.empty())
        return BrowserViewProperties{};
    if (data.size() < 4 || read_u32(data, 0) > kPropertiesVersion)
        return std::nullopt;
    BrowserViewProperties out;
    std::size_t at = 4;
    for (std::string* text : {&out.cache, &out.user_agent}) {
        if (data.size() - at < 4)
            return std::nullopt;
        std::uint32_t n = read_u32(data, at);
        at += 4;
        if (data.size() - at < n)
            return std::nullopt;
        text->assign(reinterpret_cast<const char*>(data.data() + at), n);
        at += n;
    }
    return out;
}

}  // namespace quarnel::host_protocol
