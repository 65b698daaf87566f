#include "devtools/page_input.h"

#include "devtools/devtools.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <utility>

namespace quarnel::devtools {

namespace {

struct CodeName {
    unsigned scan;
    std::string_view name;
};

// Scan codes without the extended prefix.
constexpr CodeName kPlainCodes[] = {
    {0x01, "Escape"},
    {0x02, "Digit1"},
    {0x03, "Digit2"},
    {0x04, "Digit3"},
    {0x05, "Digit4"},
    {0x06, "Digit5"},
    {0x07, "Digit6"},
    {0x08, "Digit7"},
    {0x09, "Digit8"},
    {0x0A, "Digit9"},
    {0x0B, "Digit0"},
    {0x0C, "Minus"},
    {0x0D, "Equal"},
    {0x0E, "Backspace"},
    {0x0F, "Tab"},
    {0x10, "KeyQ"},
    {0x11, "KeyW"},
    {0x12, "KeyE"},
    {0x13, "KeyR"},
    {0x14, "KeyT"},
    {0x15, "KeyY"},
    {0x16, "KeyU"},
    {0x17, "KeyI"},
    {0x18, "KeyO"},
    {0x19, "KeyP"},
    {0x1A, "BracketLeft"},
    {0x1B, "BracketRight"},
    {0x1C, "Enter"},
    {0x1D, "ControlLeft"},
    {0x1E, "KeyA"},
    {0x1F, "KeyS"},
    {0x20, "KeyD"},
    {0x21, "KeyF"},
    {0x22, "KeyG"},
    {0x23, "KeyH"},
    {0x24, "KeyJ"},
    {0x25, "KeyK"},
    {0x26, "KeyL"},
    {0x27, "Semicolon"},
    {0x28, "Quote"},
    {0x29, "Backquote"},
    {0x2A, "ShiftLeft"},
    {0x2B, "Backslash"},
    {0x2C, "KeyZ"},
    {0x2D, "KeyX"},
    {0x2E, "KeyC"},
    {0x2F, "KeyV"},
    {0x30, "KeyB"},
    {0x31, "KeyN"},
    {0x32, "KeyM"},
    {0x33, "Comma"},
    {0x34, "Period"},
    {0x35, "Slash"},
    {0x36, "ShiftRight"},
    {0x37, "NumpadMultiply"},
    {0x38, "AltLeft"},
    {0x39, "Space"},
    {0x3A, "CapsLock"},
    {0x3B, "F1"},
    {0x3C, "F2"},
    {0x3D, "F3"},
    {0x3E, "F4"},
    {0x3F, "F5"},
    {0x40, "F6"},
    {0x41, "F7"},
    {0x42, "F8"},
    {0x43, "F9"},
    {0x44, "F10"},
    {0x45, "Pause"},
    {0x46, "ScrollLock"},
    {0x47, "Numpad7"},
    {0x48, "Numpad8"},
    {0x49, "Numpad9"},
    {0x4A, "NumpadSubtract"},
    {0x4B, "Numpad4"},
    {0x4C, "Numpad5"},
    {0x4D, "Numpad6"},
    {0x4E, "NumpadAdd"},
    {0x4F, "Numpad1"},
    {0x50, "Numpad2"},
    {0x51, "Numpad3"},
    {0x52, "Numpad0"},
    {0x53, "NumpadDecimal"},
    {0x56, "IntlBackslash"},
    {0x57, "F11"},
    {0x58, "F12"},
    {0x59, "NumpadEqual"},
    {0x70, "KanaMode"},
    {0x73, "IntlRo"},
    {0x79, "Convert"},
    {0x7B, "NonConvert"},
    {0x7D, "IntlYen"},
    {0x7E, "NumpadComma"},
};

// Scan codes that come with the extended prefix.
constexpr CodeName kExtendedCodes[] = {
    {0x1C, "NumpadEnter"}, {0x1D, "ControlRight"}, {0x35, "NumpadDivide"}, {0x37, "PrintScreen"}, {0x38, "AltRight"},
    {0x45, "NumLock"},     {0x47, "Home"},         {0x48, "ArrowUp"},      {0x49, "PageUp"},      {0x4B, "ArrowLeft"},
    {0x4D, "ArrowRight"},  {0x4F, "End"},          {0x50, "ArrowDown"},    {0x51, "PageDown"},    {0x52, "Insert"},
    {0x53, "Delete"},      {0x5B, "MetaLeft"},     {0x5C, "MetaRight"},    {0x5D, "ContextMenu"},
};

// Windows virtual-key codes of keys that type no text.
constexpr CodeName kNamedKeys[] = {
    {0x08, "Backspace"},  {0x09, "Tab"},       {0x0C, "Clear"},       {0x0D, "Enter"},       {0x10, "Shift"},
    {0x11, "Control"},    {0x12, "Alt"},       {0x13, "Pause"},       {0x14, "CapsLock"},    {0x15, "KanaMode"},
    {0x19, "KanjiMode"},  {0x1B, "Escape"},    {0x1C, "Convert"},     {0x1D, "NonConvert"},  {0x21, "PageUp"},
    {0x22, "PageDown"},   {0x23, "End"},       {0x24, "Home"},        {0x25, "ArrowLeft"},   {0x26, "ArrowUp"},
    {0x27, "ArrowRight"}, {0x28, "ArrowDown"}, {0x2C, "PrintScreen"}, {0x2D, "Insert"},      {0x2E, "Delete"},
    {0x2F, "Help"},       {0x5B, "Meta"},      {0x5C, "Meta"},        {0x5D, "ContextMenu"}, {0x90, "NumLock"},
    {0x91, "ScrollLock"}, {0xA0, "Shift"},     {0xA1, "Shift"},       {0xA2, "Control"},     {0xA3, "Control"},
    {0xA4, "Alt"},        {0xA5, "Alt"},       {0xE5, "Process"},
};

std::string_view find_name(std::span<const CodeName> table, unsigned value) {
    auto found = std::find_if(table.begin(), table.end(), [value](const CodeName& c) { return c.scan == value; });
    return found == table.end() ? std::string_view() : found->name;
}

struct CursorName {
    std::string_view css;
    CursorShape shape;
};

constexpr CursorName kCursors[] = {
    {"pointer", CursorShape::kHand},
    {"grab", CursorShape::kHand},
    {"grabbing", CursorShape::kHand},
    {"text", CursorShape::kIBeam},
    {"vertical-text", CursorShape::kIBeam},
    {"wait", CursorShape::kWait},
    {"progress", CursorShape::kProgress},
    {"crosshair", CursorShape::kCross},
    {"cell", CursorShape::kCross},
    {"move", CursorShape::kMove},
    {"all-scroll", CursorShape::kMove},
    {"ew-resize", CursorShape::kSizeWE},
    {"e-resize", CursorShape::kSizeWE},
    {"w-resize", CursorShape::kSizeWE},
    {"col-resize", CursorShape::kSizeWE},
    {"ns-resize", CursorShape::kSizeNS},
    {"n-resize", CursorShape::kSizeNS},
    {"s-resize", CursorShape::kSizeNS},
    {"row-resize", CursorShape::kSizeNS},
    {"nesw-resize", CursorShape::kSizeNESW},
    {"ne-resize", CursorShape::kSizeNESW},
    {"sw-resize", CursorShape::kSizeNESW},
    {"nwse-resize", CursorShape::kSizeNWSE},
    {"nw-resize", CursorShape::kSizeNWSE},
    {"se-resize", CursorShape::kSizeNWSE},
    {"not-allowed", CursorShape::kNotAllowed},
    {"no-drop", CursorShape::kNotAllowed},
    {"help", CursorShape::kHelp},
    {"none", CursorShape::kNone},
};

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

}  // namespace

std::string_view dom_code(unsigned scan_code, bool extended) {
    return extended ? find_name(kExtendedCodes, scan_code) : find_name(kPlainCodes, scan_code);
}

std::string_view dom_key(unsigned virtual_key) {
    if (virtual_key >= 0x70 && virtual_key <= 0x87) {
        static constexpr std::string_view kFunctionKeys[] = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                                             "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                                                             "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
        return kFunctionKeys[virtual_key - 0x70];
    }
    return find_name(kNamedKeys, virtual_key);
}

int ClickCounter::press(int button, int x, int y, std::uint32_t time_ms) {
    bool continues = count_ > 0 && button == button_ && time_ms - time_ <= limits_.interval_ms &&
                     std::abs(x - x_) <= limits_.width / 2 && std::abs(y - y_) <= limits_.height / 2;
    count_ = continues ? count_ + 1 : 1;
    button_ = button;
    x_ = x;
    y_ = y;
    time_ = time_ms;
    return count_;
}

CursorShape cursor_shape(std::string_view css_cursor) {
    // "url(a.cur) 4 4, url(b.png), pointer": the keyword is the last item.
    size_t comma = css_cursor.rfind(',');
    std::string_view keyword = comma == std::string_view::npos ? css_cursor : css_cursor.substr(comma + 1);
    while (!keyword.empty() && is_space(keyword.front()))
        keyword.remove_prefix(1);
    while (!keyword.empty() && is_space(keyword.back()))
        keyword.remove_suffix(1);
    std::string lower(keyword);
    for (char& c : lower)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    for (const CursorName& cursor : kCursors) {
        if (cursor.css == lower)
            return cursor.shape;
    }
    return CursorShape::kArrow;
}

std::string cursor_script(std::string_view binding) {
    // Resolved once per animation frame for the last pointer position, so a fast-moving pointer
    // costs one style look-up a frame.
    return binding_script(
        binding,
        R"JS(  const typing = new Set(['text', 'search', 'url', 'tel', 'email', 'password', 'number', 'date', 'time',
                          'datetime-local', 'month', 'week', '']);
  const editable = (el) => el.isContentEditable || el instanceof HTMLTextAreaElement ||
                           (el instanceof HTMLInputElement && typing.has(el.type));
  const overText = (x, y) => {
    const at = document.caretRangeFromPoint ? document.caretRangeFromPoint(x, y) : null;
    if (!at || at.startContainer.nodeType !== Node.TEXT_NODE || !at.startContainer.data.trim()) return false;
    const range = document.createRange();
    range.selectNodeContents(at.startContainer);
    for (const box of range.getClientRects())
      if (x >= box.left && x <= box.right && y >= box.top && y <= box.bottom) return true;
    return false;
  };
  const resolve = (e) => {
    const el = e.target instanceof Element ? e.target : null;
    if (!el) return 'default';
    const cursor = getComputedStyle(el).cursor;
    if (cursor !== 'auto') return cursor;
    if (el.closest('a[href], area[href]')) return 'pointer';
    return editable(el) || overText(e.clientX, e.clientY) ? 'text' : 'default';
  };
  let shown = 'default', last = null, queued = false;
  document.addEventListener('mousemove', (e) => {
    last = e;
    if (queued) return;
    queued = true;
    requestAnimationFrame(() => {
      queued = false;
      const cursor = resolve(last);
      if (cursor !== shown) { shown = cursor; report(cursor); }
    });
  }, true);
)JS");
}

void LatestFrame::offer(std::string data) {
    ++offered_;
    if (waiting_)
        ++dropped_;
    waiting_ = std::move(data);
}

std::optional<std::string> LatestFrame::take() {
    return std::exchange(waiting_, std::nullopt);
}

}  // namespace quarnel::devtools
