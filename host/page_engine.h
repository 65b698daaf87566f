#pragma once

// What the host asks of a page engine, and what an engine reports back. The host speaks the
// browser view's protocol; an engine renders pages into child views. The built-in engine is
// the first; an engine that drives an installed browser can take its place behind the same
// interface.

#include "core/host_protocol.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel::host {

using host_protocol::OpenDisposition;

// Reports of the child views. Called on the host's window thread; `view` is the child view's
// window, which is also its view id.
class EngineEvents {
public:
    virtual void load_started(HWND view) = 0;
    virtual void load_finished(HWND view, int status) = 0;
    virtual void address_changed(HWND view, std::wstring_view address) = 0;
    virtual void title_changed(HWND view, std::wstring_view title) = 0;
    virtual void status_text_changed(HWND view, std::wstring_view text) = 0;
    virtual void loading_state_changed(HWND view, bool is_loading, bool can_go_back, bool can_go_forward) = 0;
    virtual void page_ready(HWND view) = 0;
    virtual void console_message(HWND view, std::wstring_view text) = 0;
    // A key the view passed to its page: `type` 0 key down, 2 key up, 3 character; `state` the
    // modifier bits (2 Shift, 4 Ctrl, 8 Alt); `code` the virtual-key code, or the character.
    virtual void key_event(HWND view, int type, int state, int code) = 0;
    // Whether the application took the new window over; when not, the page opens in `view`.
    virtual bool new_window(HWND view, std::wstring_view url, OpenDisposition disposition) = 0;
    virtual void view_closing(HWND view) = 0;

protected:
    ~EngineEvents() = default;
};

// One child view: a child window of the browser view that shows one page at a time.
class EngineView {
public:
    virtual ~EngineView() = default;
    virtual HWND hwnd() const = 0;
    virtual void navigate(std::wstring_view address) = 0;
    // Asks for the source of the main frame (`frame` empty) or of the sub-frame of that name or
    // address. `answer` is called exactly once, on the host's window thread, now or later (an
    // engine that asks a browser answers once the browser did, or gave up), with nothing when
    // there is no such frame or page. The view may be gone by then.
    using SourceAnswer = std::function<void(std::optional<std::wstring> source)>;
    virtual void request_page_source(std::wstring_view frame, SourceAnswer answer) = 0;
    virtual void resize(int width, int height) = 0;
};

struct ViewSettings {
    HWND parent = nullptr;
    RECT area{};  // in the parent's client coordinates
};

class PageEngine {
public:
    virtual ~PageEngine() = default;
    // The new view, showing nothing until it is told to navigate; null when its window could
    // not be made.
    virtual std::unique_ptr<EngineView> create_view(const ViewSettings& settings, EngineEvents& events) = 0;
    // Ends whatever the engine started outside this process (a browser). The host runs it on
    // every way out; it may run more than once, and views may still exist.
    virtual void shut_down() {}
    // Whether the threads the engine started have all ended, waiting up to `grace_ms` for them:
    // a thread still inside a network call may outlive the views it served.
    virtual bool threads_ended_within(unsigned /*grace_ms*/) { return true; }
    // The engine's name, for the host's own diagnostics.
    virtual const wchar_t* name() const = 0;
};

// The engine that loads pages with WinINet and draws their text itself; with no user agent it
// names a current desktop browser.
std::unique_ptr<PageEngine> make_builtin_engine(std::wstring user_agent);

// Replaces "host-engine.log" in the cache folder with `text`: which engine serves, and why not a
// browser. Nothing without a cache folder.
void write_engine_log(const std::wstring& cache_path, const std::wstring& text);

}  // namespace quarnel::host
