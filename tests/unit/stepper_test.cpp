// SPDX-License-Identifier: Apache-2.0
// The stepper library against a recording stand-in of the GPIO library.
#include "platform/stepper/stepper.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/gpio/gpio.h"

namespace {

std::vector<std::pair<int, int>> g_writes;  // (line, level), in order
std::set<int> g_failing_lines;

}  // namespace

int gpio_write(int gpio, int level) {
    if (g_failing_lines.count(gpio) != 0)
        return -1;
    g_writes.emplace_back(gpio, level != 0);
    return 0;
}
int gpio_read(int) {
    return -1;
}
int gpio_close(void) {
    return 0;
}

namespace {

const int kPins[3][4] = {{64, 65, 66, 67}, {68, 69, 70, 71}, {72, 73, 74, 75}};
// Coils A-D of the eight half-step phases, in forward order.
const std::vector<std::string> kHalfSteps = {"1000", "1100", "0100", "0110", "0010", "0011", "0001", "1001"};

class Stepper : public ::testing::Test {
protected:
    void SetUp() override {
        g_writes.clear();
        g_failing_lines.clear();
        unlink(state_.c_str());
        stepper_set_state_path(state_.c_str());
        stepper_set_step_period_us(0);
    }

    // What the axis's coils did, e.g. "-184 +50": each step must energise the phase next
    // to the one before (from `phase`), and each move ends with the coils released.
    std::string moves(int axis, int phase = 0) {
        std::string out;
        int count = 0;
        int dir = 0;
        EXPECT_EQ(g_writes.size() % 4, 0u);
        for (size_t i = 0; i + 4 <= g_writes.size(); i += 4) {
            std::string coils;
            for (int c = 0; c < 4; c++) {
                EXPECT_EQ(g_writes[i + c].first, kPins[axis][c]) << "write " << i + c;
                coils += static_cast<char>('0' + g_writes[i + c].second);
            }
            if (coils == "0000") {
                out += (out.empty() ? "" : " ") + std::string(dir > 0 ? "+" : "-") + std::to_string(count);
                count = 0;
                continue;
            }
            int next =
                static_cast<int>(std::find(kHalfSteps.begin(), kHalfSteps.end(), coils) - kHalfSteps.begin());
            int step = (next - phase + 8) % 8;
            EXPECT_TRUE(step == 1 || step == 7) << "from phase " << phase << " to " << coils;
            dir = step == 1 ? 1 : -1;
            phase = next;
            count++;
        }
        EXPECT_EQ(count, 0) << "coils left powered";
        g_writes.clear();
        return out;
    }

    std::string state() {
        std::stringstream s;
        s << std::ifstream(state_).rdbuf();
        return s.str();
    }

    const std::string state_ = ::testing::TempDir() + "stepper.state";
};

struct MoveCase {
    const char* name;
    motor_request req;
    const char* moves;
};

class StepperMove : public Stepper, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(StepperMove, HalfStepsOnTheAxisLinesCutToItsTravel) {
    motor_request req = GetParam().req;
    EXPECT_EQ(STEPPER_run(&req), 0);
    EXPECT_EQ(moves(req.type), GetParam().moves);
}

INSTANTIATE_TEST_SUITE_P(Requests, StepperMove,
                         ::testing::Values(MoveCase{"FocusForward", {0, 0, 3, {}}, "+3"},
                                           MoveCase{"ZoomBack", {1, 1, 3, {}}, "-3"},
                                           MoveCase{"FocusCut", {0, 0, 100000, {}}, "+6764"},
                                           MoveCase{"ZoomCut", {1, 1, 2769, {}}, "-2768"},
                                           MoveCase{"IrisCut", {2, 0, 185, {}}, "+184"},
                                           MoveCase{"ToForwardEnd", {0, 2, 1, {}}, "+6764"},
                                           MoveCase{"Home", {1, 3, 0, {}}, "-2768"},
                                           MoveCase{"NoSteps", {0, 0, 0, {}}, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Stepper, UnknownAxisOrDirectionDrivesNothing) {
    motor_request bad_type = {3, 0, 10, {}};
    motor_request bad_dir = {0, 4, 10, {}};
    EXPECT_EQ(STEPPER_run(&bad_type), -1);
    EXPECT_EQ(STEPPER_run(&bad_dir), -1);
    EXPECT_EQ(STEPPER_check_busy(3), -1);
    EXPECT_TRUE(g_writes.empty());
}

TEST_F(Stepper, LineThatFailsStopsTheMoveReleasesTheOthersAndFailsTheRun) {
    g_failing_lines = {67};
    motor_request req = {0, 0, 10, {}};
    EXPECT_EQ(STEPPER_run(&req), -1);
    std::vector<std::pair<int, int>> expected = {{64, 1}, {65, 1}, {66, 0}, {64, 0}, {65, 0}, {66, 0}};
    EXPECT_EQ(g_writes, expected);
}

TEST_F(Stepper, IrisDutyHomesOnceThenMovesByTheDifference) {
    ASSERT_EQ(STEPPER_set_piris_duty(50), 0);
    EXPECT_EQ(moves(2), "-184 +50");
    EXPECT_EQ(state(), "focus-phase=0 zoom-phase=0 piris-phase=2 piris-position=50\n");
    ASSERT_EQ(STEPPER_set_piris_duty(30), 0);
    EXPECT_EQ(moves(2, 2), "-20");
    EXPECT_EQ(STEPPER_set_piris_duty(185), -1);
    EXPECT_TRUE(g_writes.empty());
    EXPECT_EQ(STEPPER_check_busy(2), 0);
}

TEST_F(Stepper, FailedMoveOrUnreadableStateIsHomedAgain) {
    ASSERT_EQ(STEPPER_set_piris_duty(50), 0);
    g_failing_lines = {74};
    EXPECT_EQ(STEPPER_set_piris_duty(60), -1);
    g_failing_lines.clear();
    g_writes.clear();
    ASSERT_EQ(STEPPER_set_piris_duty(10), 0);
    EXPECT_EQ(moves(2, 2), "-184 +10");
    std::ofstream(state_) << "focus-phase=9 zoom-phase=0 piris-phase=0 piris-position=10\n";
    ASSERT_EQ(STEPPER_set_piris_duty(10), 0);
    EXPECT_EQ(moves(2), "-184 +10");
}

TEST_F(Stepper, CloseReleasesEveryCoilEvenPastAFailingLine) {
    g_failing_lines = {68};
    EXPECT_EQ(STEPPER_close(), -1);
    std::vector<std::pair<int, int>> expected;
    for (int line = 64; line < 76; line++)
        if (line != 68)
            expected.emplace_back(line, 0);
    EXPECT_EQ(g_writes, expected);
}

}  // namespace
