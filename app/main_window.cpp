#include "app/main_window.h"

#include "resource_ids.h"

#include <commctrl.h>

namespace quarnel {

namespace {

// Fonts: the address box uses a 14-pixel face for the GB2312 character set, every other text
// control the system's message face at 12 pixels.
HFONT create_ui_font() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = -12;
    font.lfWidth = 0;
    return CreateFontIndirectW(&font);
}

HFONT create_url_text_font() {
    LOGFONTW font{};
    font.lfHeight = -14;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = GB2312_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    return CreateFontIndirectW(&font);
}

// The controls that move or grow with the window: their place at the design size, and the
// layout rule's margins. The browser view takes the window's width less 520 and its height less
// 86; the address box and the list keep their size at the view's right; the list takes the
// height less 302.
struct Place {
    int x, y, width, height;
};
constexpr Place kViewPlace{3, 40, 880, 864};
constexpr Place kUrlTextPlace{885, 40, 500, 184};
constexpr Place kListPlace{885, 256, 500, 648};
constexpr int kViewWidthMargin = 520;
constexpr int kViewHeightMargin = 86;
constexpr int kListHeightMargin = 302;
constexpr int kRightColumnGap = kUrlTextPlace.x - kViewPlace.x - kViewPlace.width;

// The widths of the list's optional columns when shown.
constexpr int kUrlColumnWidth = 200;
constexpr int kTitleColumnWidth = 220;
constexpr int kTimeColumnWidth = 180;

}  // namespace

MainWindow::MainWindow(std::wstring app_dir, std::unique_ptr<OutsideEffects> effects)
    : app_dir(std::move(app_dir)),
      url_list_view(kUrlColumnCount),
      visit_timer(kVisitTimerId),
      capture_timer(kCaptureTimerId),
      effects_(effects ? std::shared_ptr<OutsideEffects>(std::move(effects)) : std::make_shared<OutsideEffects>()),
      engine(runtime_dir()),
      address_file(url_text_box, url_file()),
      address_list(*this, url_text_box, url_list_view, list_menu, *effects_),
      lifecycle({.window = *this,
                 .app_dir = this->app_dir,
                 .servers = servers,
                 .address_file = address_file,
                 .address_list = address_list,
                 .engine = engine,
                 .favicon_picture = favicon_picture,
                 .tray_icon = tray_icon,
                 .tray_menu = tray_menu,
                 .list_export = list_export,
                 .effects = *effects_,
                 .focus_address_box = [this] { give_focus_to(url_text_box.hwnd()); }}),
      visiting({.start_button = start_button,
                .interval_box = interval_box,
                .visit_timer = visit_timer,
                .capture_timer = capture_timer,
                .list = url_list_view,
                .title_label = title_label,
                .favicon_picture = favicon_picture,
                .engine = engine,
                .effects = *effects_,
                .now =
                    [] {
                        SYSTEMTIME t{};
                        GetLocalTime(&t);
                        return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
                    }}),
      list_commands({.list = url_list_view,
                     .balloon_tip = balloon_tip,
                     .visiting = visiting,
                     .effects = *effects_,
                     .home_page = servers.home_page}),
      list_export(*this, url_list_view, this->app_dir, effects_) {}

MainWindow::~MainWindow() {
    // The browser view's events reach the features: the view goes first, with the events it
    // still holds, while the features exist.
    if (browser_view)
        browser_view->destroy();
}

void MainWindow::on_destroyed() {
    browser_view = nullptr;  // its window went with this one; the object ends with it
    engine.attach(nullptr);
}

bool MainWindow::create() {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"QuarnelMainWindow";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON));
    POINT at = ui::centred_in(ui::work_area_for(nullptr), kDesignWidth, kDesignHeight);
    if (!create_window(wc, 0, kAppTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, at.x, at.y, kDesignWidth, kDesignHeight,
                       nullptr, nullptr)) {
        return false;
    }
    visit_timer.set_owner(this);
    capture_timer.set_owner(this);
    if (!create_controls())
        return false;
    create_menus();
    balloon_tip.create(hwnd());
    return true;
}

bool MainWindow::create_controls() {
    HWND parent = hwnd();
    favicon_picture.create({.frame = {.parent = parent, .x = 5, .y = 12, .width = 16, .height = 16}});
    title_label.create(
        {.frame =
             {.parent = parent, .text = L"欢迎使用 Quarnel网址管理器", .x = 32, .y = 9, .width = 536, .height = 24},
         .transparent = true});
    auto_open_check.create(
        {.frame = {.parent = parent, .text = L"每隔：", .x = 586, .y = 8, .width = 64, .height = 24}});
    interval_box.create(
        {.frame = {.parent = parent, .text = L"10", .x = 641, .y = 8, .width = 60, .height = 24, .enabled = false},
         .centred = true});
    interval_spinner.create({.parent = parent, .buddy = &interval_box, .minimum = 5, .maximum = 120});
    interval_label.create(
        {.frame = {.parent = parent, .text = L"秒钟自动打开网址。", .x = 722, .y = 8, .width = 120, .height = 24}});
    start_button.create(
        {.frame = {.parent = parent, .text = L"启动", .x = 835, .y = 8, .width = 40, .height = 24, .visible = false}});
    url_text_caption.create(
        {.frame =
             {.parent = parent, .text = L"网址列表：（每行一个网址）", .x = 885, .y = 8, .width = 171, .height = 24},
         .transparent = true});
    keep_on_top_check.create(
        {.frame = {.parent = parent, .text = L"窗口置顶", .x = 1121, .y = 8, .width = 83, .height = 24}});
    clear_icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_CLEAR), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    clear_button.create(
        {.frame = {.parent = parent, .text = L"清空当前所有网址", .x = 1264, .y = 8, .width = 121, .height = 24},
         .icon = clear_icon_.get()});
    browser_view = BrowserView::create({.parent = parent,
                                        .x = kViewPlace.x,
                                        .y = kViewPlace.y,
                                        .width = kViewPlace.width,
                                        .height = kViewPlace.height});
    url_text_box.create({.frame = {.parent = parent,
                                   .x = kUrlTextPlace.x,
                                   .y = kUrlTextPlace.y,
                                   .width = kUrlTextPlace.width,
                                   .height = kUrlTextPlace.height},
                         .multi_line = true});
    show_url_check.create(
        {.frame = {.parent = parent, .text = L"显示网址", .x = 888, .y = 228, .width = 88, .height = 24},
         .checked = true});
    show_title_check.create(
        {.frame = {.parent = parent, .text = L"显示标题", .x = 980, .y = 228, .width = 88, .height = 24},
         .checked = true});
    show_time_check.create(
        {.frame = {.parent = parent, .text = L"显示时间", .x = 1072, .y = 228, .width = 88, .height = 24}});
    load_button.create(
        {.frame = {.parent = parent, .text = L"读入网址", .x = 1248, .y = 228, .width = 136, .height = 24}});
    url_list_view.create({.frame = {.parent = parent,
                                    .x = kListPlace.x,
                                    .y = kListPlace.y,
                                    .width = kListPlace.width,
                                    .height = kListPlace.height},
                          .columns = {{L"序号", 50, LVCFMT_LEFT},
                                      {L"网址", kUrlColumnWidth, LVCFMT_LEFT},
                                      {L"标题", kTitleColumnWidth, LVCFMT_LEFT},
                                      {L"最后浏览时间", 0, LVCFMT_CENTER}}});
    set_fonts();

    if (!favicon_picture.hwnd() || !title_label.hwnd() || !url_text_box.hwnd() || !url_list_view.hwnd() ||
        !browser_view) {
        return false;
    }

    // Event wiring.
    show_url_check.on_click = [this] { apply_column_visibility(); };
    show_title_check.on_click = [this] { apply_column_visibility(); };
    show_time_check.on_click = [this] { apply_column_visibility(); };
    keep_on_top_check.on_click = [this] { apply_keep_on_top(); };
    auto_open_check.on_click = [this] { apply_auto_open_enabled(); };
    url_text_box.on_key_down = [this](unsigned vk, unsigned modifiers) { return select_all_on_ctrl_a(vk, modifiers); };
    load_button.on_click = [this] { address_list.read_urls(); };
    clear_button.on_click = [this] { address_list.clear_urls(); };
    url_list_view.on_right_click = [this] { address_list.show_list_menu(); };
    url_text_box.on_kill_focus = [this] { address_file.save_url_text(); };
    start_button.on_click = [this] { visiting.toggle_auto_visit(); };
    url_list_view.on_double_click = [this] { list_commands.show_row_in_browser_view(); };
    title_label.on_left_button_down = [this] { list_commands.open_shown_row_in_default_browser(); };
    visit_timer.on_tick = [this] { visiting.visit_next_row(); };
    capture_timer.on_tick = [this] { visiting.capture_title(); };
    BrowserViewEvents events = browser_view->events();
    events.load_finished = [this](int view_id, std::wstring_view, int status) {
        engine.page_loaded(view_id);
        visiting.load_finished(status);
    };
    events.status_text_changed = [this](int, std::wstring_view) { visiting.arm_capture(); };
    events.view_created = [this](int view_id) { engine.view_created(view_id); };
    events.engine_terminated = [this] { engine.host_ended(); };
    browser_view->set_events(std::move(events));
    engine.attach(browser_view);
    engine.page_to_show = [this] {
        std::string shown = visiting.shown_url();
        return shown.empty() ? lifecycle.start_url() : shown;
    };
    engine.on_given_up = [this] { visiting.stop_pass(); };
    return true;
}

// Every control has the window's font, but the address box, which has its own.
void MainWindow::set_fonts() {
    ui_font_.reset(create_ui_font());
    url_text_font_.reset(create_url_text_font());
    for (ui::Control* control : std::initializer_list<ui::Control*>{
             &title_label, &auto_open_check, &interval_box, &interval_label, &start_button, &url_text_caption,
             &keep_on_top_check, &clear_button, &show_url_check, &show_title_check, &show_time_check, &load_button,
             &url_list_view}) {
        control->set_font(ui_font_.get());
    }
    url_text_box.set_font(url_text_font_.get());
}

void MainWindow::create_menus() {
    list_menu.add_item(kCmdCopyUrls, L"复制网址", [this] { list_commands.copy_urls(); });
    list_menu.add_item(kCmdCopyTitles, L"复制标题", [this] { list_commands.copy_titles(); });
    list_menu.add_separator();
    list_menu.add_item(kCmdOpenInDefaultBrowser, L"从默认浏览器打开",
                       [this] { list_commands.open_in_default_browser(); });
    list_menu.add_separator();
    list_menu.add_item(kCmdExportList, L"导出表格", [this] { list_export.export_list(); });
    list_menu.add_separator();
    list_menu.add_item(kCmdSelectAllRows, L"全选记录", [this] { list_commands.select_all_rows(); });
    list_menu.add_item(kCmdInvertSelection, L"反选记录", [this] { list_commands.invert_selection(); });
    list_menu.create();

    tray_menu.add_item(kCmdOpenHomePage, L"打开官网", [this] { list_commands.open_home_page(); });
    tray_menu.add_separator();
    tray_menu.add_item(kCmdExitProgram, L"退出软件", [this] { lifecycle.exit_program(); });
    tray_menu.create();
}

void MainWindow::start_up() {
    lifecycle.start_up();
    layout_controls();
}

void MainWindow::layout_controls() {
    RECT outer{};
    GetWindowRect(hwnd(), &outer);
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;

    // Only the browser view grows with the window; the address box and the list keep their
    // size and move right with it, and the row of options above stays in place. Sizes below
    // zero, from a window smaller than the fixed margins, are clamped to zero by set_bounds.
    int view_width = width - kViewWidthMargin;
    browser_view->set_bounds(kViewPlace.x, kViewPlace.y, view_width, height - kViewHeightMargin);
    int right_left = kViewPlace.x + (view_width < 0 ? 0 : view_width) + kRightColumnGap;
    url_text_box.set_bounds(right_left, kUrlTextPlace.y, kUrlTextPlace.width, kUrlTextPlace.height);
    url_list_view.set_bounds(right_left, kListPlace.y, kListPlace.width, height - kListHeightMargin);
}

void MainWindow::apply_column_visibility() {
    url_list_view.set_column_width(kUrlColumn, show_url_check.checked() ? kUrlColumnWidth : 0);
    url_list_view.set_column_width(kTitleColumn, show_title_check.checked() ? kTitleColumnWidth : 0);
    url_list_view.set_column_width(kTimeColumn, show_time_check.checked() ? kTimeColumnWidth : 0);
}

void MainWindow::apply_keep_on_top() {
    SetWindowPos(hwnd(), keep_on_top_check.checked() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void MainWindow::apply_auto_open_enabled() {
    // Only visibility and enabling: the visiting itself and the button's caption belong to the
    // scheduler, so a running pass goes on with its button hidden.
    bool on = auto_open_check.checked();
    start_button.set_visible(on);
    interval_box.set_enabled(on);
    interval_spinner.set_enabled(on);
}

void MainWindow::give_focus_to(HWND child) {
    focus_child_ = child;
    SetFocus(child);
}

bool MainWindow::select_all_on_ctrl_a(unsigned vk, unsigned modifiers) {
    if (vk == 'A' && modifiers == ui::kCtrl) {
        url_text_box.select_all();
        return false;
    }
    return true;
}

LRESULT MainWindow::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    if (tray_icon.on_message(msg))
        return 0;
    switch (msg) {
        case kTrayMessage:
            switch (LOWORD(lp)) {
                case WM_LBUTTONUP:
                    lifecycle.on_tray_notify(kTrayLeftUp);
                    break;
                case WM_LBUTTONDBLCLK:
                    lifecycle.on_tray_notify(kTrayLeftDoubleClick);
                    break;
                case WM_RBUTTONUP:
                case WM_CONTEXTMENU:
                    lifecycle.on_tray_notify(kTrayMenu);
                    break;
            }
            return 0;
        case kExportRowsMessage:
            list_export.answer_rows_requests();
            return 0;
        case WM_SIZE:
            layout_controls();
            break;
        case WM_ACTIVATE:
            // The focus goes back to the control that had it when the window was last active.
            if (LOWORD(wp) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd(), focus))
                    focus_child_ = focus;
            }
            break;
        case WM_SETFOCUS:
            if (focus_child_ && IsWindow(focus_child_))
                SetFocus(focus_child_);
            return 0;
        case WM_TIMER:
            if (visit_timer.dispatch(wp) || capture_timer.dispatch(wp))
                return 0;
            break;
        case WM_COMMAND:
            // Menu items come with no control window.
            if (lp == 0 && HIWORD(wp) == 0) {
                UINT id = LOWORD(wp);
                if (list_menu.dispatch(id) || tray_menu.dispatch(id))
                    return 0;
            }
            break;
        case WM_CTLCOLORSTATIC: {
            auto* control = dynamic_cast<ui::Label*>(ui::control_from_hwnd(reinterpret_cast<HWND>(lp)));
            if (control && control->transparent())
                return reinterpret_cast<LRESULT>(ui::Label::paint_transparent(reinterpret_cast<HDC>(wp), background_));
            break;
        }
        case WM_ENDSESSION:
            // Windows is logging off or shutting down and may end the process without destroying
            // the window: the text typed since the last save must reach the file now.
            if (wp)
                address_file.save_url_text_if_changed();
            return 0;
        case WM_CLOSE:
            // Closing ends the program: an edited address text that cannot be saved lets the
            // user go back instead.
            if (!lifecycle.save_before_ending())
                return 0;
            break;
        case WM_DESTROY:
            // Closing the window ends the program: text typed since the box last lost the focus
            // is kept, and the tray icon and the drop targets go while their windows exist.
            address_file.save_url_text_if_changed();
            address_list.revoke_drop_targets();
            tray_icon.remove();
            visit_timer.set_interval(0);
            capture_timer.set_interval(0);
            if (on_destroyed_window)
                on_destroyed_window();
            return 0;
    }
    return Window::handle_message(msg, wp, lp);
}

}  // namespace quarnel
