// SPDX-License-Identifier: Apache-2.0
// ir: endurance test of the IR-cut filter, switched back and forth with a fixed pause.
#include <getopt.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/gpio/gpio.h"

#define IR_MODULE_ID 15
#define IR_RESULT_SIZE 1024
// -t -1: switch until stopped.
#define IR_TIMES_UNLIMITED 0xFFFFFFFFu

enum IrMode {
    IR_MODE_LED_ON = 0,    // IR LED on, IR-cut switched
    IR_MODE_LED_OFF = 1,   // IR LED off, IR-cut switched
    IR_MODE_SAME = 2,      // IR LED switched with the IR-cut, same level
    IR_MODE_OPPOSITE = 3,  // IR LED switched with the IR-cut, opposite level
};

struct ir_params {
    uint32_t mode;
    uint32_t delay;  // milliseconds after each switch
    uint32_t times;  // switches still to do
};

static ir_params ir_param = {IR_MODE_LED_ON, 500, 10};

// clang-format off
constexpr auto kIrOptions = option_table("module name: IR", {
    {"ir-led", required_argument, 'l', "hex", "set IR-led status"},
    {"ir-cut", required_argument, 'c', "hex", "set IR-cut status"},
    {"mode", required_argument, 'm', "digit", "IR test mode"},
    {"time", required_argument, 't', "digit", "IR opration times, default 10, [-1] means no timeout"},
    {"delay", required_argument, 'd', "digit", "IR opration delay [n]ms, n>0, default 500"},
});
// clang-format on

static int ir_usage(void) {
    print_module_usage(IR_MODULE_ID, kIrOptions);
    OSA_puts("\nIR test mode: ");
    OSA_printf("IR-led on, switch IR-cut \n");
    OSA_printf(
        "IR-led off, switch IR-cut \nswitch IR-cut and IR-led, on the same\nswitch IR-cut and IR-led, "
        "diffrent "
        "each other\n");
    return 0;
}

// Numbers as option_number reads them, so that "-1" is all bits set. -M selected the
// module; -l and -c are accepted and change nothing.
static const char* ir_option(int opt, const char* arg) {
    switch (opt) {
        case 'm':
            ir_param.mode = option_number(arg);
            return ir_param.mode > IR_MODE_OPPOSITE ? "Invalid mode value." : nullptr;
        case 't':
            ir_param.times = option_number(arg);
            return nullptr;
        case 'd':
            ir_param.delay = option_number(arg);
            return ir_param.delay == 0 ? "Invalid delay value." : nullptr;
        default:
            return nullptr;
    }
}

static int ir_init_param(int argc, char** argv) {
    if (option_parse(argc, argv, kIrOptions, ir_option, {"tq_ir", "ir_init_param", ir_usage}) != 0) {
        test_exit_process(-1);
    }
    return 0;
}

// A line that cannot be switched leaves the result text as it is (factory scripts read
// "success"), but the technician hears of it on standard error, once per line and run,
// at the first write that fails.
static void ir_line_set(int index, int level, const char* function, const char* what, bool& reported) {
    if (gpio_write(extGpio[index], level) != 0 && !reported) {
        reported = true;
        OSA_ERROR("tq_ir", function, "%s line %d cannot be switched, it did not move\n", what,
                  extGpio[index]);
    }
}

static void ir_cut_set(int level) {
    static bool reported = false;
    ir_line_set(EXT_GPIO_IR_CUT, level, "ir_cut_set", "IR-cut", reported);
}

static void ir_led_set(int level) {
    static bool reported = false;
    ir_line_set(EXT_GPIO_IR_LED, level, "ir_led_set", "IR LED", reported);
}

static int ir_test_main(int argc, char** argv) {
    ir_init_param(argc, argv);

    char date[64] = "";
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr || asctime_r(&local, date) == nullptr) {
        date[0] = '\0';
    }
    int start = OSA_getTimeMs();

    if (ir_param.mode == IR_MODE_LED_ON || ir_param.mode == IR_MODE_LED_OFF) {
        ir_led_set(ir_param.mode == IR_MODE_LED_ON ? 1 : 0);
    }
    int level = 0;
    while (g_exit_flag == 0 && ir_param.times != 0) {
        if (ir_param.times != IR_TIMES_UNLIMITED) {
            ir_param.times--;
        }
        // The LED moves together with the IR-cut, so both end in step whenever the
        // loop stops.
        if (ir_param.mode == IR_MODE_SAME) {
            ir_led_set(level);
        } else if (ir_param.mode == IR_MODE_OPPOSITE) {
            ir_led_set(!level);
        }
        ir_cut_set(level);
        level = !level;
        OSA_sleepMillis(ir_param.delay);
    }

    int end = OSA_getTimeMs();
    int seconds = static_cast<int32_t>(static_cast<uint32_t>(end) - static_cast<uint32_t>(start)) / 1000;

    static char result[IR_RESULT_SIZE];
    snprintf(result, sizeof result, "Test date: %s\t IR-cut result: success\n\t use time: %ds \n", date,
             seconds);
    OSA_log(result, static_cast<uint32_t>(strlen(result)));
    snprintf(result, sizeof result,
             "\033[0;32mTest date: %s\t IR-cut result: success\n\t use time: %ds \n\033[0;39m \n", date,
             seconds);
    OSA_printf("%s", result);
    return 0;
}

MODULE_REGISTRATION(ir, IR_MODULE_ID, nullptr, kIrOptions)
