#include "host/page_dialog.h"

#include <algorithm>
#include <vector>

namespace quarnel::host {

namespace {

constexpr WORD kTextId = 100;
constexpr WORD kEditId = 101;
constexpr int kWidthDlu = 260;
constexpr int kMaxTextLines = 16;

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
                    typed.resize(static_cast<size_t>(GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()))));
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

}  // namespace

DialogKind dialog_kind(const std::string& type) {
    if (type == "confirm")
        return DialogKind::kConfirm;
    if (type == "prompt")
        return DialogKind::kPrompt;
    if (type == "beforeunload")
        return DialogKind::kBeforeUnload;
    return DialogKind::kAlert;
}

DialogAnswer show_page_dialog(HWND view, DialogKind kind, const std::wstring& title, const std::wstring& message,
                              const std::wstring& default_text, std::shared_ptr<HWND> open_box) {
    std::wstring shown = kind == DialogKind::kBeforeUnload ? L"要离开此网站吗？\r\n系统可能不会保存您所做的更改。" : message;
    int lines = 1 + static_cast<int>(std::count(shown.begin(), shown.end(), L'\n')) + static_cast<int>(shown.size() / 60);
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
    const wchar_t* ok = kind == DialogKind::kBeforeUnload ? L"离开" : L"确定";
    short right = kWidthDlu - 8 - 50;
    if (cancel) {
        t.item(BS_PUSHBUTTON | WS_TABSTOP, right, y, 50, 14, IDCANCEL, kButton, L"取消");
        right = static_cast<short>(right - 56);
    }
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, right, y, 50, 14, IDOK, kButton, ok);

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

}  // namespace quarnel::host
