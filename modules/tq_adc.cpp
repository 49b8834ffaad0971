// SPDX-License-Identifier: Apache-2.0
// adc: photodiode sampling through the IIO converter, and the light-control
// parameters handed to the process that reads them.
#include <getopt.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "modules/tq_shm.h"
#include "osa/osa.h"
#include "platform/common/unique_fd.h"

#define ADC_MODULE_ID 2
#define ADC_SHM_KEY 7665432  // 0x74F718
#define ADC_RAW_DIGITS 4

#define ADC_TIMES_UNLIMITED 0xFFFFFFFFu

struct adc_param {
    uint32_t channel;
    uint32_t times;  // ADC_TIMES_UNLIMITED: until a stop is requested
    uint32_t delay;  // milliseconds slept after each pass
};

// The wire format the light-control reader takes: 12 native int32, no padding.
struct adc_shm_param {
    int32_t valid;
    int32_t mode;    // ADC_MODE_*
    int32_t value1;  // night threshold, sensitivity or debug switch
    int32_t value2;  // day threshold
    int32_t reserved[8];
};
static_assert(sizeof(adc_shm_param) == 48, "the reader takes exactly 48 bytes");
static_assert(offsetof(adc_shm_param, valid) == 0, "valid at 0");
static_assert(offsetof(adc_shm_param, mode) == 4, "mode at 4");
static_assert(offsetof(adc_shm_param, value1) == 8, "value1 at 8");
static_assert(offsetof(adc_shm_param, value2) == 12, "value2 at 12");
static_assert(offsetof(adc_shm_param, reserved) == 16, "reserved from 16");

enum {
    ADC_MODE_EV_THRESHOLDS = 1,
    ADC_MODE_SENSITIVITY = 2,
    ADC_MODE_DEBUG = 3,
    ADC_MODE_SHOW_INFO = 4,
};

struct adc_channel {
    const char* path;
    const char* open_error;
    const char* description;  // nullptr: reserved
};

// clang-format off
static const adc_channel s_adc_channels[] = {
    {"/sys/bus/iio/devices/iio:device0/in_voltage0_raw", "open ADC_CHN_A error!!!", "Photodiode AD sampling"},
    {"/sys/bus/iio/devices/iio:device0/in_voltage1_raw", "open ADC_B_DVE_NAME error!!!", nullptr},
    {"/sys/bus/iio/devices/iio:device0/in_voltage2_raw", "open ADC_C_DVE_NAME error!!!", nullptr},
};

// clang-format off
constexpr auto kAdcOptions = option_table("module name: adc", {
    {"channel", required_argument, 'c', "hex", "adc channel, default [4], means all"},
    {"times", required_argument, 't', "digit", "adc read times, default [-1] means no timeout"},
    {"delay", required_argument, 'd', "digit", "adc read delay [n] ms,  default [1000]ms"},
    {"night_ev_th", required_argument, 'N', "0~1023", "0 is min   ,31023 is max"},
    {"day_ev_th", required_argument, 'D', "0~1023", "0 is min   ,31023 is max"},
    {"sensitive", required_argument, 's', "0~9", "0 is min   ,9 is max"},
    {"debug switch", required_argument, 'g', "debug switch", "0: close, 1: open"},
    {"info ", no_argument, 'i', "param", "show param info"},
});
// clang-format on
// clang-format on
static_assert(kAdcOptions.help_count == 9, "every option has its help row");

static adc_param s_adc_param = {0, ADC_TIMES_UNLIMITED, 1000};
static adc_shm_param s_adc_shm;

// atoi without its undefined behaviour for numbers beyond int.
static int adc_atoi(const char* text) {
    return static_cast<int>(strtol(text, nullptr, 10));
}

static void adc_show_info(void) {
    OSA_puts("ADC infomation descryption: ");
    for (int ch = 0; ch < static_cast<int>(sizeof s_adc_channels / sizeof s_adc_channels[0]); ch++) {
        if (s_adc_channels[ch].description != nullptr) {
            OSA_printf("channel%d: %s\n", ch, s_adc_channels[ch].description);
        } else {
            OSA_printf("channel%d: reserve\n", ch);
        }
    }
    OSA_printf("\n");
}

static int adc_usage(void) {
    print_module_usage(ADC_MODULE_ID, kAdcOptions);
    adc_show_info();
    return 0;
}

static int adc_scale(int raw) {
    return raw * 580 / 1900;
}

static int adc_read_channel(int channel) {
    if (channel < 0 || channel >= static_cast<int>(sizeof s_adc_channels / sizeof s_adc_channels[0])) {
        OSA_printf("error channel id:%d\n", channel);
        return -1;
    }
    UniqueFile fp(fopen(s_adc_channels[channel].path, "r+e"));
    if (!fp) {
        OSA_puts(s_adc_channels[channel].open_error);
        return -1;
    }
    // The driver gives the value as text; four digits cover the converter's range, and
    // a shorter text is the usual case. A read that fails is a conversion that failed
    // (the driver's timeout or bus error): no reading, rather than one of 0.
    char buf[ADC_RAW_DIGITS + 1] = {0};
    size_t ignored = fread(buf, 1, ADC_RAW_DIGITS, fp.get());
    (void)ignored;
    if (ferror(fp.get())) {
        return -1;
    }
    return adc_scale(adc_atoi(buf));
}

static int s_adc_threshold_pair;

// A light-control parameter: the block is to be handed over, in this mode.
static const char* adc_shm_set(int mode, int value1) {
    s_adc_shm.valid = 1;
    s_adc_shm.mode = mode;
    s_adc_shm.value1 = value1;
    return nullptr;
}

// -c, -t and -d are read by option_number, the light-control values by atoi.
static const char* adc_option(int opt, const char* arg) {
    switch (opt) {
        case 'c':
            s_adc_param.channel = option_number(arg);
            // Only the photodiode channel is wired.
            if (s_adc_param.channel != 0) {
                s_adc_param.channel = 0;
                OSA_ERROR("tq_adc", "adc_init_param", "Adc channel reset=%d\n", s_adc_param.channel);
            }
            return nullptr;
        case 't':
            s_adc_param.times = option_number(arg);
            return nullptr;
        case 'd':
            s_adc_param.delay = option_number(arg);
            return s_adc_param.delay == 0 ? "Adc delay time must > 0 !\n" : nullptr;
        case 'N':
            s_adc_shm.valid = 1;
            s_adc_shm.value1 = adc_atoi(arg);
            s_adc_threshold_pair++;
            return nullptr;
        case 'D':
            s_adc_shm.value2 = adc_atoi(arg);
            s_adc_threshold_pair++;
            return nullptr;
        case 's':
            return adc_shm_set(ADC_MODE_SENSITIVITY, adc_atoi(arg));
        case 'g':
            return adc_shm_set(ADC_MODE_DEBUG, adc_atoi(arg));
        case 'i':
            s_adc_shm.valid = 1;
            s_adc_shm.mode = ADC_MODE_SHOW_INFO;
            return nullptr;
        default:
            return nullptr;
    }
}

static int adc_init_param(int argc, char** argv) {
    s_adc_threshold_pair = 0;
    if (option_parse(argc, argv, kAdcOptions, adc_option, {"tq_adc", "adc_init_param", adc_usage}) != 0) {
        return -1;
    }
    if (s_adc_threshold_pair == 2) {
        s_adc_shm.mode = ADC_MODE_EV_THRESHOLDS;
        s_adc_shm.valid = 1;
    }
    return 0;
}

static void adc_sample_once(int channel) {
    int value = adc_read_channel(channel);
    if (value < 0) {
        OSA_puts("adc_read error!");
    }
    OSA_printf("Adc[%d] = %d\n", channel, value);
}

static int adc_test_main(int argc, char** argv) {
    const adc_param& param = s_adc_param;
    if (adc_init_param(argc, argv) != 0) {
        return 0;
    }
    if (s_adc_shm.valid != 0) {
        return shm_hand_over(ADC_SHM_KEY, &s_adc_shm, sizeof s_adc_shm);
    }
    int channel = static_cast<int>(param.channel);
    if (param.times == ADC_TIMES_UNLIMITED) {
        while (g_exit_flag == 0) {
            adc_sample_once(channel);
            OSA_sleepMillis(param.delay);
        }
    } else {
        // A factory script that asks for N readings gets N: a stop request only ends
        // the pause in progress, the stop flag is not consulted.
        for (uint32_t i = 0; i < param.times; i++) {
            adc_sample_once(channel);
            OSA_sleepMillis(param.delay);
        }
    }
    return 0;
}

static int adc_exit(void) {
    return 0;
}

MODULE_REGISTRATION(adc, ADC_MODULE_ID, adc_exit, kAdcOptions)
