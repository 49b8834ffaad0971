// adc: photodiode sampling through the IIO converter, and the light-control
// parameters handed to the process that reads them.
#pragma once

#include <stddef.h>
#include <stdint.h>

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

// Parses the whole vector into the settings and the block; -1 after an error, which
// is reported and followed by the usage.
int adc_init_param(adc_param* param, adc_shm_param* shm, int argc, char** argv);
// The reading shown for a raw converter value.
int adc_scale(int raw);
int adc_read_channel(int channel);
