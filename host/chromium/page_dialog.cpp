#include "host/chromium/page_dialog.h"

#include "winbase/text.h"

#include <algorithm>
#include <vector>

namespace quarnel::host {

namespace {

// Shows the box of a dialog the page opened, posted to the view: not inside the link's
// delivery of the event.
constexpr UINT kShowDialogMessage = WM_APP + 2;
constexpr WORD kTextId = 100;
constexpr WORD kEditId = 101;
constexpr int kWidthDlu = 260;
constexpr int kMaxTextLines = 16;

enum class DialogKind { kAlert, kConfirm, kPrompt };

struct DialogAnswer {
    bool accept = false;
    std::wstring text;  // what the user typed, for a prompt
};

struct BoxState {
    HWND view;
    DialogKind kind;
    const std::wstring* default_text;
    std::shared_ptr<HWND> open_box;
    DialogAnswer answer;
};

// An in-memory dialog template: DLGTEMPLATE, its items, each DWORD-aligned.
class Template {
public:
    void header(DWORD style, short cx, short cy, WORD items, const std::wstring& title) {
        DLGTEMPLATE t{style, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, items, 0, 0, cx, cy};
        raw(&t, sizeof(t));
        word(0);  // no menu
        word(0);  // the standard class
        text(title);
        word(9);  // point size of DS_SETFONT
        text(L"MS Shell Dlg");
    }
    void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom, const std::wstring& caption) {
        align();
        DLGITEMTEMPLATE t{style | WS_CHILD | WS_VISIBLE, 0, x, y, cx, cy, id};
        raw(&t, sizeof(t));
        word(0xFFFF);
        word(atom);
        text(caption);
        word(0);  // no creation data
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

private:
    void raw(const void* data, size_t size) {
        const auto* b = static_cast<const unsigned char*>(data);
        bytes_.insert(bytes_.end(), b, b + size);
    }
    void word(WORD w) { raw(&w, sizeof(w)); }
    void text(const std::wstring& s) { raw(s.c_str(), (s.size() + 1) * sizeof(wchar_t)); }
    void align() {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
    }
    std::vector<unsigned char> bytes_;
};

constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;

INT_PTR CALLBACK box_proc(HWND box, UINT msg, WPARAM wp, LPARAM lp) {
    auto* state = reinterpret_cast<BoxState*>(GetWindowLongPtrW(box, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<BoxState*>(lp);
            SetWindowLongPtrW(box, DWLP_USER, lp);
            *state->open_box = box;
            // Centred over the view (or the screen, when the view is not shown).
            RECT view{}, own{};
            GetWindowRect(box, &own);
            if (!IsWindowVisible(state->view) || !GetWindowRect(state->view, &view))
                SystemParametersInfoW(SPI_GETWORKAREA, 0, &view, 0);
            int width = own.right - own.left, height = own.bottom - own.top;
            SetWindowPos(box, HWND_TOPMOST, (view.left + view.right - width) / 2, (view.top + view.bottom - height) / 2,
                         0, 0, SWP_NOSIZE);
            SetForegroundWindow(box);
            if (state->kind == DialogKind::kPrompt) {
                SetDlgItemTextW(box, kEditId, state->default_text->c_str());
                SendDlgItemMessageW(box, kEditId, EM_SETSEL, 0, -1);
                SetFocus(GetDlgItem(box, kEditId));
                return FALSE;
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                state->answer.accept = LOWORD(wp) == IDOK;
                if (state->kind == DialogKind::kPrompt && state->answer.accept) {
                    HWND edit = GetDlgItem(box, kEditId);
                    std::wstring typed(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
                    typed.resize(
                        static_cast<size_t>(GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()))));
                    state->answer.text = std::move(typed);
                }
                EndDialog(box, LOWORD(wp));
                return TRUE;
            }
            break;
        case WM_DESTROY:
            if (state)
                *state->open_box = nullptr;
            break;
    }
    return FALSE;
}

DialogKind dialog_kind(const std::string& type) {
    if (type == "confirm")
        return DialogKind::kConfirm;
    if (type == "prompt")
        return DialogKind::kPrompt;
    return DialogKind::kAlert;
}

// Shows the box centred over `view` and returns the user's answer. Runs a message loop of its
// own meanwhile, so the host goes on serving. `open_box` holds the box's window while it is open.
DialogAnswer show_page_dialog(HWND view,
                              DialogKind kind,
                              const std::wstring& title,
                              const std::wstring& shown,
                              const std::wstring& default_text,
                              std::shared_ptr<HWND> open_box) {
    int lines =
        1 + static_cast<int>(std::count(shown.begin(), shown.end(), L'\n')) + static_cast<int>(shown.size() / 60);
    short text_height = static_cast<short>(std::min(lines, kMaxTextLines) * 9);
    bool prompt = kind == DialogKind::kPrompt;
    bool cancel = kind != DialogKind::kAlert;
    short y = static_cast<short>(8 + text_height + 6);
    short edit_y = y;
    if (prompt)
        y = static_cast<short>(y + 14 + 6);
    short height = static_cast<short>(y + 14 + 8);

    Template t;
    t.header(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, kWidthDlu, height,
             static_cast<WORD>(2 + (prompt ? 1 : 0) + (cancel ? 1 : 0)), title);
    t.item(SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 8, 8, kWidthDlu - 16, text_height, kTextId, kStatic, shown);
    if (prompt)
        t.item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 8, edit_y, kWidthDlu - 16, 14, kEditId, kEdit, L"");

    short right = kWidthDlu - 8 - 50;
    if (cancel) {
        t.item(BS_PUSHBUTTON | WS_TABSTOP, right, y, 50, 14, IDCANCEL, kButton, L"取消");
        right = static_cast<short>(right - 56);
    }
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, right, y, 50, 14, IDOK, kButton, L"确定");

    BoxState state{view, kind, &default_text, std::move(open_box), {}};
    if (DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.get(), nullptr, box_proc,
                                reinterpret_cast<LPARAM>(&state)) == -1)
        return {};
    return state.answer;
}

void cancel_page_dialog(const std::shared_ptr<HWND>& open_box) {
    if (open_box && *open_box)
        PostMessageW(*open_box, WM_COMMAND, IDCANCEL, 0);
}

// The site of an address, as a browser names the page a dialog comes from.
std::wstring site_of(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    std::string site = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return win::utf8_to_wide(site.empty() ? url : site) + L" 显示";
}

}  // namespace

PageDialogs::~PageDialogs() {
    cancel_page_dialog(box_);
}

void PageDialogs::on_opening(const Message& event, bool users) {
    std::string kind = string_at(event, "/type").value_or("alert");
    if (!users || kind == "beforeunload") {
        // Nobody asked for it: answered as a pass needs, at once (OK to an alert, cancel to a
        // question, leave to a page that asks to stay, which a navigation caused).
        page_.command("Page.handleJavaScriptDialog",
                      Params().flag("accept", kind == "alert" || kind == "beforeunload"));
        return;
    }
    dialog_ = Dialog{kind, win::utf8_to_wide(string_at(event, "/message").value_or("")),
                     win::utf8_to_wide(string_at(event, "/defaultPrompt").value_or("")),
                     site_of(string_at(event, "/url").value_or(""))};
    PostMessageW(view_, kShowDialogMessage, 0, 0);
}

bool PageDialogs::on_message(UINT msg) {
    if (msg != kShowDialogMessage)
        return false;
    show();
    return true;
}

void PageDialogs::show() {
    if (!dialog_ || *box_)
        return;
    Dialog dialog = *dialog_;
    std::weak_ptr<bool> alive = alive_;
    unsigned number = page_number_;
    DialogAnswer given =
        show_page_dialog(view_, dialog_kind(dialog.kind), dialog.title, dialog.message, dialog.default_text, box_);
    // The view, or its page, may have gone while the box was open.
    if (alive.expired() || number != page_number_)
        return;
    answer(given.accept, given.text);
}

void PageDialogs::answer(bool accept, const std::wstring& text) {
    if (!dialog_)
        return;
    bool prompt = dialog_->kind == "prompt";
    dialog_.reset();
    cancel_page_dialog(box_);
    Params reply;
    reply.flag("accept", accept);
    if (prompt && accept)
        reply.text("promptText", win::wide_to_utf8(text));
    page_.command("Page.handleJavaScriptDialog", reply);
}

void PageDialogs::dismiss() {
    answer(false, {});
}

void PageDialogs::forget() {
    ++page_number_;
    dialog_.reset();
    cancel_page_dialog(box_);
}

}  // namespace quarnel::host
