// SPDX-License-Identifier: Apache-2.0
// gpio: reads, writes or configures as an input one GPIO line of the board.
#include <getopt.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "framework/module.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/gpio/gpio.h"

#define GPIO_MODULE_ID 3
// Lines the board has for writing and configuring; reads take any number.
#define GPIO_ID_MAX 127
#define GPIO_QUOTE(x) #x
#define GPIO_TEXT(x) GPIO_QUOTE(x)

enum GpioOp { GPIO_OP_READ = 0, GPIO_OP_WRITE = 1, GPIO_OP_INPUT_CONFIG = 2 };

struct gpio_cfg {
    int32_t op;
    int32_t id;
    int32_t value;
    int32_t times;  // stored only
    int32_t delay;  // stored only
};

static gpio_cfg g_gpio_cfg;

// clang-format off
constexpr auto kGpioOptions = option_table("module name: gpio", {
    {"read", required_argument, 'r', "hex", "read gpio id, default[system_reset]"},
    {"write", required_argument, 'w', "hex", "write gpio id, default[system_reset]"},
    {"data", required_argument, 'd', "data", "data to written, defalut [0x0]"},
    {"time", required_argument, 't', "digit", "gpio opration times, default 1, [-1] means no timeout"},
    {"delay", required_argument, 'D', "digit", "gpio opration delay [n]s, n>0, default 1"},
    {"input_config", required_argument, 'p', "config", "gpio input config"},
});
// clang-format on

static int gpio_usage(void) {
    return print_module_usage(GPIO_MODULE_ID, kGpioOptions);
}

// Sets the line and the operation; writing and configuring are checked against the
// lines the board has.
static const char* gpio_select(int32_t op, uint32_t id) {
    g_gpio_cfg.op = op;
    g_gpio_cfg.id = static_cast<int32_t>(id);
    return op != GPIO_OP_READ && id > GPIO_ID_MAX ? "gio id must <= " GPIO_TEXT(GPIO_ID_MAX) "\n" : nullptr;
}

// Numbers as option_number reads them: the factory scripts give "0x" and decimal ids.
static const char* gpio_option(int opt, const char* arg) {
    uint32_t n = arg != nullptr ? option_number(arg) : 0;
    switch (opt) {
        case 'r':
            gpio_select(GPIO_OP_READ, n);
            printf("===g_gpio_cfg(%d,%d)=======\n", g_gpio_cfg.op, g_gpio_cfg.id);
            return nullptr;
        case 'w':
            return gpio_select(GPIO_OP_WRITE, n);
        case 'p':
            return gpio_select(GPIO_OP_INPUT_CONFIG, n);
        case 'd':
            g_gpio_cfg.value = static_cast<int32_t>(n);
            return n > 2 ? "gio value must be 0/1! \n" : nullptr;
        case 't':
            g_gpio_cfg.times = static_cast<int32_t>(n);
            return nullptr;
        case 'D':
            g_gpio_cfg.delay = static_cast<int32_t>(n);
            return n == 0 ? "gio delay time must > 0! \n" : nullptr;
        default:
            return nullptr;
    }
}

static int gpio_init_param(int argc, char** argv) {
    return option_parse(argc, argv, kGpioOptions, gpio_option, {"tq_gpio", "gpio_init_param", gpio_usage});
}

// A library call that fails is a failed step: the result line would otherwise claim a
// level that was never read or written.
static int gpio_do_rw(gpio_cfg* cfg) {
    int ret;
    switch (cfg->op) {
        case GPIO_OP_READ:
            ret = gpio_read(cfg->id);
            cfg->value = ret;
            break;
        case GPIO_OP_WRITE:
            ret = gpio_write(cfg->id, cfg->value);
            break;
        case GPIO_OP_INPUT_CONFIG:
            ret = gpio_set_input(cfg->id);
            cfg->value = ret;
            break;
        default:
            OSA_ERROR("tq_gpio", "gpio_do_rw", "gpio_do_rw unknow opt!\n");
            return -1;
    }
    return ret < 0 ? -1 : 0;
}

static int gpio_test_main(int argc, char** argv) {
    if (gpio_init_param(argc, argv) == 0) {
        if (gpio_do_rw(&g_gpio_cfg) != 0) {
            puts("gpio_do_rw faild!");
            return -1;
        }
        if (g_gpio_cfg.op == GPIO_OP_READ) {
            printf("GPIO read id = %d, data = %d\n", g_gpio_cfg.id, g_gpio_cfg.value);
        } else if (g_gpio_cfg.op == GPIO_OP_INPUT_CONFIG) {
            printf("GPIO input config:%d %d\n", g_gpio_cfg.id, g_gpio_cfg.value);
        } else {
            printf("GPIO write id = %d, data = %d\n", g_gpio_cfg.id, g_gpio_cfg.value);
        }
    }
    gpio_close();
    return 0;
}

MODULE_REGISTRATION(gpio, GPIO_MODULE_ID, gpio_close, kGpioOptions)
