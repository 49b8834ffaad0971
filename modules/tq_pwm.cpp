// SPDX-License-Identifier: Apache-2.0
// pwm: reads the state of one PWM channel or programs its period and duty.
#include <getopt.h>
#include <stdint.h>
#include <stdlib.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/pwm/pwm.h"

#define PWM_MODULE_ID 4

enum PwmAction { PWM_ACTION_NONE = 0, PWM_ACTION_READ = 1, PWM_ACTION_WRITE = 2 };

struct pwm_params {
    int32_t channel;
    int32_t duty;    // tenths of a percent
    int32_t period;  // nanoseconds
    int32_t enable;  // 0 forces the duty to 0; not passed on
};

static pwm_params pwm_param = {0, 500, 100000, 1};

// clang-format off
constexpr auto kPwmOptions = option_table("module name: pwm", {
    {"channel", required_argument, 'c', "0~PWM_MAX_CHN", "select pwm channel (default is 0)"},
    {"duty", required_argument, 'd', "1~1000", "specify duty ratio (0.1% ~ 99.9%), (defalut 500)"},
    {"period", required_argument, 'p', "2~12M", "specify period, (defalut 100K)"},
    {"enable", required_argument, 'e', "0~1", "enable switch."},
});
// clang-format on

// atoi as the C library gives it (decimal, stops at the first non-digit), without
// atoi's undefined result for numbers out of range.
static int32_t pwm_number(const char* text) {
    return static_cast<int32_t>(strtol(text, nullptr, 10));
}

static int pwm_usage(void) {
    print_module_usage(PWM_MODULE_ID, kPwmOptions);
    OSA_printf("\nNotice:\n");
    OSA_printf("\tUse lsmod to make sure pwm module has been installed.\n");
    OSA_printf("\n");
    return 0;
}

static int s_pwm_action;

static const char* pwm_option(int opt, const char* arg) {
    switch (opt) {
        case 'c':
            s_pwm_action = PWM_ACTION_READ;
            pwm_param.channel = pwm_number(arg);
            return pwm_param.channel < 0 ? "Error pwm channel\n" : nullptr;
        case 'd':
            s_pwm_action = PWM_ACTION_WRITE;
            pwm_param.duty = pwm_number(arg);
            return pwm_param.duty <= 0 ? "Error pwm duty\n" : nullptr;
        case 'p':
            s_pwm_action = PWM_ACTION_WRITE;
            pwm_param.period = pwm_number(arg);
            return pwm_param.period <= 0 ? "Error pwm period\n" : nullptr;
        case 'e':
            s_pwm_action = PWM_ACTION_WRITE;
            pwm_param.enable = pwm_number(arg);
            if (pwm_param.enable == 0) {
                pwm_param.duty = 0;
            }
            return pwm_param.enable != 0 && pwm_param.enable != 1 ? "Error pwm period, must be [0-1]\n"
                                                                  : nullptr;
        default:
            return nullptr;
    }
}

static int pwm_init_param(int argc, char** argv) {
    s_pwm_action = PWM_ACTION_NONE;
    opterr = 0;
    if (option_parse(argc, argv, kPwmOptions, pwm_option, {"tq_pwm", "pwm_init_param", pwm_usage}) != 0) {
        test_exit_process(-1);
    }
    return s_pwm_action;
}

static int pwm_test_main(int argc, char** argv) {
    int action = pwm_init_param(argc, argv);
    // The library's results: a channel that could not be read or programmed would
    // otherwise look, to a script, exactly like one that was.
    if (action == PWM_ACTION_READ) {
        if (pwm_read(pwm_param.channel) != 0) {
            OSA_ERROR("tq_pwm", "pwm_test_main", "pwm_read channel %d faild!\n", pwm_param.channel);
        }
    } else if (action == PWM_ACTION_WRITE) {
        if (pwm_write(pwm_param.channel, pwm_param.period, pwm_param.duty) != 0) {
            OSA_ERROR("tq_pwm", "pwm_test_main", "pwm_write channel %d faild!\n", pwm_param.channel);
        }
    } else {
        // Nothing asked of the module: show what it can do.
        pwm_usage();
    }
    return 0;
}

MODULE_REGISTRATION(pwm, PWM_MODULE_ID, pwm_close, kPwmOptions)
