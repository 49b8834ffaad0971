#include <gtest/gtest.h>

#include "framework/test.h"
#include "platform/ptz/ptz.h"
#include "tests/unit/module_child.h"

namespace {

// The command during which a stop request arrives, as a Ctrl-C would; -1 for none.
int g_stop_during = -1;

}  // namespace

int pt_set_speed(unsigned int pan, unsigned int tilt) {
    record("pt_set_speed(%u,%u)", pan, tilt);
    return 0;
}
int pt_set_preset(unsigned int n) {
    record("pt_set_preset(%u)", n);
    return 0;
}
int pt_remove_preset(unsigned int n) {
    record("pt_remove_preset(%u)", n);
    return 0;
}
int pt_go_preset(unsigned int n) {
    record("pt_go_preset(%u)", n);
    return 0;
}
int pt_run(unsigned int command) {
    record("pt_run(%u)", command);
    if (static_cast<int>(command) == g_stop_during)
        g_exit_flag = 1;
    return 0;
}
int pt_tty_deinit(int drain) {
    record("pt_tty_deinit(%d)", drain);
    return 0;
}

namespace {

const std::string kSequence =
    "pt_run(0) pt_run(1) pt_run(0) pt_run(2) pt_run(3) pt_run(2) pt_run(7) pt_run(5) pt_run(4) pt_run(6) "
    "pt_run(27) pt_run(28) pt_run(29) pt_run(30)";

struct Case {
    const char* name;
    std::vector<std::string> args;
    int stop_during;
    std::string calls;
    int status;
};

class PtzModule : public ::testing::TestWithParam<Case> {};

TEST_P(PtzModule, CallsTheLibraryInOrder) {
    const Case& c = GetParam();
    std::vector<std::string> args = {"debug", "-M", "ptz"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    g_stop_during = c.stop_during;
    ChildRun run = run_module_in_child("ptz", args, true);
    EXPECT_EQ(run.calls, c.calls);
    EXPECT_EQ(run.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PtzModule,
    ::testing::Values(
        Case{"WholeTestAll", {}, -1, "pt_set_speed(38,38) " + kSequence + " pt_run(21) pt_tty_deinit(1)", 0},
        Case{"StopEndsTheSequence",
             {"-t"},
             3,
             "pt_set_speed(38,38) pt_run(0) pt_run(1) pt_run(0) pt_run(2) pt_run(3) pt_tty_deinit(1)",
             0},
        Case{"StopInTheLastStepSkipsTheAutoScan",
             {},
             30,
             "pt_set_speed(38,38) " + kSequence + " pt_tty_deinit(1)",
             0},
        Case{"PresetsThenLastCommand",
             {"-S", "9", "-s", "3", "-c", "0x10", "-g", "010", "--up", "--stop"},
             -1,
             "pt_set_speed(38,38) pt_set_preset(3) pt_remove_preset(16) pt_go_preset(8) pt_run(32) "
             "pt_tty_deinit(1)",
             0},
        Case{"StoppedCommand", {"--zoomin"}, 10, "pt_set_speed(38,38) pt_run(10) pt_tty_deinit(1)", 0},
        Case{"RejectedAfterAPreset",
             {"-s", "3", "-P", "2", "--up"},
             -1,
             "pt_set_speed(38,38) pt_set_preset(3)",
             255}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
