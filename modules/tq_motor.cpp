// SPDX-License-Identifier: Apache-2.0
// The lens motors: at most one P-iris duty move while the options are read, then one
// stepper run built from them.
#include <getopt.h>
#include <stddef.h>
#include <stdlib.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/stepper/stepper.h"

#define MOTOR_MODULE_ID 9

static const char kUnit[] = "tq_motor";
static const unsigned int kBusyPollMs = 5;

// The stepper library reads the record by this layout.
static_assert(sizeof(motor_request) == 24, "motor request record is 24 bytes");
static_assert(offsetof(motor_request, type) == 0, "type at 0");
static_assert(offsetof(motor_request, direction) == 4, "direction at 4");
static_assert(offsetof(motor_request, steps) == 8, "steps at 8");
static_assert(offsetof(motor_request, reserved) == 16, "reserved at 16");

static motor_request s_motor_request = {STEPPER_FOCUS, STEPPER_FORWARD, 10, {}};

// clang-format off
constexpr auto kMotorOptions = option_table("module name: motor", {
    {"type", required_argument, 't', "digit", "motor type, default[0]:focus"},
    {"dir", required_argument, 'd', "digit", "motor directory, default[0]:forward , value[0:forward]"},
    {"step", required_argument, 's', "digit", "motor run steps, default[10]"},
    {"init", required_argument, 'i', "digit", "motor initial"},
    {"piris", required_argument, 'p', "digit", "P-iris target duty"},
});
// clang-format on

static int motor_usage(void) {
    print_module_usage(MOTOR_MODULE_ID, kMotorOptions);
    OSA_puts("MOTOR arguments: ");
    OSA_puts("type:");
    OSA_puts("    [0]: focus, [1]: zoom, [2]: p-iris");
    OSA_puts("dir:");
    OSA_puts("    [0]: forward, [1]: back ");
    OSA_puts("step:");
    OSA_puts("    motor run steps");
    OSA_printf("    For zoom: max steps = %u\n", STEPPER_ZOOM_MAX_STEPS);
    OSA_printf("    For focus: max steps = %u\n", STEPPER_FOCUS_MAX_STEPS);
    OSA_printf("    For piris: max steps = %u\n", STEPPER_PIRIS_MAX_STEPS);
    OSA_puts("piris:");
    OSA_printf("    motor set p-iris duty[0-%u].\n", STEPPER_PIRIS_MAX_STEPS);
    OSA_printf("\n");
    return 0;
}

// Sets the target and waits for the axis, as the library may move it in the background.
// The command goes on if the iris cannot be moved, but the technician hears of it.
static void motor_piris_move(uint32_t duty) {
    if (STEPPER_set_piris_duty(duty) != 0) {
        OSA_ERROR(kUnit, "motor_piris_move", "STEPPER_set_piris_duty(%u) failed, the P-iris did not move\n",
                  duty);
    }
    do {
        OSA_sleepMillis(kBusyPollMs);
    } while (STEPPER_check_busy(STEPPER_PIRIS) != 0);
}

// -t, -d and -p are read by option_number; -s keeps all 64 bits of strtoul in base 0,
// as a step count may exceed 32 bits.
static const char* motor_option(int opt, const char* arg) {
    switch (opt) {
        case 't':
            s_motor_request.type = option_number(arg);
            return s_motor_request.type > STEPPER_PIRIS ? "Error motor type!\n" : nullptr;
        case 'd':
            s_motor_request.direction = option_number(arg);
            return s_motor_request.direction > STEPPER_BACK_END ? "Error motor directory!\n" : nullptr;
        case 's':
            s_motor_request.steps = static_cast<uint64_t>(strtoul(arg, nullptr, 0));
            return nullptr;
        case 'p': {
            const int32_t duty = static_cast<int32_t>(option_number(arg));
            if (duty < 0 || duty > STEPPER_PIRIS_MAX_STEPS) {
                return "Error P-iris duty!\n";
            }
            motor_piris_move(static_cast<uint32_t>(duty));
            return nullptr;
        }
        default:
            return nullptr;
    }
}

static int motor_init_param(int argc, char** argv) {
    if (option_parse(argc, argv, kMotorOptions, motor_option, {kUnit, "motor_init_param", motor_usage}) !=
        0) {
        test_exit_process(-1);
    }
    return 0;
}

static int motor_test_main(int argc, char** argv) {
    motor_init_param(argc, argv);
    if (STEPPER_run(&s_motor_request) != 0) {
        OSA_ERROR(kUnit, "motor_test_main", "STEPPER_run failed! \n");
    }
    STEPPER_close();
    return 0;
}

MODULE_REGISTRATION(motor, MOTOR_MODULE_ID, nullptr, kMotorOptions)
