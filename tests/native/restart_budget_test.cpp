#include "core/restart_budget.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarnel {
namespace {

TEST(RestartBudget, AllowsTheLimitWithinAnySpanAcrossTheClocksWrap) {
    struct Step {
        std::uint32_t now;
        bool allowed;
    };
    const std::uint32_t wrap = 0xFFFFFFFFu - 1000;  // the clock wraps 1 s after the first restart
    const std::vector<Step> steps = {
        {wrap, true},          {wrap + 500, true},    {wrap + 2000, true},  // past the wrap
        {wrap + 2500, false},                                               // a fourth within the minute
        {wrap + 59999, false},                                              // the first still counts
        {wrap + 60000, true},                                               // the first left the span
        {wrap + 60001, false},                         // refusals were not counted, the second still is
        {wrap + 60500, true},  {wrap + 200000, true},  // a long calm empties the span
        {wrap + 200001, true},
    };
    RestartBudget budget(3, 60000);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.now - wrap);
        EXPECT_EQ(budget.take(step.now), step.allowed);
    }
    EXPECT_EQ(budget.recent(), 2u);
}

}  // namespace
}  // namespace quarnel
