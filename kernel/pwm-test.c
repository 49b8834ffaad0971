// SPDX-License-Identifier: GPL-2.0
/*
 * A PWM controller with nothing behind it, for the real-kernel test camera: pwmchip0
 * with four channels that accept any state, so the kernel's PWM core and its sysfs
 * interface check and keep what the program writes. A test fixture, never shipped.
 * A test refuses channels as a chip refuses one whose pin serves something else:
 * a bit each in /sys/module/pwm_test/parameters/refused.
 */
#include <linux/bits.h>
#include <linux/err.h>
#include <linux/module.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>

#define NPWM 4

static unsigned long refused;
module_param(refused, ulong, 0644);
MODULE_PARM_DESC(refused, "channels whose request is refused, a bit each");

static int pwm_test_request(struct pwm_chip* chip, struct pwm_device* pwm) {
    return refused & BIT(pwm->hwpwm) ? -EBUSY : 0;
}

static int pwm_test_apply(struct pwm_chip* chip, struct pwm_device* pwm, const struct pwm_state* state) {
    return 0;
}

static const struct pwm_ops pwm_test_ops = {
    .request = pwm_test_request,
    .apply = pwm_test_apply,
    .owner = THIS_MODULE,
};

static struct pwm_chip chip;
static struct platform_device* pdev;

static int __init pwm_test_init(void) {
    int ret;

    pdev = platform_device_register_simple("pwm-test", -1, NULL, 0);
    if (IS_ERR(pdev))
        return PTR_ERR(pdev);
    chip.dev = &pdev->dev;
    chip.ops = &pwm_test_ops;
    chip.npwm = NPWM;
    ret = pwmchip_add(&chip);
    if (ret)
        platform_device_unregister(pdev);
    return ret;
}

static void __exit pwm_test_exit(void) {
    pwmchip_remove(&chip);
    platform_device_unregister(pdev);
}

module_init(pwm_test_init);
module_exit(pwm_test_exit);
MODULE_DESCRIPTION("PWM channels without hardware, for tests");
MODULE_LICENSE("GPL");
