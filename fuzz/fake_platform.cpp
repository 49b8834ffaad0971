// SPDX-License-Identifier: Apache-2.0
// Inert stand-ins for the camera's libraries that the fuzzed parsers call or that
// their units name: each call succeeds and touches nothing. The Wi-Fi library's
// stand-in is the unit tests' recording fake.
#include "platform/common/tq_common.h"
#include "platform/gpio/gpio.h"
#include "platform/ptz/ptz.h"
#include "platform/pwm/pwm.h"
#include "platform/stepper/stepper.h"

extern "C" {

int extGpio[] = {0, 1, 2, 3, 4, 5, 6, 7};
const int extGpioCount = sizeof extGpio / sizeof extGpio[0];

int gpio_read(int) {
    return 0;
}
int gpio_write(int, int) {
    return 0;
}
int gpio_set_input(int) {
    return 0;
}
int gpio_close(void) {
    return 0;
}

int pwm_read(int) {
    return 0;
}
int pwm_write(int, int, int) {
    return 0;
}
int pwm_close(void) {
    return 0;
}

int pt_set_speed(unsigned int, unsigned int) {
    return 0;
}
int pt_set_preset(unsigned int) {
    return 0;
}
int pt_remove_preset(unsigned int) {
    return 0;
}
int pt_go_preset(unsigned int) {
    return 0;
}
int pt_run(unsigned int) {
    return 0;
}
int pt_tty_deinit(int) {
    return 0;
}

int STEPPER_run(const motor_request*) {
    return 0;
}
int STEPPER_set_piris_duty(uint32_t) {
    return 0;
}
int STEPPER_check_busy(uint32_t) {
    return 0;
}
int STEPPER_close(void) {
    return 0;
}

int tq_free_system_caches(void) {
    return 0;
}
}
