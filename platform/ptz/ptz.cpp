// SPDX-License-Identifier: Apache-2.0
#include "platform/ptz/ptz.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include "platform/common/unique_fd.h"

static const speed_t kBaudRate = B9600;
// A frame takes under 10 ms at 9600 baud; a port that takes this long is stuck.
static const int kWriteTimeoutMs = 1000;

static const uint8_t kPelcoDSync = 0xFF;
static const uint8_t kPelcoDAddress = 1;
static const uint8_t kPelcoPStart = 0xA0;
static const uint8_t kPelcoPEnd = 0xAF;
static const uint8_t kPelcoPAddress = 0;  // PELCO-P counts cameras from 0
static const unsigned int kMaxSpeed = 0x3F;
static const size_t kFrameMax = 8;

// Command bytes as PELCO-D has them: cmd1, cmd2, data1, data2.
struct Command {
    uint8_t cmd1;
    uint8_t cmd2;
    uint8_t data1;
    uint8_t data2;
};

enum DataKind { kSpeeds, kFixed };

// One row per frame; a number with two rows sends both, in order.
struct CommandFrame {
    unsigned int number;
    uint8_t cmd1;
    uint8_t cmd2;
    DataKind data;  // kSpeeds: data1 pan and data2 tilt speed; kFixed: 0 and data2
    uint8_t data2;
};

static const CommandFrame kCommandFrames[] = {
    {PT_UP, 0x00, 0x08, kSpeeds, 0},
    {PT_DOWN, 0x00, 0x10, kSpeeds, 0},
    {PT_LEFT, 0x00, 0x04, kSpeeds, 0},
    {PT_RIGHT, 0x00, 0x02, kSpeeds, 0},
    {PT_UP_LEFT, 0x00, 0x0C, kSpeeds, 0},
    {PT_DOWN_RIGHT, 0x00, 0x12, kSpeeds, 0},
    {PT_DOWN_LEFT, 0x00, 0x14, kSpeeds, 0},
    {PT_UP_RIGHT, 0x00, 0x0A, kSpeeds, 0},
    {PT_IRIS_IN, 0x04, 0x00, kFixed, 0x00},    // close
    {PT_IRIS_OUT, 0x02, 0x00, kFixed, 0x00},   // open
    {PT_ZOOM_IN, 0x00, 0x20, kFixed, 0x00},    // tele
    {PT_ZOOM_OUT, 0x00, 0x40, kFixed, 0x00},   // wide
    {PT_FOCUS_IN, 0x01, 0x00, kFixed, 0x00},   // near
    {PT_FOCUS_OUT, 0x00, 0x80, kFixed, 0x00},  // far
    {PT_AUTO_FOCUS, 0x00, 0x2B, kFixed, 0x00},
    {PT_RESET_FOCUS, 0x00, 0x2B, kFixed, 0x01},  // auto focus off,
    {PT_RESET_FOCUS, 0x00, 0x2B, kFixed, 0x00},  //   then on again
    {PT_AUTO_SCAN, 0x00, 0x07, kFixed, 0x63},    // go to preset 99
    {PT_LIGHT_ON, 0x00, 0x09, kFixed, 0x01},     // set auxiliary 1
    {PT_LIGHT_OFF, 0x00, 0x0B, kFixed, 0x01},    // clear auxiliary 1
    {PT_BRUSH_ON, 0x00, 0x09, kFixed, 0x02},     // set auxiliary 2
    {PT_BRUSH_OFF, 0x00, 0x0B, kFixed, 0x02},    // clear auxiliary 2
    {PT_STOP, 0x00, 0x00, kFixed, 0x00},
};

static const uint8_t kSetPreset = 0x03;
static const uint8_t kClearPreset = 0x05;
static const uint8_t kGoPreset = 0x07;

static char s_port_path[128] = PT_PORT_PATH;
static UniqueFd s_port;
static int s_protocol = PT_PELCO_D;
static uint8_t s_pan_speed = 0x20;
static uint8_t s_tilt_speed = 0x20;

void pt_set_port_path(const char* path) {
    snprintf(s_port_path, sizeof s_port_path, "%s", path != nullptr ? path : PT_PORT_PATH);
}

// 9600 8N1, raw: no echo, no line editing, no translation of bytes such as 0x0A.
static int open_port() {
    if (s_port) {
        return 0;
    }
    UniqueFd fd(open(s_port_path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return -1;
    }
    struct termios tio;
    if (tcgetattr(fd.get(), &tio) != 0) {
        return -1;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, kBaudRate) != 0 || cfsetospeed(&tio, kBaudRate) != 0 ||
        tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
        return -1;
    }
    s_port = std::move(fd);
    return 0;
}

// A port that fails is closed, so the next frame tries a fresh open.
static int write_frame(const uint8_t* frame, size_t len) {
    if (open_port() != 0) {
        return -1;
    }
    size_t done = 0;
    while (done < len) {
        ssize_t n = write(s_port.get(), frame + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            struct pollfd pfd = {s_port.get(), POLLOUT, 0};
            int ready = poll(&pfd, 1, kWriteTimeoutMs);
            if (ready > 0 || (ready < 0 && errno == EINTR)) {
                continue;
            }
        }
        s_port.reset();
        return -1;
    }
    return 0;
}

// PELCO-P carries the lens bits in cmd1 only: focus far (PELCO-D's cmd2 bit 7) becomes
// bit 0, and focus near, iris open and iris close move up one bit each.
static size_t encode_frame(const Command& c, uint8_t (&frame)[kFrameMax]) {
    if (s_protocol == PT_PELCO_P) {
        frame[0] = kPelcoPStart;
        frame[1] = kPelcoPAddress;
        frame[2] = static_cast<uint8_t>(((c.cmd2 >> 7) & 0x01) | ((c.cmd1 & 0x07) << 1));
        frame[3] = static_cast<uint8_t>(c.cmd2 & 0x7F);
        frame[4] = c.data1;
        frame[5] = c.data2;
        frame[6] = kPelcoPEnd;
        frame[7] = 0;
        for (size_t i = 0; i < 7; i++) {
            frame[7] ^= frame[i];
        }
        return 8;
    }
    frame[0] = kPelcoDSync;
    frame[1] = kPelcoDAddress;
    frame[2] = c.cmd1;
    frame[3] = c.cmd2;
    frame[4] = c.data1;
    frame[5] = c.data2;
    frame[6] = static_cast<uint8_t>(frame[1] + frame[2] + frame[3] + frame[4] + frame[5]);
    return 7;
}

static int send_command(const Command& c) {
    uint8_t frame[kFrameMax];
    size_t len = encode_frame(c, frame);
    return write_frame(frame, len);
}

int pt_set_speed(unsigned int pan, unsigned int tilt) {
    s_pan_speed = static_cast<uint8_t>(pan < kMaxSpeed ? pan : kMaxSpeed);
    s_tilt_speed = static_cast<uint8_t>(tilt < kMaxSpeed ? tilt : kMaxSpeed);
    return 0;
}

static int send_preset(uint8_t cmd2, unsigned int n) {
    return send_command(Command{0x00, cmd2, 0x00, static_cast<uint8_t>(n & 0xFF)});
}

int pt_set_preset(unsigned int n) {
    return send_preset(kSetPreset, n);
}

int pt_remove_preset(unsigned int n) {
    return send_preset(kClearPreset, n);
}

int pt_go_preset(unsigned int n) {
    return send_preset(kGoPreset, n);
}

int pt_run(unsigned int command) {
    int ret = -1;
    for (const CommandFrame& row : kCommandFrames) {
        if (row.number != command) {
            continue;
        }
        Command c = {row.cmd1, row.cmd2, 0x00, row.data2};
        if (row.data == kSpeeds) {
            c.data1 = s_pan_speed;
            c.data2 = s_tilt_speed;
        }
        ret = send_command(c);
        if (ret != 0) {
            break;
        }
    }
    return ret;
}

int pt_tty_deinit(int drain) {
    if (s_port) {
        if (drain != 0) {
            tcdrain(s_port.get());
        } else {
            tcflush(s_port.get(), TCOFLUSH);
        }
        s_port.reset();
    }
    return 0;
}

int pt_set_protocol(int protocol) {
    if (protocol != PT_PELCO_D && protocol != PT_PELCO_P) {
        return -1;
    }
    s_protocol = protocol;
    return 0;
}
