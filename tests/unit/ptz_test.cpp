// SPDX-License-Identifier: Apache-2.0
#include "platform/ptz/ptz.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "tests/unit/test_support.h"

namespace {

// The serial port is a pty: the library opens its slave by name, the test reads the master.
class Ptz : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master_, &slave_, name_, nullptr, nullptr), 0);
        pt_set_port_path(name_);
        pt_set_protocol(PT_PELCO_D);
        pt_set_speed(38, 38);
    }
    void TearDown() override {
        pt_tty_deinit(0);
        close(slave_);
        close(master_);
    }
    // What reached the head, as hex bytes.
    std::string wire() {
        std::string out;
        unsigned char buf[256];
        struct pollfd pfd = {master_, POLLIN, 0};
        while (poll(&pfd, 1, 100) > 0) {
            ssize_t n = read(master_, buf, sizeof buf);
            for (ssize_t i = 0; i < n; i++) {
                char hex[4];
                snprintf(hex, sizeof hex, "%02X ", buf[i]);
                out += hex;
            }
            if (n <= 0)
                break;
        }
        return out.empty() ? out : out.substr(0, out.size() - 1);
    }
    int master_ = -1;
    int slave_ = -1;
    char name_[64];
};

struct FrameCase {
    const char* name;
    int protocol;
    std::function<int()> call;
    const char* frames;
};

class PtzFrames : public Ptz, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(PtzFrames, ExactBytesOnTheWire) {
    const FrameCase& c = GetParam();
    ASSERT_EQ(pt_set_protocol(c.protocol), 0);
    EXPECT_EQ(c.call(), 0);
    EXPECT_EQ(wire(), c.frames);
}

const int D = PT_PELCO_D;
const int P = PT_PELCO_P;

INSTANTIATE_TEST_SUITE_P(
    Commands, PtzFrames,
    ::testing::Values(
        FrameCase{"DStop", D, [] { return pt_run(PT_STOP); }, "FF 01 00 00 00 00 01"},
        FrameCase{"DZoomIn", D, [] { return pt_run(PT_ZOOM_IN); }, "FF 01 00 20 00 00 21"},
        FrameCase{"DUp", D, [] { return pt_run(PT_UP); }, "FF 01 00 08 26 26 55"},
        FrameCase{"DSpeedsCut", D, [] { return pt_set_speed(100, 5) | pt_run(PT_LEFT); },
                  "FF 01 00 04 3F 05 49"},
        FrameCase{"DFocusNear", D, [] { return pt_run(PT_FOCUS_IN); }, "FF 01 01 00 00 00 02"},
        FrameCase{"DFocusFar", D, [] { return pt_run(PT_FOCUS_OUT); }, "FF 01 00 80 00 00 81"},
        FrameCase{"DResetFocus", D, [] { return pt_run(PT_RESET_FOCUS); },
                  "FF 01 00 2B 00 01 2D FF 01 00 2B 00 00 2C"},
        FrameCase{"DAutoScan", D, [] { return pt_run(PT_AUTO_SCAN); }, "FF 01 00 07 00 63 6B"},
        FrameCase{"DSetPreset", D, [] { return pt_set_preset(3); }, "FF 01 00 03 00 03 07"},
        FrameCase{"DClearPreset0", D, [] { return pt_remove_preset(0); }, "FF 01 00 05 00 00 06"},
        FrameCase{"DGoPresetModulo", D, [] { return pt_go_preset(456); }, "FF 01 00 07 00 C8 D0"},
        FrameCase{"DSumWraps", D, [] { return pt_set_speed(63, 63) | pt_run(PT_DOWN_RIGHT); },
                  "FF 01 00 12 3F 3F 91"},
        FrameCase{"PStop", P, [] { return pt_run(PT_STOP); }, "A0 00 00 00 00 00 AF 0F"},
        FrameCase{"PUp", P, [] { return pt_run(PT_UP); }, "A0 00 00 08 26 26 AF 07"},
        FrameCase{"PFocusFar", P, [] { return pt_run(PT_FOCUS_OUT); }, "A0 00 01 00 00 00 AF 0E"},
        FrameCase{"PFocusNear", P, [] { return pt_run(PT_FOCUS_IN); }, "A0 00 02 00 00 00 AF 0D"},
        FrameCase{"PIrisOpen", P, [] { return pt_run(PT_IRIS_OUT); }, "A0 00 04 00 00 00 AF 0B"},
        FrameCase{"PIrisClose", P, [] { return pt_run(PT_IRIS_IN); }, "A0 00 08 00 00 00 AF 07"},
        FrameCase{"PGoPreset", P, [] { return pt_go_preset(99); }, "A0 00 00 07 00 63 AF 6B"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Ptz, NumbersWithoutACommandSendNothing) {
    for (unsigned int n : {12u, 13u, 16u, 19u, 20u, 31u, 33u, 117u})
        EXPECT_EQ(pt_run(n), -1) << n;
    EXPECT_EQ(pt_set_protocol(2), -1);
    EXPECT_EQ(wire(), "");
}

TEST_F(Ptz, PortIsRawNineSixHundredEightNOne) {
    ASSERT_EQ(pt_run(PT_STOP), 0);
    struct termios tio;
    ASSERT_EQ(tcgetattr(slave_, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(cfgetispeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(Ptz, PortOpensOnUseStaysOpenAndDeinitClosesIt) {
    pt_tty_deinit(1);
    int before = open_fd_count();
    pt_set_port_path("/nonexistent/ttyAMA1");
    EXPECT_EQ(pt_go_preset(1), -1);
    EXPECT_EQ(open_fd_count(), before);
    pt_set_port_path(name_);
    ASSERT_EQ(pt_set_preset(1), 0);
    ASSERT_EQ(pt_set_preset(2), 0);
    EXPECT_EQ(open_fd_count(), before + 1);
    EXPECT_EQ(pt_tty_deinit(1), 0);
    EXPECT_EQ(open_fd_count(), before);
    EXPECT_EQ(wire(), "FF 01 00 03 00 01 05 FF 01 00 03 00 02 06");
}

}  // namespace
