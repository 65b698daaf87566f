#pragma once

// The page-source requests of a browser-engine view: the document read out of the page, each
// request answered once, and the requests the page leaves unanswered too long found out.

#include "core/tick_clock.h"
#include "host/chromium/page_channel.h"
#include "host/page_engine.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace quarnel::host {

class ViewSource {
public:
    using SourceAnswer = EngineView::SourceAnswer;

    // `view` gets the timer that checks the requests still waiting, by `clock`; `overdue` is
    // called when one has waited past the limit (after every request still waiting was answered
    // with nothing).
    ViewSource(HWND view, PageChannel& page, TickClock clock, std::function<void()> overdue)
        : view_(view), page_(page), clock_(std::move(clock)), overdue_(std::move(overdue)) {}

    // The main frame's source (`frame` empty), or that of the sub-frame of that name or address.
    void request(std::wstring_view frame, SourceAnswer answer);
    // Answers every request still waiting with nothing.
    void answer_waiting();
    // Whether a request has waited `ms` or longer: a page that answers reads its document out
    // at once, so one that leaves it that long is busy with something else.
    bool waited_for(std::uint32_t ms) const;
    // The view's timer; true when it was this part's.
    bool on_timer(UINT_PTR id);

private:
    struct Waiting {
        std::uint32_t asked_at;
        std::shared_ptr<SourceAnswer> answer;  // empty once answered
    };

    void evaluate(std::optional<long long> context, SourceAnswer answer);
    void find_frame(std::wstring_view frame, SourceAnswer answer);

    HWND view_;  // not owned
    PageChannel& page_;
    TickClock clock_;
    std::function<void()> overdue_;
    std::vector<Waiting> waiting_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quarnel::host
