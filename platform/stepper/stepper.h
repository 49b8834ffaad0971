// SPDX-License-Identifier: Apache-2.0
// The lens stepper motors (focus, zoom, P-iris): 4-phase motors whose coils hang on
// GPIO lines, driven in half steps. Every call returns only once the motor has stopped
// and its coils are released.
#pragma once

#include <stdint.h>

// Where the rotor phases and the P-iris position are kept between runs.
#define STEPPER_STATE_PATH "/tmp/stepper.state"

extern "C" {

enum {
    STEPPER_FOCUS = 0,
    STEPPER_ZOOM = 1,
    STEPPER_PIRIS = 2,
};

// Axis travel in half steps; a longer move is cut to it.
enum {
    STEPPER_FOCUS_MAX_STEPS = 6764,
    STEPPER_ZOOM_MAX_STEPS = 2768,
    STEPPER_PIRIS_MAX_STEPS = 184,
};

enum {
    STEPPER_FORWARD = 0,      // `steps` half steps forward
    STEPPER_BACK = 1,         // `steps` half steps back
    STEPPER_FORWARD_END = 2,  // the whole travel forward, onto the end stop; `steps` is not read
    STEPPER_BACK_END = 3,     // the whole travel back, onto the end stop (home); `steps` is not read
};

// One run request. Callers hand over records of exactly this layout (24 bytes).
struct motor_request {
    uint32_t type;        // STEPPER_FOCUS, STEPPER_ZOOM or STEPPER_PIRIS
    uint32_t direction;   // STEPPER_FORWARD ... STEPPER_BACK_END
    uint64_t steps;       // cut to the axis travel
    uint8_t reserved[8];  // not read
};

// Runs the request; 0, or -1 for an unknown axis or direction or a GPIO line that
// could not be driven (the move stops there and the coils are released).
int STEPPER_run(const motor_request* req);
// Moves the P-iris to the duty (0 to STEPPER_PIRIS_MAX_STEPS, its position in half
// steps from fully closed). The position is remembered across runs, so the iris moves
// by the difference; when it is not known, the iris is first driven home (closed).
// 0, or -1 for a duty out of range or a GPIO failure.
int STEPPER_set_piris_duty(uint32_t duty);
// 1 while the axis is moving, 0 when idle, -1 for an unknown axis.
int STEPPER_check_busy(uint32_t axis);
// Releases the coils of every axis; 0, or -1 when a line could not be driven.
int STEPPER_close(void);
}

// Tests keep the state elsewhere.
void stepper_set_state_path(const char* path);
// The time of one half step; tests run without waiting.
void stepper_set_step_period_us(unsigned int us);
