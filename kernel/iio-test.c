// SPDX-License-Identifier: GPL-2.0
/*
 * An IIO converter with nothing behind it, for the real-kernel test camera: iio:device0
 * with three voltage channels whose in_voltageN_raw the kernel's IIO core serves as it
 * does a real converter's (the reading and a newline; EINVAL on a write). What each
 * channel converts to is set in debugfs, iio-test/in_voltageN_raw: a number is the
 * reading, a negative one the error the conversion fails with (-110: ETIMEDOUT), as a
 * converter whose conversion never completes. Unbinding the device from the driver
 * takes iio:device0 away. A test fixture, never shipped.
 */
#include <linux/debugfs.h>
#include <linux/err.h>
#include <linux/fs.h>
#include <linux/iio/iio.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/platform_device.h>
#include <linux/uaccess.h>

#define NCHAN 3

static int readings[NCHAN];

static int iio_test_read_raw(struct iio_dev* indio_dev, struct iio_chan_spec const* chan, int* val, int* val2,
                             long mask) {
    int reading = READ_ONCE(readings[chan->channel]);

    if (mask != IIO_CHAN_INFO_RAW)
        return -EINVAL;
    if (reading < 0)
        return reading;
    *val = reading;
    return IIO_VAL_INT;
}

static const struct iio_info iio_test_info = {
    .read_raw = iio_test_read_raw,
};

#define IIO_TEST_CHANNEL(n) \
    { .type = IIO_VOLTAGE, .indexed = 1, .channel = (n), .info_mask_separate = BIT(IIO_CHAN_INFO_RAW), }

static const struct iio_chan_spec iio_test_channels[NCHAN] = {
    IIO_TEST_CHANNEL(0),
    IIO_TEST_CHANNEL(1),
    IIO_TEST_CHANNEL(2),
};

static int iio_test_probe(struct platform_device* pdev) {
    struct iio_dev* indio_dev = devm_iio_device_alloc(&pdev->dev, 0);

    if (!indio_dev)
        return -ENOMEM;
    indio_dev->name = "iio-test";
    indio_dev->info = &iio_test_info;
    indio_dev->modes = INDIO_DIRECT_MODE;
    indio_dev->channels = iio_test_channels;
    indio_dev->num_channels = NCHAN;
    return devm_iio_device_register(&pdev->dev, indio_dev);
}

static struct platform_driver iio_test_driver = {
    .probe = iio_test_probe,
    .driver = {.name = "iio-test"},
};

static ssize_t reading_read(struct file* file, char __user* buf, size_t count, loff_t* pos) {
    char text[16];
    int len = scnprintf(text, sizeof(text), "%d\n", READ_ONCE(*(int*)file->private_data));

    return simple_read_from_buffer(buf, count, pos, text, len);
}

static ssize_t reading_write(struct file* file, const char __user* buf, size_t count, loff_t* pos) {
    int reading;
    int ret = kstrtoint_from_user(buf, count, 0, &reading);

    if (ret)
        return ret;
    WRITE_ONCE(*(int*)file->private_data, reading);
    return count;
}

static const struct file_operations reading_fops = {
    .owner = THIS_MODULE,
    .open = simple_open,
    .read = reading_read,
    .write = reading_write,
    .llseek = default_llseek,
};

static struct dentry* dir;
static struct platform_device* pdev;

static int __init iio_test_init(void) {
    char name[32];
    int ret;
    int i;

    dir = debugfs_create_dir("iio-test", NULL);
    for (i = 0; i < NCHAN; i++) {
        snprintf(name, sizeof(name), "in_voltage%d_raw", i);
        debugfs_create_file(name, 0600, dir, &readings[i], &reading_fops);
    }
    ret = platform_driver_register(&iio_test_driver);
    if (ret)
        goto out_dir;
    pdev = platform_device_register_simple("iio-test", -1, NULL, 0);
    if (IS_ERR(pdev)) {
        ret = PTR_ERR(pdev);
        goto out_driver;
    }
    return 0;
out_driver:
    platform_driver_unregister(&iio_test_driver);
out_dir:
    debugfs_remove_recursive(dir);
    return ret;
}

static void __exit iio_test_exit(void) {
    platform_device_unregister(pdev);
    platform_driver_unregister(&iio_test_driver);
    debugfs_remove_recursive(dir);
}

module_init(iio_test_init);
module_exit(iio_test_exit);
MODULE_DESCRIPTION("IIO converter channels without hardware, for tests");
MODULE_LICENSE("GPL");
