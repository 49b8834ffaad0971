// SPDX-License-Identifier: Apache-2.0
#include "modules/tq_drvboard.h"

#include <getopt.h>
#include <stdlib.h>
#include <string.h>

#include "framework/test.h"
#include "modules/tq_shm.h"
#include "osa/osa.h"

// `debug -M <module> -m a b c d`: the only form in which -m carries a motor step.
#define DRVBOARD_MOTOR_STEP_ARGC 8
#define DRVBOARD_NO_DIRECTION (-1)

// atoi as the service's scripts expect it (non-numbers give 0), without atoi's
// undefined behaviour for numbers beyond int.
static int drvboard_atoi(const char* text) {
    return static_cast<int>(strtol(text, nullptr, 10));
}

// What options leave aside for the steps after the last option.
struct drvboard_pending {
    int pan_step = 0;
    int tilt_step = 0;
    int direction = DRVBOARD_NO_DIRECTION;
    int heat_pair = 0;
    int fan_pair = 0;
    int current_pair = 0;
    int light_pair = 0;
    int wiegand_pair = 0;
    int pwm_run = 0;
    int pwm_idle = 0;
};

// The record holds one command: a later option's command replaces an earlier one.
static void store_command(pt_shm_cmd& rec, int cmd) {
    rec.valid = 1;
    rec.status = 0;
    rec.cmd = cmd;
}

static void store_immediate(pt_shm_cmd& rec, int cmd, int value) {
    store_command(rec, cmd);
    rec.param[0] = value;
}

static void store_setting(pt_shm_cmd& rec, int sub, int value) {
    store_command(rec, DRVBOARD_CMD_SETTING);
    rec.param[0] = sub;
    rec.param[1] = value;
}

// A pair forms a command only when its options were given exactly twice in all.
static bool pair_complete(int count) {
    return count == 2;
}

static void finish_commands(pt_shm_cmd& rec, const drvboard_pending& p) {
    if (p.direction != DRVBOARD_NO_DIRECTION) {
        rec.status = 0;
        rec.cmd = DRVBOARD_CMD_STEP;
        bool pan_dir = p.direction < -9 || p.direction > 9;
        bool tilt_dir = p.direction % 10 != 0;
        rec.param[0] = pan_dir ? p.pan_step | DRVBOARD_STEP_DIR_BIT : p.pan_step;
        rec.param[1] = tilt_dir ? p.tilt_step | DRVBOARD_STEP_DIR_BIT : p.tilt_step;
        rec.valid = 1;
    }
    if (pair_complete(p.heat_pair)) {
        store_command(rec, DRVBOARD_CMD_SETTING);
        rec.param[0] = DRVBOARD_SET_HEAT_VALUES;
    }
    if (pair_complete(p.fan_pair)) {
        store_command(rec, DRVBOARD_CMD_SETTING);
        rec.param[0] = DRVBOARD_SET_FAN_VALUES;
    }
    if (pair_complete(p.light_pair)) {
        store_command(rec, DRVBOARD_CMD_LIGHTS);
    }
    if (pair_complete(p.wiegand_pair)) {
        store_command(rec, DRVBOARD_CMD_WIEGAND);
    }
    if (pair_complete(p.current_pair)) {
        store_command(rec, DRVBOARD_CMD_SETTING);
        rec.param[0] = DRVBOARD_SET_CURRENT_VALUES;
    }
    if (p.pwm_idle != 0 && p.pwm_run != 0) {
        store_command(rec, DRVBOARD_CMD_SETTING);
        rec.param[0] = DRVBOARD_SET_PWM_CURRENT;
        rec.param[1] = p.pwm_run & 0xFF;
        rec.param[2] = (p.pwm_run >> 8) & 0xFF;
        rec.param[3] = p.pwm_idle & 0xFF;
        rec.param[4] = (p.pwm_idle >> 8) & 0xFF;
    }
}

// How an option's value (atoi of its argument) is used.
enum class DrvboardUse {
    kNone,       // -M: the module was already selected
    kImmediate,  // the command `code` at once, the value in param[0]
    kSetting,    // the setting command at once, sub-command `code`, the value in param[1]
    kKeep,       // kept in `field` for the steps after the last option
    kPair,       // the value in param[`code`] at once, one more of the pair counted in `field`
    kMotorStep,  // the motor step command, only in its own form of the command line
};

struct DrvboardStep {
    char opt;
    DrvboardUse use;
    int code;
    int drvboard_pending::*field;
    const char* echo;  // "\n current of <echo>=<param[0]> \n" after the command is stored
};

// clang-format off
static const DrvboardStep kDrvboardSteps[] = {
    {'M', DrvboardUse::kNone, 0, nullptr, nullptr},
    {'w', DrvboardUse::kImmediate, DRVBOARD_CMD_TILT_CURRENT, nullptr, "tile_motor"},
    {'q', DrvboardUse::kImmediate, DRVBOARD_CMD_PAN_CURRENT, nullptr, "pan_motor"},
    {'a', DrvboardUse::kImmediate, DRVBOARD_CMD_HEAT, nullptr, nullptr},
    {'f', DrvboardUse::kImmediate, DRVBOARD_CMD_FAN, nullptr, nullptr},
    {'d', DrvboardUse::kImmediate, DRVBOARD_CMD_DEFOG, nullptr, nullptr},
    {'c', DrvboardUse::kImmediate, DRVBOARD_CMD_TEMP, nullptr, nullptr},
    {'p', DrvboardUse::kKeep, 0, &drvboard_pending::pan_step, nullptr},
    {'t', DrvboardUse::kKeep, 0, &drvboard_pending::tilt_step, nullptr},
    {'s', DrvboardUse::kKeep, 0, &drvboard_pending::direction, nullptr},
    {'i', DrvboardUse::kImmediate, DRVBOARD_CMD_QUERY_INFO, nullptr, nullptr},
    {'o', DrvboardUse::kSetting, DRVBOARD_SET_CURRENT_CTL, nullptr, nullptr},
    {'e', DrvboardUse::kSetting, DRVBOARD_SET_TEMP_CTL, nullptr, nullptr},
    {'l', DrvboardUse::kPair, 1, &drvboard_pending::heat_pair, nullptr},
    {'r', DrvboardUse::kPair, 2, &drvboard_pending::heat_pair, nullptr},
    {'u', DrvboardUse::kPair, 1, &drvboard_pending::fan_pair, nullptr},
    {'n', DrvboardUse::kPair, 2, &drvboard_pending::fan_pair, nullptr},
    {'g', DrvboardUse::kPair, 1, &drvboard_pending::current_pair, nullptr},
    {'k', DrvboardUse::kPair, 2, &drvboard_pending::current_pair, nullptr},
    {'b', DrvboardUse::kKeep, 0, &drvboard_pending::pwm_run, nullptr},
    {'j', DrvboardUse::kKeep, 0, &drvboard_pending::pwm_idle, nullptr},
    {'x', DrvboardUse::kImmediate, DRVBOARD_CMD_OBJ_DIS, nullptr, nullptr},
    {'y', DrvboardUse::kImmediate, DRVBOARD_CMD_IMAGE_DIS, nullptr, nullptr},
    {'W', DrvboardUse::kImmediate, DRVBOARD_CMD_WIPER_INFO, nullptr, nullptr},
    {'O', DrvboardUse::kImmediate, DRVBOARD_CMD_CALIBRATION, nullptr, nullptr},
    {'V', DrvboardUse::kImmediate, DRVBOARD_CMD_WIPER_VER, nullptr, nullptr},
    {'P', DrvboardUse::kImmediate, DRVBOARD_CMD_WIPER_SENSOR, nullptr, nullptr},
    {'F', DrvboardUse::kPair, 0, &drvboard_pending::light_pair, nullptr},
    {'L', DrvboardUse::kPair, 1, &drvboard_pending::light_pair, nullptr},
    {'E', DrvboardUse::kImmediate, DRVBOARD_CMD_ENDLINE, nullptr, nullptr},
    {'G', DrvboardUse::kPair, 0, &drvboard_pending::wiegand_pair, nullptr},
    {'Y', DrvboardUse::kPair, 1, &drvboard_pending::wiegand_pair, nullptr},
    {'T', DrvboardUse::kImmediate, DRVBOARD_CMD_EXT_LIGHT, nullptr, nullptr},
    {'R', DrvboardUse::kImmediate, DRVBOARD_CMD_WIEGAND_TEST, nullptr, nullptr},
    {'z', DrvboardUse::kImmediate, DRVBOARD_CMD_Z, nullptr, nullptr},
    {'m', DrvboardUse::kMotorStep, DRVBOARD_CMD_MOTOR_STEP, nullptr, nullptr},
    {'A', DrvboardUse::kImmediate, DRVBOARD_CMD_RS485, nullptr, nullptr},
};
// clang-format on

static const DrvboardStep* drvboard_step(int opt) {
    for (const DrvboardStep& step : kDrvboardSteps) {
        if (step.opt == opt) {
            return &step;
        }
    }
    return nullptr;
}

static void drvboard_apply(const DrvboardStep& step, pt_shm_cmd& rec, drvboard_pending& p, int value,
                           int argc, char** argv) {
    switch (step.use) {
        case DrvboardUse::kNone:
            break;
        case DrvboardUse::kImmediate:
            store_immediate(rec, step.code, value);
            if (step.echo != nullptr) {
                OSA_printf("\n current of %s=%d \n", step.echo, rec.param[0]);
            }
            break;
        case DrvboardUse::kSetting:
            store_setting(rec, step.code, value);
            break;
        case DrvboardUse::kKeep:
            p.*step.field = value;
            break;
        case DrvboardUse::kPair:
            rec.param[step.code] = value;
            (p.*step.field)++;
            break;
        case DrvboardUse::kMotorStep:
            if (argc == DRVBOARD_MOTOR_STEP_ARGC) {
                store_immediate(rec, step.code, value);
                rec.param[1] = drvboard_atoi(argv[argc - 3]);
                rec.param[2] = drvboard_atoi(argv[argc - 2]);
                rec.param[3] = drvboard_atoi(argv[argc - 1]);
            }
            break;
    }
}

int pt_init_param(const drvboard_module& m, int argc, char** argv) {
    drvboard_pending p;
    opterr = 0;
    optind = 0;
    int c;
    while ((c = getopt_long(argc, argv, kDrvboardOptions.short_options, kDrvboardOptions.longopts,
                            nullptr)) != -1) {
        const DrvboardStep* step = drvboard_step(c);
        if (step == nullptr) {
            OSA_ERROR(m.unit, "pt_init_param", "%s", kUnknownOption);
            drvboard_usage(m);
            test_exit_process(-1);
        }
        drvboard_apply(*step, m.record, p, drvboard_atoi(optarg), argc, argv);
    }
    finish_commands(m.record, p);
    return 0;
}

int drvboard_usage(const drvboard_module& m) {
    return print_module_usage(m.id, m.module_help, kDrvboardOptions.longopts, kDrvboardOptions.help,
                              kDrvboardOptions.help_count);
}

int drvboard_test_main(const drvboard_module& m, int argc, char** argv) {
    pt_init_param(m, argc, argv);
    return shm_hand_over(m.key, &m.record, sizeof m.record);
}
