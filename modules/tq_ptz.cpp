// SPDX-License-Identifier: Apache-2.0
// The pan-tilt-zoom head: preset operations while the options are read, then one
// command left running for a while, or the scripted test of all movements.
#include <getopt.h>
#include <stdint.h>
#include <stdlib.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/ptz/ptz.h"

#define PTZ_MODULE_ID 7

static const char kUnit[] = "tq_ptz";
static const uint32_t kTestAll = 117;
static const uint32_t kAutoScanSeconds = 15;

struct ptz_param {
    uint32_t command;  // a pt_run number, or kTestAll
    uint32_t baudrate;
    uint32_t protocol;
    uint32_t speed1;
    uint32_t speed2;
    uint32_t delay;  // seconds a command runs before the module goes on
};

static ptz_param s_ptz_param = {kTestAll, 9600, PT_PELCO_D, 38, 38, 50};

static const uint32_t kBaudRates[] = {2400, 4800, 9600, 19200};
static const uint32_t kMaxSpeedOption = 9;

// What an option word may select.
static const uint32_t kCommandSet[] = {
    PT_UP,        PT_DOWN,      PT_LEFT,       PT_RIGHT,       PT_UP_LEFT,   PT_DOWN_RIGHT,
    PT_DOWN_LEFT, PT_UP_RIGHT,  PT_IRIS_IN,    PT_IRIS_OUT,    PT_ZOOM_IN,   PT_ZOOM_OUT,
    PT_FOCUS_IN,  PT_FOCUS_OUT, PT_AUTO_FOCUS, PT_RESET_FOCUS, PT_AUTO_SCAN, PT_LIGHT_ON,
    PT_LIGHT_OFF, PT_BRUSH_ON,  PT_BRUSH_OFF,  PT_STOP,
};

static const uint32_t kTestAllSequence[] = {
    PT_UP,         PT_DOWN,    PT_UP,        PT_LEFT,     PT_RIGHT,     PT_LEFT,     PT_UP_RIGHT,
    PT_DOWN_RIGHT, PT_UP_LEFT, PT_DOWN_LEFT, PT_LIGHT_ON, PT_LIGHT_OFF, PT_BRUSH_ON, PT_BRUSH_OFF,
};

// Options 10 to 29 have no short form: their values are the command numbers they select.
// clang-format off
constexpr auto kPtzOptions = option_table("module name: ptz", {
    {"delay", required_argument, 'd', "digit", "Set ptz run delay [n]s, default [5]s"},
    {"speed", required_argument, 'S', "digit", "Set ptz speed percentage[0 - 100] default 50"},
    {"baudrate", required_argument, 'B', "digit", "Set rs485 baudrate default[9600] [2400 4800 9600 19200]"},
    {"protocol", required_argument, 'P', "digit", "Set ptz protocol default[0], 0: PELCO_D, 1: PELCO_P"},
    {"spreset", required_argument, 's', "digit", "Set ptz preset position"},
    {"cpreset", required_argument, 'c', "digit", "Clean ptz preset position"},
    {"gpreset", required_argument, 'g', "digit", "Goto ptz preset position"},
    {"testall", no_argument, 't', "", "PTZ test all function, default will test all"},
    {"up", no_argument, PT_UP, "", "PTZ run top"},
    {"upleft", no_argument, PT_UP_LEFT, "", "PTZ run top left"},
    {"upright", no_argument, PT_UP_RIGHT, "", "PTZ run top right"},
    {"down", no_argument, PT_DOWN, "", "PTZ run bottom "},
    {"downleft", no_argument, PT_DOWN_LEFT, "", "PTZ run bottom left"},
    {"downright", no_argument, PT_DOWN_RIGHT, "", "PTZ run bottom right"},
    {"auto", no_argument, PT_AUTO_SCAN, "", "PTZ run auto scanning"},
    {"stop", no_argument, PT_STOP, "", "PTZ stop running all"},
    {"zoomin", no_argument, PT_ZOOM_IN, "", "PTZ run zoom in"},
    {"zoomout", no_argument, PT_ZOOM_OUT, "", "PTZ run zoom out"},
    {"irisin", no_argument, PT_IRIS_IN, "", "PTZ run iris in"},
    {"irisout", no_argument, PT_IRIS_OUT, "", "PTZ run iris out"},
    {"focusin", no_argument, PT_FOCUS_IN, "", "PTZ run focus in"},
    {"focusout", no_argument, PT_FOCUS_OUT, "", "PTZ run focus out"},
    {"autofocus", no_argument, PT_AUTO_FOCUS, "", "PTZ run auto focus"},
    {"rstfocus", no_argument, PT_RESET_FOCUS, "", "PTZ run reset focus"},
    {"lightoff", no_argument, PT_LIGHT_OFF, "", "PTZ run light off"},
    {"lighton", no_argument, PT_LIGHT_ON, "", "PTZ run light on"},
    {"brushoff", no_argument, PT_BRUSH_OFF, "", "PTZ run brush off"},
    {"brushon", no_argument, PT_BRUSH_ON, "", "PTZ run brush on"},
});
// clang-format on

static int ptz_usage(void) {
    return print_module_usage(PTZ_MODULE_ID, kPtzOptions);
}

static bool ptz_is_command(int value) {
    for (uint32_t command : kCommandSet) {
        if (static_cast<int>(command) == value) {
            return true;
        }
    }
    return false;
}

static bool ptz_is_baudrate(uint32_t value) {
    for (uint32_t rate : kBaudRates) {
        if (rate == value) {
            return true;
        }
    }
    return false;
}

// A frame the library could not send (no port, a port that takes nothing) is reported:
// the head cannot answer, so nothing else would tell the technician.
static int ptz_sent(int result, const char* function, const char* call, uint32_t value) {
    if (result != 0) {
        OSA_ERROR(kUnit, function, "%s(%u) failed, no frame sent on %s\n", call, value, PT_PORT_PATH);
    }
    return result;
}

static void ptz_preset(const char* text, int (*call)(unsigned int), const char* name) {
    uint32_t n = option_number(text);
    ptz_sent(call(n), "ptz_init_param", name, n);
}

// Numbers as option_number reads them: negative text wraps to large values.
static const char* ptz_option(int opt, const char* arg) {
    switch (opt) {
        case 'S':
            s_ptz_param.speed1 = s_ptz_param.speed2 = option_number(arg);
            if (s_ptz_param.speed1 > kMaxSpeedOption) {
                return "Error speed!\r\n";
            }
            s_ptz_param.speed1++;
            s_ptz_param.speed2++;
            return nullptr;
        case 'B':
            s_ptz_param.baudrate = option_number(arg);
            return ptz_is_baudrate(s_ptz_param.baudrate) ? nullptr : "Error baudrate!\r\n";
        case 'P':
            s_ptz_param.protocol = option_number(arg);
            return s_ptz_param.protocol == PT_PELCO_D || s_ptz_param.protocol == PT_PELCO_P
                       ? nullptr
                       : "Error procotol\r\n";
        case 's':
            ptz_preset(arg, pt_set_preset, "pt_set_preset");
            return nullptr;
        case 'c':
            ptz_preset(arg, pt_remove_preset, "pt_remove_preset");
            return nullptr;
        case 'g':
            ptz_preset(arg, pt_go_preset, "pt_go_preset");
            return nullptr;
        case 't':
            s_ptz_param.command = kTestAll;
            return nullptr;
        case 'M':
        case 'd':
            return nullptr;
        default:
            if (!ptz_is_command(opt)) {
                return kUnknownOption;
            }
            s_ptz_param.command = static_cast<uint32_t>(opt);
            return nullptr;
    }
}

static int ptz_init_param(int argc, char** argv) {
    if (option_parse(argc, argv, kPtzOptions, ptz_option, {kUnit, "ptz_init_param", ptz_usage}) != 0) {
        test_exit_process(-1);
    }
    return 0;
}

// Whole seconds, looking at the stop flag before each; a signal also ends the sleep in
// progress, so an interrupt is seen within a second.
static int ptz_wait(uint32_t seconds) {
    for (uint32_t i = 0; i < seconds; i++) {
        if (g_exit_flag) {
            return -1;
        }
        OSA_sleepMillis(1000);
    }
    return 0;
}

// A command that never reached the head is not waited for: the sequence ends there
// instead of standing still for minutes.
static int ptz_run(uint32_t command, const char* function) {
    return ptz_sent(pt_run(command), function, "pt_run", command);
}

static void ptz_test_all(void) {
    for (uint32_t command : kTestAllSequence) {
        if (ptz_run(command, "ptz_test_all") != 0 || ptz_wait(s_ptz_param.delay) != 0) {
            return;
        }
    }
    if (ptz_run(PT_AUTO_SCAN, "ptz_test_all") == 0) {
        ptz_wait(kAutoScanSeconds);
    }
}

static int ptz_test_main(int argc, char** argv) {
    pt_set_speed(s_ptz_param.speed1, s_ptz_param.speed2);
    ptz_init_param(argc, argv);
    if (s_ptz_param.command == kTestAll) {
        ptz_test_all();
    } else if (ptz_run(s_ptz_param.command, "ptz_test_main") == 0) {
        ptz_wait(s_ptz_param.delay);
    }
    pt_tty_deinit(1);
    return 0;
}

MODULE_REGISTRATION(ptz, PTZ_MODULE_ID, nullptr, kPtzOptions)
