#include "platform/stepper/stepper.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/unit/gpio_recorder.h"

namespace {

const int kPins[3][4] = {{64, 65, 66, 67}, {68, 69, 70, 71}, {72, 73, 74, 75}};
// Coils A-D of the eight half-step phases, in forward order.
const char* const kHalfSteps[8] = {"1000", "1100", "0100", "0110", "0010", "0011", "0001", "1001"};

class Stepper : public ::testing::Test {
protected:
    void SetUp() override {
        g_gpio_writes.clear();
        g_gpio_failing_lines.clear();
        state_ = ::testing::TempDir() + "stepper.state";
        unlink(state_.c_str());
        stepper_set_state_path(state_.c_str());
        stepper_set_step_period_us(0);
    }

    // The moves the axis's coils made, e.g. "-184 +50": each step must energise the
    // neighbouring phase of the one before (from `phase`), and each move ends released.
    std::string moves(int axis, int phase = 0) {
        std::string out;
        int count = 0;
        int dir = 0;
        EXPECT_EQ(g_gpio_writes.size() % 4, 0u);
        for (size_t i = 0; i + 4 <= g_gpio_writes.size(); i += 4) {
            std::string coils;
            for (int c = 0; c < 4; c++) {
                EXPECT_EQ(g_gpio_writes[i + c].first, kPins[axis][c]) << "write " << i + c;
                coils += static_cast<char>('0' + g_gpio_writes[i + c].second);
            }
            if (coils == "0000") {
                out += (out.empty() ? "" : " ") + std::string(dir > 0 ? "+" : "-") + std::to_string(count);
                count = 0;
                continue;
            }
            int next = 0;
            while (next < 8 && coils != kHalfSteps[next])
                next++;
            int step = (next - phase + 8) % 8;
            EXPECT_TRUE(step == 1 || step == 7) << "from phase " << phase << " to " << coils;
            dir = step == 1 ? 1 : -1;
            phase = next;
            count++;
        }
        EXPECT_EQ(count, 0) << "coils left powered";
        g_gpio_writes.clear();
        return out;
    }

    std::string state() {
        std::ifstream in(state_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string state_;
};

struct MoveCase {
    const char* name;
    uint32_t type;
    uint32_t direction;
    uint64_t steps;
    const char* moves;
};

class StepperMove : public Stepper, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(StepperMove, HalfStepsOnTheAxisLinesClampedToItsTravel) {
    const MoveCase& c = GetParam();
    motor_request req = {c.type, c.direction, c.steps, {}};
    EXPECT_EQ(STEPPER_run(&req), 0);
    EXPECT_EQ(moves(c.type), c.moves);
}

INSTANTIATE_TEST_SUITE_P(Requests, StepperMove,
                         ::testing::Values(MoveCase{"FocusForward", 0, 0, 3, "+3"},
                                           MoveCase{"ZoomBack", 1, 1, 3, "-3"},
                                           MoveCase{"IrisForward", 2, 0, 10, "+10"},
                                           MoveCase{"FocusClamped", 0, 0, 100000, "+6764"},
                                           MoveCase{"ZoomClamped", 1, 1, 2769, "-2768"},
                                           MoveCase{"IrisClamped", 2, 0, 185, "+184"},
                                           MoveCase{"ZoomAtItsMaximum", 1, 0, 2768, "+2768"},
                                           MoveCase{"FocusToForwardEnd", 0, 2, 1, "+6764"},
                                           MoveCase{"ZoomHome", 1, 3, 0, "-2768"},
                                           MoveCase{"NoStepsNoWrites", 0, 0, 0, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Stepper, UnknownAxisOrDirectionIsRefusedWithoutDrivingAnything) {
    motor_request bad_type = {3, 0, 10, {}};
    motor_request bad_dir = {0, 4, 10, {}};
    EXPECT_EQ(STEPPER_run(&bad_type), -1);
    EXPECT_EQ(STEPPER_run(&bad_dir), -1);
    EXPECT_EQ(STEPPER_run(nullptr), -1);
    EXPECT_TRUE(g_gpio_writes.empty());
}

TEST_F(Stepper, NextRunGoesOnFromThePhaseTheRotorWasLeftIn) {
    motor_request forward = {0, 0, 3, {}};
    motor_request back = {0, 1, 1, {}};
    ASSERT_EQ(STEPPER_run(&forward), 0);
    moves(0);
    ASSERT_EQ(STEPPER_run(&back), 0);
    EXPECT_EQ(moves(0, 3), "-1");
}

TEST_F(Stepper, LineThatFailsStopsTheMoveReleasesTheOthersAndFailsTheRun) {
    g_gpio_failing_lines = {67};
    motor_request req = {0, 0, 10, {}};
    EXPECT_EQ(STEPPER_run(&req), -1);
    std::vector<std::pair<int, int>> expected = {{64, 1}, {65, 1}, {66, 0}, {64, 0}, {65, 0}, {66, 0}};
    EXPECT_EQ(g_gpio_writes, expected);
}

TEST_F(Stepper, IrisDutyHomesOnceThenMovesByTheDifference) {
    ASSERT_EQ(STEPPER_set_piris_duty(50), 0);
    EXPECT_EQ(moves(2), "-184 +50");
    EXPECT_EQ(state(), "focus-phase=0 zoom-phase=0 piris-phase=2 piris-position=50\n");
    ASSERT_EQ(STEPPER_set_piris_duty(30), 0);
    EXPECT_EQ(moves(2, 2), "-20");
    ASSERT_EQ(STEPPER_set_piris_duty(30), 0);
    EXPECT_EQ(moves(2), "");
    EXPECT_EQ(STEPPER_set_piris_duty(185), -1);
    EXPECT_TRUE(g_gpio_writes.empty());
    EXPECT_EQ(STEPPER_check_busy(2), 0);
    EXPECT_EQ(STEPPER_check_busy(3), -1);
}

TEST_F(Stepper, IrisRunsKeepThePositionUpToDate) {
    ASSERT_EQ(STEPPER_set_piris_duty(100), 0);
    motor_request forward = {2, 0, 50, {}};
    ASSERT_EQ(STEPPER_run(&forward), 0);
    EXPECT_NE(state().find("piris-position=150\n"), std::string::npos);
    motor_request back = {2, 1, 500, {}};
    ASSERT_EQ(STEPPER_run(&back), 0);
    EXPECT_NE(state().find("piris-position=0\n"), std::string::npos);
    g_gpio_writes.clear();
    ASSERT_EQ(STEPPER_set_piris_duty(4), 0);
    EXPECT_EQ(moves(2, 6), "+4");
}

TEST_F(Stepper, FailedOrUnreadablePositionIsHomedAgain) {
    ASSERT_EQ(STEPPER_set_piris_duty(50), 0);
    g_gpio_failing_lines = {74};
    EXPECT_EQ(STEPPER_set_piris_duty(60), -1);
    EXPECT_NE(state().find("piris-position=-1\n"), std::string::npos);
    g_gpio_failing_lines.clear();
    g_gpio_writes.clear();
    ASSERT_EQ(STEPPER_set_piris_duty(10), 0);
    EXPECT_EQ(moves(2, 2), "-184 +10");

    std::ofstream(state_) << "focus-phase=9 zoom-phase=0 piris-phase=0 piris-position=10\n";
    ASSERT_EQ(STEPPER_set_piris_duty(10), 0);
    EXPECT_EQ(moves(2), "-184 +10");
}

TEST_F(Stepper, CloseReleasesEveryCoilEvenPastAFailingLine) {
    EXPECT_EQ(STEPPER_close(), 0);
    ASSERT_EQ(g_gpio_writes.size(), 12u);
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(g_gpio_writes[i], std::make_pair(64 + i, 0));
    g_gpio_writes.clear();
    g_gpio_failing_lines = {68};
    EXPECT_EQ(STEPPER_close(), -1);
    EXPECT_EQ(g_gpio_writes.size(), 11u);
}

}  // namespace
