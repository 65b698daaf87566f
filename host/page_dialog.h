#pragma once

// A page's alert, confirm, prompt or leave-page question, shown to the user as a native box over
// the view that asked, the way a browser shows it.

#include <windows.h>

#include <memory>
#include <string>

namespace quarnel::host {

enum class DialogKind { kAlert, kConfirm, kPrompt, kBeforeUnload };

// The protocol's dialog type ("alert", "confirm", "prompt", "beforeunload").
DialogKind dialog_kind(const std::string& type);

struct DialogAnswer {
    bool accept = false;
    std::wstring text;  // what the user typed, for a prompt
};

// Shows the box centred over `view` and returns the user's answer. Runs a message loop of its
// own meanwhile, so the host goes on serving. `title` names the page's site. `open_box` holds the
// box's window while it is open: cancel_page_dialog closes it from a handler that runs meanwhile.
DialogAnswer show_page_dialog(HWND view, DialogKind kind, const std::wstring& title, const std::wstring& message,
                              const std::wstring& default_text, std::shared_ptr<HWND> open_box);

// Closes the box, if it is open, as if the user cancelled it.
void cancel_page_dialog(const std::shared_ptr<HWND>& open_box);

}  // namespace quarnel::host
