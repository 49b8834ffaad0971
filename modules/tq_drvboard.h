// SPDX-License-Identifier: Apache-2.0
// What the extdrv and pt modules share: the command record handed to the driver-board
// service, the option table, the parser and the write into the service's segment.
// Each of the two modules keeps its own record, key, id and unit name.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "framework/module.h"
#include "framework/usage.h"

// The wire format the driver-board service reads: 13 native int32, no padding.
struct pt_shm_cmd {
    int32_t valid;  // 1 when a command was stored
    int32_t status;
    int32_t cmd;  // 100 to 123
    int32_t param[10];
};
static_assert(sizeof(pt_shm_cmd) == 52, "the service reads exactly 52 bytes");
static_assert(offsetof(pt_shm_cmd, valid) == 0, "valid at 0");
static_assert(offsetof(pt_shm_cmd, status) == 4, "status at 4");
static_assert(offsetof(pt_shm_cmd, cmd) == 8, "cmd at 8");
static_assert(offsetof(pt_shm_cmd, param) == 12, "param[0] at 12");

#define DRVBOARD_OPTION_COUNT 36

// Command codes, as the service knows them (108 is not used).
enum {
    DRVBOARD_CMD_FAN = 100,
    DRVBOARD_CMD_HEAT = 101,
    DRVBOARD_CMD_DEFOG = 102,
    DRVBOARD_CMD_TEMP = 103,
    DRVBOARD_CMD_STEP = 104,
    DRVBOARD_CMD_OBJ_DIS = 105,
    DRVBOARD_CMD_IMAGE_DIS = 106,
    DRVBOARD_CMD_QUERY_INFO = 107,
    DRVBOARD_CMD_SETTING = 109,
    DRVBOARD_CMD_PAN_CURRENT = 110,
    DRVBOARD_CMD_TILT_CURRENT = 111,
    DRVBOARD_CMD_WIPER_INFO = 112,
    DRVBOARD_CMD_CALIBRATION = 113,
    DRVBOARD_CMD_WIPER_VER = 114,
    DRVBOARD_CMD_WIPER_SENSOR = 115,
    DRVBOARD_CMD_LIGHTS = 116,
    DRVBOARD_CMD_ENDLINE = 117,
    DRVBOARD_CMD_WIEGAND = 118,
    DRVBOARD_CMD_EXT_LIGHT = 119,
    DRVBOARD_CMD_WIEGAND_TEST = 120,
    DRVBOARD_CMD_Z = 121,
    DRVBOARD_CMD_MOTOR_STEP = 122,
    DRVBOARD_CMD_RS485 = 123,
};

// Sub-commands of DRVBOARD_CMD_SETTING, in param[0] (2 is not used).
enum {
    DRVBOARD_SET_CURRENT_CTL = 1,
    DRVBOARD_SET_TEMP_CTL = 3,
    DRVBOARD_SET_PWM_CURRENT = 4,
    DRVBOARD_SET_HEAT_VALUES = 5,
    DRVBOARD_SET_FAN_VALUES = 6,
    DRVBOARD_SET_CURRENT_VALUES = 7,
};

// The direction bit of a step count in a step command.
#define DRVBOARD_STEP_DIR_BIT 0x800000

// The letters in the short-option string that have no row.
#define DRVBOARD_SHORT_ONLY "z:"

// Both modules' option table: they differ only in the -M row's help text, which each
// module gives its usage (drvboard_module). Rows from -V on have no help text of their
// own: the usage lists them by name only. The service's scripts know -G and -Y only in
// their long forms (as short options they are unknown), and -z only in its short form:
// it has no long name, no row.
// clang-format off
inline constexpr auto kDrvboardOptions = option_table(nullptr, {
    {"titl_i", required_argument, 'w', "0~31", "0 is min   ,31is max"},
    {"pan_i", required_argument, 'q', "0~31", "0 is min   ,31is max"},
    {"heat", required_argument, 'a', "0~1", "0 is close ,1 is open default:0"},
    {"fan", required_argument, 'f', "0~1", "0 is close ,1 is open default:0"},
    {"defog", required_argument, 'd', "0~1", "0 is close ,1 is open default:0"},
    {"temp", required_argument, 'c', "0~10000", "the time_cnt for printf temp(1s)"},
    {"pan_param", required_argument, 'p', "0~10000", "the pan_step will be set default:0"},
    {"tilt_param", required_argument, 't', "0~10000", "the tilt_step will be set default:0"},
    {"set_step", required_argument, 's', "00~11", "XY == (X=P_dir Y=T_dir) set dir and start run step"},
    {"query_info", required_argument, 'i', "1~10", "1==(version) 2==(oc_off) 3 = (oc_value) 4==(temp_Info)"},
    {"set_corrent", required_argument, 'o', "0~1", "0 = open 1= close"},
    {"set_temp_ctl", required_argument, 'e', "0~1", "0 = open 1= close"},
    {"set_heat_open_value", required_argument, 'l', "0~50", "default(28)"},
    {"set_heat_close_value", required_argument, 'r', "0~50", "default(30)"},
    {"set_fan_open_value", required_argument, 'u', "0~100", "real value need cut off 50 ; default(-5)"},
    {"set_fan_close_value", required_argument, 'n', "0~100", "real value need cut off 50 ; default(-8)"},
    {"set_current_up_value", required_argument, 'g', "0~100", "real value need cut off 50 ; default(-5)"},
    {"set_current_down_value", required_argument, 'k', "0~100", "real value need cut off 50 ; default(-10)"},
    {"set pwm_run", required_argument, 'b', "1200~2000", "set electric,current running"},
    {"set pwm_idle", required_argument, 'j', "1200~2000", "set electric,current idle"},
    {"set obj_dis", required_argument, 'x', "0~10000", "set image_dis"},
    {"set image_dis", required_argument, 'y', "1200~2000", "setobj_dis"},
    {"query_wiper_info", required_argument, 'W', "0-1", "set test wiegand mode"},
    {"calibration qx300_optical_sys", required_argument, 'O', "", ""},
    {"query_wiper_ver", required_argument, 'V', "", ""},
    {"query_wiper_sensor_vsn", required_argument, 'P', "", ""},
    {"set LIGHT1", required_argument, 'F', "", ""},
    {"set LIGHT2", required_argument, 'L', "", ""},
    {"SELECT HAVE OR NONE ENDLINE", required_argument, 'E', "", ""},
    {"set wie HID", required_argument, 'G', "", "", false},
    {"set wie PID", required_argument, 'Y', "", "", false},
    {"set ext LIGHT", required_argument, 'T', "", ""},
    {"test wiegand mode", required_argument, 'R', "", ""},
    {"control motor run step", required_argument, 'm', "", ""},
    {"test rs485", required_argument, 'A', "", ""},
}, DRVBOARD_SHORT_ONLY);
// clang-format on
static_assert(kDrvboardOptions.help_count == DRVBOARD_OPTION_COUNT, "the usage lists every option");

// What tells the two modules apart.
struct drvboard_module {
    const char* unit;  // source unit named in error reports
    unsigned int id;
    key_t key;
    const char* module_help;  // the -M row's help text
    pt_shm_cmd& record;
};

// Parses the whole vector into the module's record; an unknown option or a missing
// argument is reported, the usage printed and the process ended with status 255.
int pt_init_param(const drvboard_module& m, int argc, char** argv);
int drvboard_usage(const drvboard_module& m);
// Parses, then hands the record to the service; -1 when the segment cannot be had or
// let go of.
int drvboard_test_main(const drvboard_module& m, int argc, char** argv);

// The rest of a driver-board module once its data stand: the run and usage operations
// the registry calls (X_test_main, X_usage) over its drvboard_module, its record with no
// exit operation, and its registration. The short options come from the constant table
// itself so that the record is complete before any constructor registers it.
#define DRVBOARD_MODULE(X, id, module)                 \
    static int X##_usage(void) {                       \
        return drvboard_usage(module);                 \
    }                                                  \
    static int X##_test_main(int argc, char** argv) {  \
        return drvboard_test_main(module, argc, argv); \
    }                                                  \
    MODULE_REGISTRATION(X, id, nullptr, kDrvboardOptions)
