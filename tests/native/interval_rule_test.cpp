#include "core/interval_rule.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarnel {
namespace {

TEST(IntervalRule, SettingsGiveTheClockChangesAndTheStoredInterval) {
    using Change = IntervalRule::Change;
    struct Step {
        int set;
        Change change;
        int stored;
    };
    const std::vector<Step> steps = {
        {0, Change::kNone, 0},                                        // a stopped timer stays stopped
        {-5, Change::kNone, 0},                                       // negative is stored as 0
        {1000, Change::kRestart, 1000}, {1000, Change::kNone, 1000},  // unchanged: the running period is not restarted
        {250, Change::kRestart, 250},                                 // another value restarts
        {-1, Change::kStop, 0},         {-1, Change::kNone, 0},      {1, Change::kRestart, 1}, {0, Change::kStop, 0},
    };
    IntervalRule rule;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.set);
        EXPECT_EQ(rule.set(step.set), step.change);
        EXPECT_EQ(rule.interval(), step.stored);
        EXPECT_EQ(rule.running(), step.stored > 0);
    }
}

}  // namespace
}  // namespace quarnel
