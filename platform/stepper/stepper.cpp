// SPDX-License-Identifier: Apache-2.0
#include "platform/stepper/stepper.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include "platform/common/unique_fd.h"
#include "platform/gpio/gpio.h"

static const unsigned int kDefaultStepPeriodUs = 1000;

static const int kAxisCount = 3;
static const int kCoilCount = 4;
static const int kPhaseCount = 8;

// GPIO lines of coils A, B, C and D, by axis number.
static const int kCoilPins[kAxisCount][kCoilCount] = {
    {64, 65, 66, 67},  // focus
    {68, 69, 70, 71},  // zoom
    {72, 73, 74, 75},  // P-iris
};

static const uint32_t kMaxSteps[kAxisCount] = {
    STEPPER_FOCUS_MAX_STEPS,
    STEPPER_ZOOM_MAX_STEPS,
    STEPPER_PIRIS_MAX_STEPS,
};

// Coils A, B, C, D in each half-step phase; forward goes to the next row, back to the one before.
static const int kHalfStep[kPhaseCount][kCoilCount] = {
    {1, 0, 0, 0}, {1, 1, 0, 0}, {0, 1, 0, 0}, {0, 1, 1, 0},
    {0, 0, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 1}, {1, 0, 0, 1},
};
static const int kReleased[kCoilCount] = {0, 0, 0, 0};

// What outlives a run: the phase each rotor was last pulled into (so the next move
// goes on from there instead of jerking to phase 0) and the P-iris position.
struct MotorState {
    int phase[kAxisCount];
    int piris_position;  // half steps from closed; -1 when not known
};

static char s_state_path[128] = STEPPER_STATE_PATH;
static unsigned int s_step_period_us = kDefaultStepPeriodUs;
static bool s_busy[kAxisCount];

void stepper_set_state_path(const char* path) {
    snprintf(s_state_path, sizeof s_state_path, "%s", path != nullptr ? path : STEPPER_STATE_PATH);
}

void stepper_set_step_period_us(unsigned int us) {
    s_step_period_us = us;
}

// Anything unreadable counts as unknown: the iris is then homed, which is always safe.
static MotorState load_state() {
    const MotorState unknown = {{0, 0, 0}, -1};
    UniqueFd fd(open(s_state_path, O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return unknown;
    }
    char text[128];
    ssize_t n = read(fd.get(), text, sizeof text - 1);
    if (n <= 0) {
        return unknown;
    }
    text[n] = '\0';
    MotorState st;
    if (sscanf(text, "focus-phase=%d zoom-phase=%d piris-phase=%d piris-position=%d", &st.phase[0],
               &st.phase[1], &st.phase[2], &st.piris_position) != 4) {
        return unknown;
    }
    for (int phase : st.phase) {
        if (phase < 0 || phase >= kPhaseCount) {
            return unknown;
        }
    }
    if (st.piris_position < -1 || st.piris_position > STEPPER_PIRIS_MAX_STEPS) {
        return unknown;
    }
    return st;
}

// A state that cannot be written must not leave an older one behind to be believed.
static void save_state(const MotorState& st) {
    char text[128];
    int len = snprintf(text, sizeof text, "focus-phase=%d zoom-phase=%d piris-phase=%d piris-position=%d\n",
                       st.phase[0], st.phase[1], st.phase[2], st.piris_position);
    UniqueFd fd(open(s_state_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd || write(fd.get(), text, static_cast<size_t>(len)) != len) {
        unlink(s_state_path);
    }
}

// Every line is driven even after one failed, so a release leaves as little powered as it can.
static int drive(int axis, const int (&levels)[kCoilCount]) {
    int ret = 0;
    for (int coil = 0; coil < kCoilCount; coil++) {
        if (gpio_write(kCoilPins[axis][coil], levels[coil]) != 0) {
            ret = -1;
        }
    }
    return ret;
}

// Absolute deadlines keep the step rate fixed however long the line writes take, and a
// signal does not shorten a step (the rotor would lose it).
static void wait_step(struct timespec* deadline) {
    if (s_step_period_us == 0) {
        return;
    }
    deadline->tv_nsec += static_cast<long>(s_step_period_us) * 1000L;
    while (deadline->tv_nsec >= 1000000000L) {
        deadline->tv_nsec -= 1000000000L;
        deadline->tv_sec++;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, deadline, nullptr) == EINTR) {
    }
}

// Half steps in one direction (+1 forward, -1 back), then the coils are released so the
// motor does not heat while it stands.
static int move(MotorState* st, int axis, int dir, uint64_t steps) {
    if (steps == 0) {
        return 0;
    }
    s_busy[axis] = true;
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    int ret = 0;
    for (uint64_t i = 0; i < steps && ret == 0; i++) {
        int next = (st->phase[axis] + dir + kPhaseCount) % kPhaseCount;
        ret = drive(axis, kHalfStep[next]);
        if (ret == 0) {
            st->phase[axis] = next;
            wait_step(&deadline);
        }
    }
    if (drive(axis, kReleased) != 0) {
        ret = -1;
    }
    s_busy[axis] = false;
    return ret;
}

static int clamp_position(int64_t position) {
    if (position < 0) {
        return 0;
    }
    return position > STEPPER_PIRIS_MAX_STEPS ? STEPPER_PIRIS_MAX_STEPS : static_cast<int>(position);
}

int STEPPER_run(const motor_request* req) {
    if (req == nullptr || req->type >= kAxisCount || req->direction > STEPPER_BACK_END) {
        return -1;
    }
    const int axis = static_cast<int>(req->type);
    const uint64_t max = kMaxSteps[axis];
    const bool to_end = req->direction == STEPPER_FORWARD_END || req->direction == STEPPER_BACK_END;
    const uint64_t steps = to_end || req->steps > max ? max : req->steps;
    const int dir = req->direction == STEPPER_FORWARD || req->direction == STEPPER_FORWARD_END ? 1 : -1;

    MotorState st = load_state();
    int position = st.piris_position;
    if (axis == STEPPER_PIRIS) {
        if (to_end) {
            position = dir > 0 ? STEPPER_PIRIS_MAX_STEPS : 0;
        } else if (position >= 0) {
            position = clamp_position(position + dir * static_cast<int64_t>(steps));
        }
        // Until the move is over, a crash must leave the position unknown, not stale.
        st.piris_position = -1;
        save_state(st);
    }
    int ret = move(&st, axis, dir, steps);
    if (axis == STEPPER_PIRIS) {
        st.piris_position = ret == 0 ? position : -1;
    }
    save_state(st);
    return ret;
}

int STEPPER_set_piris_duty(uint32_t duty) {
    if (duty > STEPPER_PIRIS_MAX_STEPS) {
        return -1;
    }
    MotorState st = load_state();
    int position = st.piris_position;
    st.piris_position = -1;
    save_state(st);
    int ret = 0;
    if (position < 0) {
        // Closing over the whole travel ends on the stop whatever the start was.
        ret = move(&st, STEPPER_PIRIS, -1, STEPPER_PIRIS_MAX_STEPS);
        position = 0;
    }
    if (ret == 0) {
        int diff = static_cast<int>(duty) - position;
        ret = move(&st, STEPPER_PIRIS, diff > 0 ? 1 : -1, static_cast<uint64_t>(diff > 0 ? diff : -diff));
    }
    st.piris_position = ret == 0 ? static_cast<int>(duty) : -1;
    save_state(st);
    return ret;
}

int STEPPER_check_busy(uint32_t axis) {
    if (axis >= kAxisCount) {
        return -1;
    }
    return s_busy[axis] ? 1 : 0;
}

int STEPPER_close(void) {
    int ret = 0;
    for (int axis = 0; axis < kAxisCount; axis++) {
        if (drive(axis, kReleased) != 0) {
            ret = -1;
        }
    }
    return ret;
}
