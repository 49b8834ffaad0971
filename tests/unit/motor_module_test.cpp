#include <gtest/gtest.h>

#include "platform/stepper/stepper.h"
#include "tests/unit/module_child.h"

namespace {

// How many times the P-iris still reports busy after a duty request.
int g_busy_polls = 0;

}  // namespace

int STEPPER_set_piris_duty(uint32_t duty) {
    record("set_piris_duty(%u)", duty);
    return 0;
}
int STEPPER_check_busy(uint32_t axis) {
    record("check_busy(%u)", axis);
    return g_busy_polls-- > 0 ? 1 : 0;
}
int STEPPER_run(const motor_request* req) {
    record("run(%u,%u,%llu)", req->type, req->direction, static_cast<unsigned long long>(req->steps));
    return 0;
}
int STEPPER_close(void) {
    record("close()");
    return 0;
}

namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    int busy_polls;
    const char* calls;
    int status;
};

class MotorModule : public ::testing::TestWithParam<Case> {};

TEST_P(MotorModule, CallsTheLibraryInOrder) {
    const Case& c = GetParam();
    std::vector<std::string> args = {"debug", "-M", "motor"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    g_busy_polls = c.busy_polls;
    ChildRun run = run_module_in_child("motor", args, false);
    EXPECT_EQ(run.calls, c.calls);
    EXPECT_EQ(run.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, MotorModule,
    ::testing::Values(
        Case{"IrisWaitsUntilIdleThenDefaultRun",
             {"-p", "50"},
             3,
             "set_piris_duty(50) check_busy(2) check_busy(2) check_busy(2) check_busy(2) run(0,0,10) close()",
             0},
        Case{"IrisMovedBeforeTheBadType",
             {"-p", "50", "-t", "9"},
             1,
             "set_piris_duty(50) check_busy(2) check_busy(2)",
             255},
        Case{"PassedOnUnclamped", {"-t", "2", "-d", "3", "-s", "100000"}, 0, "run(2,3,100000) close()", 0},
        Case{"BaseZeroAndWrap",
             {"-s", "-1", "-t", "0x1", "-d", "01"},
             0,
             "run(1,1,18446744073709551615) close()",
             0},
        Case{"DutyTakenAsThirtyTwoBits",
             {"-p", "4294967297"},
             0,
             "set_piris_duty(1) check_busy(2) run(0,0,10) close()",
             0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
