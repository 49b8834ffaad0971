// SPDX-License-Identifier: Apache-2.0
// The pan-tilt-zoom head on the RS-485 port, in PELCO-D or PELCO-P framing, camera 1.
// The port is opened on first use; every call sends its frames and returns.
#pragma once

// The RS-485 port the head hangs on.
#define PT_PORT_PATH "/dev/ttyAMA1"

extern "C" {

// Command numbers of pt_run.
enum {
    PT_UP = 0,
    PT_DOWN = 1,
    PT_LEFT = 2,
    PT_RIGHT = 3,
    PT_UP_LEFT = 4,
    PT_DOWN_RIGHT = 5,
    PT_DOWN_LEFT = 6,
    PT_UP_RIGHT = 7,
    PT_IRIS_IN = 8,
    PT_IRIS_OUT = 9,
    PT_ZOOM_IN = 10,
    PT_ZOOM_OUT = 11,
    PT_FOCUS_IN = 14,
    PT_FOCUS_OUT = 15,
    PT_AUTO_FOCUS = 17,
    PT_RESET_FOCUS = 18,
    PT_AUTO_SCAN = 21,
    PT_LIGHT_ON = 27,
    PT_LIGHT_OFF = 28,
    PT_BRUSH_ON = 29,
    PT_BRUSH_OFF = 30,
    PT_STOP = 32,
};

enum {
    PT_PELCO_D = 0,
    PT_PELCO_P = 1,
};

// Pan and tilt speeds of the movements that follow, each cut to 0x3F (before the first
// call both are 0x20); always 0.
int pt_set_speed(unsigned int pan, unsigned int tilt);
// Preset number n modulo 256; 0, or -1 when the frame could not be sent.
int pt_set_preset(unsigned int n);
int pt_remove_preset(unsigned int n);
int pt_go_preset(unsigned int n);
// Starts a movement or lens command (PT_UP ... PT_STOP); 0, or -1 for a number without
// a command or a frame that could not be sent.
int pt_run(unsigned int command);
// Closes the port: drain non-zero waits until the frames sent have left, 0 discards
// what is still queued. The next call opens the port again. Always 0.
int pt_tty_deinit(int drain);
// PT_PELCO_D (the default) or PT_PELCO_P for the frames that follow; 0, or -1.
int pt_set_protocol(int protocol);
}

// The serial port's device; tests point it at a pty.
void pt_set_port_path(const char* path);
