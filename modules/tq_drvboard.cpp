#include "modules/tq_drvboard.h"

#include <getopt.h>
#include <stdlib.h>
#include <string.h>

#include "framework/test.h"
#include "modules/tq_shm.h"
#include "osa/osa.h"

#define DRVBOARD_SHORT_OPTIONS "M:w:q:a:f:d:c:p:t:s:i:o:e:l:r:u:n:g:k:b:j:x:y:W:O:V:P:F:L:E:T:R:z:m:A:"
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

int pt_init_param(const drvboard_module& m, int argc, char** argv) {
    pt_shm_cmd& rec = m.record;
    drvboard_pending p;
    opterr = 0;
    optind = 0;
    int c;
    while ((c = getopt_long(argc, argv, DRVBOARD_SHORT_OPTIONS, m.options.longopts, nullptr)) != -1) {
        switch (c) {
            case 'M':
                break;
            case 'w':
                store_immediate(rec, DRVBOARD_CMD_TILT_CURRENT, drvboard_atoi(optarg));
                OSA_printf("\n current of tile_motor=%d \n", rec.param[0]);
                break;
            case 'q':
                store_immediate(rec, DRVBOARD_CMD_PAN_CURRENT, drvboard_atoi(optarg));
                OSA_printf("\n current of pan_motor=%d \n", rec.param[0]);
                break;
            case 'a':
                store_immediate(rec, DRVBOARD_CMD_HEAT, drvboard_atoi(optarg));
                break;
            case 'f':
                store_immediate(rec, DRVBOARD_CMD_FAN, drvboard_atoi(optarg));
                break;
            case 'd':
                store_immediate(rec, DRVBOARD_CMD_DEFOG, drvboard_atoi(optarg));
                break;
            case 'c':
                store_immediate(rec, DRVBOARD_CMD_TEMP, drvboard_atoi(optarg));
                break;
            case 'p':
                p.pan_step = drvboard_atoi(optarg);
                break;
            case 't':
                p.tilt_step = drvboard_atoi(optarg);
                break;
            case 's':
                p.direction = drvboard_atoi(optarg);
                break;
            case 'i':
                store_immediate(rec, DRVBOARD_CMD_QUERY_INFO, drvboard_atoi(optarg));
                break;
            case 'o':
                store_setting(rec, DRVBOARD_SET_CURRENT_CTL, drvboard_atoi(optarg));
                break;
            case 'e':
                store_setting(rec, DRVBOARD_SET_TEMP_CTL, drvboard_atoi(optarg));
                break;
            case 'l':
                rec.param[1] = drvboard_atoi(optarg);
                p.heat_pair++;
                break;
            case 'r':
                rec.param[2] = drvboard_atoi(optarg);
                p.heat_pair++;
                break;
            case 'u':
                rec.param[1] = drvboard_atoi(optarg);
                p.fan_pair++;
                break;
            case 'n':
                rec.param[2] = drvboard_atoi(optarg);
                p.fan_pair++;
                break;
            case 'g':
                rec.param[1] = drvboard_atoi(optarg);
                p.current_pair++;
                break;
            case 'k':
                rec.param[2] = drvboard_atoi(optarg);
                p.current_pair++;
                break;
            case 'b':
                p.pwm_run = drvboard_atoi(optarg);
                break;
            case 'j':
                p.pwm_idle = drvboard_atoi(optarg);
                break;
            case 'x':
                store_immediate(rec, DRVBOARD_CMD_OBJ_DIS, drvboard_atoi(optarg));
                break;
            case 'y':
                store_immediate(rec, DRVBOARD_CMD_IMAGE_DIS, drvboard_atoi(optarg));
                break;
            case 'W':
                store_immediate(rec, DRVBOARD_CMD_WIPER_INFO, drvboard_atoi(optarg));
                break;
            case 'O':
                store_immediate(rec, DRVBOARD_CMD_CALIBRATION, drvboard_atoi(optarg));
                break;
            case 'V':
                store_immediate(rec, DRVBOARD_CMD_WIPER_VER, drvboard_atoi(optarg));
                break;
            case 'P':
                store_immediate(rec, DRVBOARD_CMD_WIPER_SENSOR, drvboard_atoi(optarg));
                break;
            case 'F':
                rec.param[0] = drvboard_atoi(optarg);
                p.light_pair++;
                break;
            case 'L':
                rec.param[1] = drvboard_atoi(optarg);
                p.light_pair++;
                break;
            case 'E':
                store_immediate(rec, DRVBOARD_CMD_ENDLINE, drvboard_atoi(optarg));
                break;
            case 'G':
                rec.param[0] = drvboard_atoi(optarg);
                p.wiegand_pair++;
                break;
            case 'Y':
                rec.param[1] = drvboard_atoi(optarg);
                p.wiegand_pair++;
                break;
            case 'T':
                store_immediate(rec, DRVBOARD_CMD_EXT_LIGHT, drvboard_atoi(optarg));
                break;
            case 'R':
                store_immediate(rec, DRVBOARD_CMD_WIEGAND_TEST, drvboard_atoi(optarg));
                break;
            case 'z':
                store_immediate(rec, DRVBOARD_CMD_Z, drvboard_atoi(optarg));
                break;
            case 'm':
                if (argc == DRVBOARD_MOTOR_STEP_ARGC) {
                    store_immediate(rec, DRVBOARD_CMD_MOTOR_STEP, drvboard_atoi(optarg));
                    rec.param[1] = drvboard_atoi(argv[argc - 3]);
                    rec.param[2] = drvboard_atoi(argv[argc - 2]);
                    rec.param[3] = drvboard_atoi(argv[argc - 1]);
                }
                break;
            case 'A':
                store_immediate(rec, DRVBOARD_CMD_RS485, drvboard_atoi(optarg));
                break;
            default:
                OSA_ERROR(m.unit, "pt_init_param", "Unknow option\n");
                drvboard_usage(m);
                test_exit_process(-1);
        }
    }
    finish_commands(rec, p);
    return 0;
}

int drvboard_usage(const drvboard_module& m) {
    static_assert(DRVBOARD_OPTION_COUNT == 36, "the usage lists all 36 options");
    return print_module_usage(m.id, m.options.longopts, m.options.help, DRVBOARD_OPTION_COUNT);
}

int drvboard_test_main(const drvboard_module& m, int argc, char** argv) {
    pt_init_param(m, argc, argv);
    return shm_hand_over(m.key, &m.record, sizeof m.record);
}
