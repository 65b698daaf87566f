#pragma once

// The window-message protocol between the browser view and the browser host process: the message
// codes, the payloads carried by WM_COPYDATA (encoders and decoders over plain bytes), the bit
// fields packed into plain messages, and the host's command line.
//
// Every decoder reads strictly within the bytes it is given: a text ends at its NUL or at the end
// of the data, whichever comes first, and a payload shorter than its fixed fields decodes to
// nothing. Numbers are 32-bit little-endian; texts are UTF-16LE.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::host_protocol {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

// Message codes. "view" is the browser view's window, "host" the host's message window. Plain
// notifications are posted; WM_COPYDATA carries the code in dwData and is sent.

// Host -> view, plain: ready. wParam = the host's message window, lParam = the --Open-Handler number.
inline constexpr std::uint32_t kHostReady = 0x8811;
// View -> host, WM_COPYDATA: start URL of the next child view (text payload).
inline constexpr std::uint32_t kChildUrl = 0x8818;
// View -> host, WM_COPYDATA: area and parent of the next child view (ChildArea, 20 bytes).
inline constexpr std::uint32_t kChildArea = 0x8820;
// View -> host, plain, sent: the host answers 1.
inline constexpr std::uint32_t kEngineReady = 0x8821;
// View -> host, plain, sent: create the child view; the host answers 1 when creation began.
inline constexpr std::uint32_t kCreateChild = 0x8822;
// Host -> view, plain: carries nothing the view uses; ignored.
inline constexpr std::uint32_t kIgnoredNotice = 0x8823;
// Host -> view: loading began. Plain (wParam = view id, lParam 0) or WM_COPYDATA (ViewText).
inline constexpr std::uint32_t kLoadStarted = 0x8824;
// Host -> view, plain, lParam = view id.
inline constexpr std::uint32_t kViewCreated = 0x8825;
inline constexpr std::uint32_t kViewClosing = 0x8826;
inline constexpr std::uint32_t kPageReady = 0x8827;
// Host -> view, WM_COPYDATA: LoadFinished.
inline constexpr std::uint32_t kLoadFinished = 0x8828;
// Host -> view, plain: wParam = view id, lParam = pack_loading_state.
inline constexpr std::uint32_t kLoadingStateChanged = 0x8829;
// Host -> view, WM_COPYDATA: ViewText.
inline constexpr std::uint32_t kAddressChanged = 0x8830;
inline constexpr std::uint32_t kTitleChanged = 0x8831;
inline constexpr std::uint32_t kStatusTextChanged = 0x8832;
inline constexpr std::uint32_t kConsoleMessage = 0x8833;
// Host -> view, WM_COPYDATA: NewWindow; the message result is the answer, 1 or 0.
inline constexpr std::uint32_t kNewWindow = 0x8834;
// View -> host, WM_COPYDATA: ViewText (view id, URL).
inline constexpr std::uint32_t kNavigate = 0x8836;
// Host -> view, WM_COPYDATA: a leading part of the page source (text payload), when the source
// is longer than kMaxTextPartChars; the parts and then the reply's own text make the whole.
inline constexpr std::uint32_t kPageSourcePart = 0x8846;
// The longest text one WM_COPYDATA carries from the host. Wine delivers no WM_COPYDATA of about
// 2 MB or more between processes, so a long page source goes in parts well below that.
inline constexpr std::size_t kMaxTextPartChars = 256 * 1024;
// Replies. 0x8848 is also the page source request (view -> host, WM_COPYDATA, PageSourceRequest).
// Host -> view, either plain (no text) or WM_COPYDATA (text payload); 0x8868 only as WM_COPYDATA.
inline constexpr std::uint32_t kReply8847 = 0x8847;
inline constexpr std::uint32_t kPageSource = 0x8848;
inline constexpr std::uint32_t kReply8849 = 0x8849;
inline constexpr std::uint32_t kReply8851 = 0x8851;
inline constexpr std::uint32_t kReply8855 = 0x8855;
inline constexpr std::uint32_t kReply8868 = 0x8868;
// View -> host, plain, posted: wParam = client width, lParam = client height.
inline constexpr std::uint32_t kResize = 0x8850;
// Host -> view, plain: wParam = view id, lParam = resource kind.
inline constexpr std::uint32_t kResourceFound = 0x8854;
// Host -> view, plain: wParam = view id, lParam = pack_context_menu; the message result is 1.
inline constexpr std::uint32_t kContextMenu = 0x8859;
// Host -> view, plain: wParam = view id, lParam = pack_key_event.
inline constexpr std::uint32_t kKeyEvent = 0x8860;

// The lowest and highest code of the protocol.
inline constexpr std::uint32_t kFirstCode = 0x8811;
inline constexpr std::uint32_t kLastCode = 0x8868;

// Whether `code` answers a request: plain without text, or WM_COPYDATA with a text.
bool is_reply_code(std::uint32_t code);

// Payloads.

// 0x8820: the area (in the parent's client coordinates) and the parent window of the next child view.
struct ChildArea {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t parent = 0;  // window handle
    bool operator==(const ChildArea&) const = default;
};
inline constexpr std::size_t kChildAreaSize = 20;

// 0x8836 (URL) and the notifications 0x8824, 0x8830..0x8833: a view id and one text.
struct ViewText {
    std::uint32_t view_id = 0;
    std::u16string text;
    bool operator==(const ViewText&) const = default;
};

// 0x8848 request: which frame of which view. An empty frame means the main frame.
struct PageSourceRequest {
    std::uint32_t view_id = 0;
    std::uint32_t frame_flag = 0;
    std::u16string frame;
    bool operator==(const PageSourceRequest&) const = default;
};

// The status of a load that brought no page of its own: a refused download, a navigation cut
// short by the next one (the network error number for an aborted request).
inline constexpr std::int32_t kLoadDropped = -3;

// 0x8828: loading ended. `status` is the HTTP status, a negative network error number, or
// kLoadDropped.
struct LoadFinished {
    std::uint32_t view_id = 0;
    std::int32_t status = 0;
    std::u16string frame;
    bool operator==(const LoadFinished&) const = default;
};

// Ways a page asks to open a new window: NewWindow's `disposition`.
enum class OpenDisposition : std::int32_t {
    kNewForegroundTab = 3,
    kNewBackgroundTab = 4,
    kNewWindow = 6,
};

// 0x8834: a page wants a new window.
struct NewWindow {
    std::uint32_t view_id = 0;
    std::int32_t disposition = 0;
    std::u16string frame;
    std::u16string target_url;
    bool operator==(const NewWindow&) const = default;
};

// A text alone (0x8818 and the text replies): UTF-16 with its NUL, 2 x length + 2 bytes.
Bytes encode_text(std::u16string_view text);
// The text up to its NUL or the end of the data. Never fails: empty data gives empty text.
std::u16string decode_text(ByteSpan data);

Bytes encode_child_area(const ChildArea& area);
std::optional<ChildArea> decode_child_area(ByteSpan data);

// View id, then the text with its NUL: 2 x length + 6 bytes.
Bytes encode_view_text(const ViewText& payload);
std::optional<ViewText> decode_view_text(ByteSpan data);

// View id, flag, then the frame with its NUL: 2 x length + 10 bytes; with an empty frame 12 bytes
// (four zero bytes after the flag).
Bytes encode_page_source_request(const PageSourceRequest& request);
std::optional<PageSourceRequest> decode_page_source_request(ByteSpan data);

// View id, status, then the frame with its NUL.
Bytes encode_load_finished(const LoadFinished& payload);
std::optional<LoadFinished> decode_load_finished(ByteSpan data);

// View id, disposition, the frame with its NUL, then the target URL with its NUL. When the data
// ends inside the frame text the target URL is empty.
Bytes encode_new_window(const NewWindow& payload);
std::optional<NewWindow> decode_new_window(ByteSpan data);

// Bit fields of plain notifications.

// 0x8829 lParam: bits 0-7 is loading, bits 8-15 can go back, bits 16-23 can go forward.
struct LoadingState {
    bool is_loading = false;
    bool can_go_back = false;
    bool can_go_forward = false;
    bool operator==(const LoadingState&) const = default;
};
std::uint32_t pack_loading_state(const LoadingState& state);
LoadingState unpack_loading_state(std::uint32_t bits);

// 0x8859 lParam: bits 0-15 in an editable area, bits 16-31 the menu flags (signed).
struct ContextMenu {
    bool in_editable = false;
    std::int32_t menu_flags = 0;
    bool operator==(const ContextMenu&) const = default;
};
std::uint32_t pack_context_menu(const ContextMenu& menu);
ContextMenu unpack_context_menu(std::uint32_t bits);

// 0x8860 lParam: bits 0-7 key state, bits 8-15 key type, bits 16-31 key code.
struct KeyEvent {
    std::int32_t key_type = 0;   // 0 raw key down, 1 key down, 2 key up, 3 char
    std::int32_t key_state = 0;  // modifier flag bits
    std::int32_t key_code = 0;
    bool operator==(const KeyEvent&) const = default;
};
std::uint32_t pack_key_event(const KeyEvent& key);
KeyEvent unpack_key_event(std::uint32_t bits);

// The browser view's stored properties: 32-bit version 1, then the cache text and the user-agent
// text, each as a 32-bit byte count followed by its 8-bit bytes.
struct BrowserViewProperties {
    std::string cache;
    std::string user_agent;
    bool operator==(const BrowserViewProperties&) const = default;
};
inline constexpr std::uint32_t kPropertiesVersion = 1;
Bytes save_browser_view_properties(const BrowserViewProperties& properties);
// Nothing when the data is cut short or its version is above 1 (a later layout is unknown here,
// so the control is not created from it). Empty data (nothing was stored) gives the defaults.
std::optional<BrowserViewProperties> load_browser_view_properties(ByteSpan data);

}  // namespace quarnel::host_protocol
