// The timed pass and the title capture against a scripted engine and timers that never fire by
// themselves: each tick is the test's call, and the clock that gives a row its time is the test's. The same with
// the real browser host is in visiting_test.cpp and the whole program's pass in program_test.cpp.

#include "app/visiting.h"

#include "test_effects.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quarnel {
namespace {

// Pages by address; the view shows the last one opened.
class ScriptedEngine : public PageEngine {
public:
    void navigate(const std::string& url) override { opened.push_back(url); }
    std::optional<std::string> page_source() override {
        std::optional<std::string> shown;
        if (up && answers && !opened.empty())
            shown = pages[opened.back()];
        if (during_source)
            std::exchange(during_source, nullptr)();
        return shown;
    }
    bool showing() const override { return up; }
    bool recovering() const override { return starting; }

    std::map<std::string, std::string> pages;
    std::vector<std::string> opened;
    bool up = true;
    bool answers = true;  // false: the page gives no answer (its browser died during the wait)
    bool starting = false;
    std::function<void()> during_source;  // runs while the source is asked for, once
};

class PassAndCaptureTest : public ::testing::Test {
public:
    void SetUp() override {
        parent =
            CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(parent);
        start_button.create({.frame = {.parent = parent, .text = L"启动", .width = 40, .height = 24}});
        interval_box.create({.frame = {.parent = parent, .text = L"10", .width = 60, .height = 24}});
        list.create({.frame = {.parent = parent, .width = 600, .height = 400},
                     .columns = {{L"#", 50, LVCFMT_LEFT},
                                 {L"url", 200, LVCFMT_LEFT},
                                 {L"title", 200, LVCFMT_LEFT},
                                 {L"time", 100, LVCFMT_LEFT}}});
        title_label.create({.frame = {.parent = parent, .width = 300, .height = 24}});
        favicon_picture.create({.frame = {.parent = parent, .width = 16, .height = 16}});
        effects.fetcher = [this](const std::string& url) {
            fetched.push_back(url);
            return std::string();
        };
    }
    void TearDown() override { DestroyWindow(parent); }

    void add_rows(const std::vector<std::string>& urls) {
        for (const std::string& url : urls) {
            int row = list.insert_row(-1, std::to_string(list.row_count() + 1));
            list.set_cell_text(row, kUrlColumn, url);
        }
    }
    std::string cell(int row, int column) const { return list.cell_text(row, column); }

    HWND parent = nullptr;
    ui::Button start_button;
    ui::EditBox interval_box;
    ui::ListView list{kUrlColumnCount};
    ui::Label title_label;
    ui::PictureBox favicon_picture;
    ui::Timer visit_timer{1}, capture_timer{2};
    ScriptedEngine engine;
    test::TestEffects effects;
    std::vector<std::string> fetched;
    Visiting visiting{{.start_button = start_button,
                       .interval_box = interval_box,
                       .visit_timer = visit_timer,
                       .capture_timer = capture_timer,
                       .list = list,
                       .title_label = title_label,
                       .favicon_picture = favicon_picture,
                       .engine = engine,
                       .effects = effects,
                       .now = [] { return LocalTime{2026, 12, 9, 8, 5, 3}; }}};
};

TEST_F(PassAndCaptureTest, EachTickShowsTheNextRowAndTheOneAfterTheLastEndsThePass) {
    add_rows({"http://a/", "http://b/", "http://c/"});
    interval_box.set_text("\xA3\xB1.5");  // a full-width 1
    visiting.toggle_auto_visit();
    EXPECT_EQ(start_button.caption(), L"停止");
    EXPECT_EQ(visit_timer.interval(), 1500);

    struct Step {
        const char* what;
        void (*act)(PassAndCaptureTest&);
        std::vector<std::string> opened;
        int shown_row, cursor;
        bool running;
    };
    auto tick = [](PassAndCaptureTest& t) { t.visiting.visit_next_row(); };
    const Step steps[] = {
        {"first tick", tick, {"http://a/"}, 1, 1, true},
        {"a tick while the engine starts again holds the row",
         [](PassAndCaptureTest& t) {
             t.engine.starting = true;
             t.visiting.visit_next_row();
             t.engine.starting = false;
         },
         {"http://a/"},
         1,
         1,
         true},
        {"stop keeps the cursor",
         [](PassAndCaptureTest& t) { t.visiting.toggle_auto_visit(); },
         {"http://a/"},
         1,
         1,
         false},
        {"start again", [](PassAndCaptureTest& t) { t.visiting.toggle_auto_visit(); }, {"http://a/"}, 1, 1, true},
        {"second tick", tick, {"http://a/", "http://b/"}, 2, 2, true},
        {"third tick", tick, {"http://a/", "http://b/", "http://c/"}, 3, 3, true},
        {"the tick after the last row", tick, {"http://a/", "http://b/", "http://c/"}, 3, 0, false},
        {"an emptied list ends at the first tick",
         [](PassAndCaptureTest& t) {
             t.list.delete_all_rows();
             t.visiting.toggle_auto_visit();
             t.visiting.visit_next_row();
         },
         {"http://a/", "http://b/", "http://c/"},
         3,
         0,
         false},
    };
    for (const Step& step : steps) {
        step.act(*this);
        EXPECT_EQ(engine.opened, step.opened) << step.what;
        EXPECT_EQ(visiting.shown_row(), step.shown_row) << step.what;
        EXPECT_EQ(visiting.visit_cursor, step.cursor) << step.what;
        EXPECT_EQ(start_button.caption(), step.running ? L"停止" : L"启动") << step.what;
        EXPECT_EQ(visit_timer.interval(), step.running ? 1500 : 0) << step.what;
    }
}

TEST_F(PassAndCaptureTest, TheCaptureWritesTheShownPagesTitleTimeAndIconIntoItsRow) {
    const std::string gbk_title = win::wide_to_ansi(L"中文标题");
    const std::string untitled = win::wide_to_ansi(L"无标题");
    struct Case {
        const char* what;
        std::string source;
        bool engine_up;
        std::string title;  // the row's title cell afterwards
        bool time_written;
        std::vector<std::string> fetched;
        std::vector<int> loads = {200};  // the statuses of the loads that end, in order
    };
    const Case cases[] = {
        {"title in capitals, icon of the page",
         "<HTML><HEAD><TITLE>Foo</TITLE><link rel=\"icon\" href=\"//127.0.0.1/i/favicon.ico\"></HEAD></HTML>",
         true,
         "Foo",
         true,
         {"http://127.0.0.1/i/favicon.ico"}},
        {"title of a JSON answer", "<html><body>{\"title\":\"Bar\"}</body></html>", true, "Bar", true, {}},
        {"a title of white space", "<title> \r\n  </title>", true, "", true, {}},
        {"no title", "<html><body>no title</body></html>", true, untitled, true, {}},
        {"an empty page that was shown", "", true, untitled, true, {}},
        {"a load the browser dropped (a refused download)", "<title>Before</title>", true, "", false, {}, {-3}},
        {"a load that ended after a dropped one", "<title>Later</title>", true, "Later", true, {}, {-3, 200}},
        {"a dropped load after the one before ended", "<title>Before</title>", true, "", false, {}, {200, -3}},
        {"GBK title", "<title>" + gbk_title + "</title>", true, gbk_title, true, {}},
        {"no answer because the engine is gone", "", false, "", false, {}},
    };
    for (const Case& c : cases) {
        list.delete_all_rows();
        fetched.clear();
        add_rows({"http://page/"});
        engine.pages["http://page/"] = c.source;
        engine.up = c.engine_up;
        visiting.show_row(0);
        for (int status : c.loads)
            visiting.load_finished(status);
        EXPECT_EQ(capture_timer.interval(), 1000) << c.what;
        visiting.capture_title();
        EXPECT_EQ(capture_timer.interval(), 0) << c.what;
        EXPECT_EQ(cell(0, kTitleColumn), c.title) << c.what;
        EXPECT_EQ(cell(0, kTimeColumn), c.time_written ? "2026-12-09 08:05:03" : "") << c.what;
        EXPECT_EQ(fetched, c.fetched) << c.what;
    }
    // The last page shown keeps its title above the view.
    EXPECT_EQ(title_label.caption(), L"中文标题");
    // No answer while the engine is up (the browser died during the wait): nothing is written.
    list.delete_all_rows();
    add_rows({"http://page/"});
    engine.up = true;
    engine.answers = false;
    visiting.show_row(0);
    visiting.load_finished(200);
    visiting.capture_title();
    EXPECT_EQ(cell(0, kTitleColumn), "");
    EXPECT_EQ(cell(0, kTimeColumn), "");
}

// A tick of the pass during the wait for a page's source shows the next row: the answer goes into
// the row it was asked for, and the next row waits for its own capture.
TEST_F(PassAndCaptureTest, APageSourceThatComesAfterTheNextRowWasShownGoesIntoItsOwnRow) {
    add_rows({"http://first/", "http://second/"});
    engine.pages = {{"http://first/", "<title>First</title>"}, {"http://second/", "<title>Second</title>"}};
    visiting.show_row(0);
    visiting.load_finished(200);
    engine.during_source = [&] { visiting.show_row(1); };
    visiting.capture_title();
    EXPECT_EQ(cell(0, kTitleColumn), "First");
    EXPECT_EQ(cell(1, kTitleColumn), "");
    EXPECT_EQ(cell(1, kTimeColumn), "");
    EXPECT_EQ(title_label.caption(), L"");
    visiting.load_finished(200);
    visiting.capture_title();
    EXPECT_EQ(cell(1, kTitleColumn), "Second");
    EXPECT_EQ(title_label.caption(), L"Second");
}

}  // namespace
}  // namespace quarnel
