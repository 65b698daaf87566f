#pragma once

// The page's picture in a browser-engine view: the browser's screencast, its pictures
// acknowledged at a steady pace and only the newest decoded, at the next paint.

#include "devtools/page_input.h"
#include "core/picture.h"
#include "core/tick_clock.h"
#include "host/chromium/page_channel.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace quarnel::host {

class ViewPicture {
public:
    // `view` gets the timer that asks for a last picture once the pictures stop; `show` makes the
    // newest picture appear (it invalidates the view, and its mirror); `log` adds a line to the
    // engine's account of pictures; `clock` paces the acknowledgements and times the log's lines.
    ViewPicture(HWND view,
                PageChannel& page,
                TickClock clock,
                std::function<void()> show,
                std::function<void(const std::wstring&)> log);

    // Asks the browser for pictures of the page: once a page is attached, and after each load (a
    // page of a new site may be drawn by another renderer than the screencast began with). Not
    // while nobody can see the view.
    void start();
    // Looks, a few times a second, whether the view can be seen: while its window is hidden (the
    // program's window in the tray) or minimised, or the view is wholly under other windows or
    // off the screens, no pictures are made, sent or drawn; when some part of it can be seen
    // again, the page as it stands is drawn at once. The page itself goes on running.
    void watch_seen();
    void on_frame(const Message& event);
    // A picture of the page as it stands in a moment, unless the screencast brings one meanwhile.
    void refresh_later();
    // The view's timer; true when it was this part's.
    bool on_timer(UINT_PTR id);
    // Decodes the newest picture, if one came since the last drawing.
    void draw_newest();
    // The last picture at its own size, the page's background around it.
    void paint(HWND target);
    // One line of the log: what came and was drawn since the line before.
    void log_counts();

private:
    void refresh();
    void acknowledge_oldest();
    bool can_be_seen() const;
    void check_seen();

    HWND view_;  // not owned
    PageChannel& page_;
    TickClock clock_;
    std::function<void()> show_;
    std::function<void(const std::wstring&)> log_;
    std::optional<Image> frame_;         // the page's last picture drawn
    Image decoding_;                     // the storage the next picture is decoded into
    devtools::LatestFrame frames_;       // the newest picture not yet drawn
    unsigned long frames_received_ = 0;  // screencast pictures, for the settle refresh
    std::string last_screencast_;        // the last one as it came
    unsigned long frames_drawn_ = 0;
    bool seen_ = true;
    std::deque<long long> unacknowledged_;  // the pictures drawn but not yet acknowledged, oldest first
    std::uint32_t acknowledged_at_;
    // The counts at the last line of the pictures' log.
    unsigned long logged_offered_ = 0, logged_drawn_ = 0, logged_dropped_ = 0;
    std::uint32_t logged_at_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quarnel::host
