// SPDX-License-Identifier: Apache-2.0
// The sdmmc module: detects, mounts, wipes and formats, repairs, measures and fills
// the SD card. The work is done by shell commands; the module decides which runs when,
// in which order, with which pauses, and what its result means.
#include "modules/tq_sdmmc.h"

#include <getopt.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "framework/module.h"
#include "framework/shell.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/common/tq_common.h"

#define SDMMC_MODULE_ID 10
#define SDMMC_MOUNT_POINT "/mnt/mmc"
#define SDMMC_CMD_SIZE 256
#define SDMMC_FILE_NUM_MAX 40960
#define SDMMC_FILE_SIZE_MAX 1024
// The free-space line of a fill comes after every this many files.
#define SDMMC_FILL_REPORT_EVERY 32
// The block size of the fill's dd: less room than this left means the card is full.
#define SDMMC_FILL_BLOCK (128u * 1024u)

static const char* const sdmmc_dev_list[] = {"/dev/mmcblk0", "/dev/mmcblk1", "/dev/mmcblk2", "/dev/mmcblk3"};
const char* sdmmc_dev = nullptr;
uint32_t sdmmc_file_size = 128;
uint32_t sdmmc_file_num = 128;

// Delete partitions 1 to 4, then write the table.
static const char kFdiskInput[] = "d1\nd2\nd3\nd4\n w\n";

// clang-format off
constexpr auto kSdmmcOptions = option_table("module name: sdmmc", {
    {"filenum", required_argument, 'n', "digit", "sdmmc filling file numbers [n], default 128, [1-40960]"},
    {"filesize", required_argument, 'z', "digit", "sdmmc filling file echo filesize [n]MB, default 128MB, [1-4096]"},
    {"info", no_argument, 'i', "", "sdmmc base information(blocksize, total size, freesize, usesize)."},
    {"init", no_argument, 1, "", "Sdmmc init device."},
    {"speed", no_argument, 's', "", "sdmmc check read and write speed."},
    {"repair", no_argument, 'r', "", "Repair sdmmc disk."},
    {"format", no_argument, 'f', "", "Format sdmmc disk."},
    {"filling", no_argument, 'F', "", "Filling sdmmc disk to full."},
    {"mount", no_argument, 'm', "", "Mount sdmmc."},
});
// clang-format on

static int sdmmc_usage(void) {
    return print_module_usage(SDMMC_MODULE_ID, kSdmmcOptions);
}

int sdmmc_check_device(void) {
    int found = 0;
    for (const char* dev : sdmmc_dev_list) {
        if (access(dev, F_OK) != 0) {
            continue;
        }
        if (++found == 1) {
            sdmmc_dev = dev;
        } else {
            return -1;
        }
    }
    return found == 1 ? 1 : 0;
}

// The module's pauses. A stop request (Ctrl-C) ends the one in progress and skips the
// rest, so that what is left after it (clean-up, closing lines) is done at once.
static void sdmmc_pause(uint32_t ms) {
    if (!g_exit_flag) {
        OSA_sleepMillis(ms);
    }
}

// The card host offers nothing to re-initialise from here.
static int sdmmc_reinit(void) {
    return 0;
}

static int sdmmc_init(void) {
    int ret = sdmmc_check_device();
    if (ret == 1) {
        return 0;
    }
    if (ret == 0) {
        OSA_puts("SD/mmc isn't inserted, please check again!");
        return -1;
    }
    OSA_puts("SD/mmc has error, try to reinit!");
    sdmmc_reinit();
    sdmmc_pause(1000);
    ret = sdmmc_check_device();
    if (ret == 1) {
        OSA_puts("SD/mmc inserted!");
        return 0;
    }
    if (ret == 0) {
        OSA_puts("SD/mmc isn't inserted, please check again!");
        return -1;
    }
    OSA_ERROR("tq_sdmmc", "sdmmc_init", "SD/mmc has error, reinit faild!\n");
    return -1;
}

static void sdmmc_flush_caches(void) {
    tq_free_system_caches();
    sdmmc_pause(1000);
    test_system("sync");
    sdmmc_pause(1000);
}

static int sdmmc_mount_card(void) {
    char cmd[SDMMC_CMD_SIZE];
    snprintf(cmd, sizeof cmd, "mount -t vfat %s " SDMMC_MOUNT_POINT " -o async,umask=000", sdmmc_dev);
    return test_system(cmd);
}

static int sdmmc_mount(void) {
    if (test_system("df | grep mmcblk > /dev/null 2>&1") == 0) {
        return 0;
    }
    if (sdmmc_init() != 0) {
        return -1;
    }
    return sdmmc_mount_card();
}

// A file system the kernel has mounted is the kernel's to write: fdisk and mkdosfs
// beneath it erase what it still uses (and fdisk's new table cannot be read in), and
// dosfsck beneath it repairs a picture the kernel overwrites when it next writes. So
// the card is unmounted first; *was_mounted says whether to mount it again afterwards,
// as the camera's recorder expects to find it.
static int sdmmc_unmount(bool* was_mounted) {
    char cmd[SDMMC_CMD_SIZE];
    snprintf(cmd, sizeof cmd, "grep -q '^%s ' /proc/mounts", sdmmc_dev);
    *was_mounted = test_system(cmd) == 0;
    if (!*was_mounted) {
        return 0;
    }
    snprintf(cmd, sizeof cmd, "umount %s", sdmmc_dev);
    return test_system(cmd) == 0 ? 0 : -1;
}

// A failed query is reported rather than shown as figures made of whatever the
// structure held.
static int sdmmc_statfs(struct statfs* st, const char* func) {
    if (statfs(SDMMC_MOUNT_POINT, st) != 0) {
        OSA_ERROR("tq_sdmmc", func, "statfs %s failed!\n", SDMMC_MOUNT_POINT);
        return -1;
    }
    return 0;
}

// fdisk deletes partitions 1 to 4 and writes the table; 0 unless a stop request cut
// its input short (fdisk then ends without writing anything).
static int sdmmc_wipe_table(void) {
    char cmd[SDMMC_CMD_SIZE];
    snprintf(cmd, sizeof cmd, "fdisk %s", sdmmc_dev);
    ShellPipe fdisk(cmd, "w");
    if (!fdisk) {
        OSA_printf("fdisk %s failed!\n", sdmmc_dev);
        return -1;
    }
    // An fdisk that ended early (a card it cannot open) must not take the program down
    // with SIGPIPE when the text reaches the pipe. Set after popen, so that fdisk keeps
    // the default.
    struct sigaction ignore_pipe, saved_pipe;
    memset(&ignore_pipe, 0, sizeof ignore_pipe);
    ignore_pipe.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore_pipe, &saved_pipe);
    // Each line is held back half a second before its newline is written. After a stop
    // request no more of it is written: fdisk then ends at the end of its input without
    // the "w" that writes the table, and the card is not formatted either.
    for (const char* p = kFdiskInput; *p != '\0' && !g_exit_flag; p++) {
        putc(*p, fdisk.get());
        if (p[1] == '\n') {
            sdmmc_pause(500);
        }
    }
    fdisk.close();
    sigaction(SIGPIPE, &saved_pipe, nullptr);
    sdmmc_flush_caches();
    sdmmc_pause(1000);
    return g_exit_flag ? 1 : 0;
}

// fdisk, a pause, mkdosfs: 0, or -1 after its failure line.
static int sdmmc_make_fat(void) {
    int ret = sdmmc_wipe_table();
    if (ret < 0) {
        return -1;
    }
    char cmd[SDMMC_CMD_SIZE];
    snprintf(cmd, sizeof cmd, "time mkdosfs -I -F 32 %s", sdmmc_dev);
    if (ret != 0 || test_system(cmd) != 0) {
        OSA_puts("Sd/mmc format failed!");
        return -1;
    }
    sdmmc_flush_caches();
    return 0;
}

// A card that was mounted is mounted again afterwards, whatever came of the format.
static int sdmmc_format(void) {
    sdmmc_reinit();
    if (sdmmc_init() != 0) {
        return -1;
    }
    bool was_mounted = false;
    if (sdmmc_unmount(&was_mounted) != 0) {
        OSA_puts("Sd/mmc format failed!");
        return -1;
    }
    int ret = sdmmc_make_fat();
    if (was_mounted) {
        sdmmc_mount_card();
    }
    return ret;
}

// dosfsck's status 1 means it found errors; with -a it also corrected what it could.
// A read-only check that then finds nothing tells a repair that repaired something
// from one that could not (a card with no FAT at all also ends with 1).
static bool sdmmc_repaired(int status) {
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) {
        return false;
    }
    char cmd[SDMMC_CMD_SIZE];
    snprintf(cmd, sizeof cmd, "dosfsck -n %s > /dev/null 2>&1", sdmmc_dev);
    return test_system(cmd) == 0;
}

static int sdmmc_repair(void) {
    if (sdmmc_init() != 0) {
        return -1;
    }
    bool was_mounted = false;
    if (sdmmc_unmount(&was_mounted) != 0) {
        OSA_printf("Sd/mmc repair %s faild!\n", sdmmc_dev);
        return -1;
    }
    char cmd[SDMMC_CMD_SIZE];
    snprintf(cmd, sizeof cmd, "time dosfsck -a -v -V %s", sdmmc_dev);
    int status = test_system(cmd);
    int ret = status == 0 || sdmmc_repaired(status) ? 0 : -1;
    OSA_printf(ret == 0 ? "Sd/mmc repair %s success!\n" : "Sd/mmc repair %s faild!\n", sdmmc_dev);
    if (was_mounted) {
        sdmmc_mount_card();
    }
    return ret;
}

void sdmmc_print_figures(uint64_t block_size, uint64_t blocks, uint64_t free_blocks) {
    unsigned long long total = blocks * block_size;
    unsigned long long free_bytes = free_blocks * block_size;
    unsigned long long used = total - free_bytes;
    OSA_printf("Block = %llu KB \n", static_cast<unsigned long long>(block_size >> 10));
    OSA_printf("Total = %llu B = %llu KB = %llu MB = %.2f GB\n", total, total >> 10, total >> 20,
               static_cast<double>(total >> 20) / 1024.0);
    OSA_printf("Free = %llu KB = %llu MB = %.2f GB\n", free_bytes >> 10, free_bytes >> 20,
               static_cast<double>(free_bytes >> 20) / 1024.0);
    OSA_printf("Use = %llu KB = %llu MB = %.2f GB\n", used >> 10, used >> 20,
               static_cast<double>(used >> 20) / 1024.0);
}

// The card operations that need the file system mount it first; a failure is reported
// under the operation's own name.
static int sdmmc_mount_for(const char* func) {
    if (sdmmc_mount() != 0) {
        OSA_ERROR("tq_sdmmc", func, "sdmmc mount failed!\n");
        return -1;
    }
    return 0;
}

static int sdmmc_mount_and_stat(struct statfs* st, const char* func) {
    if (sdmmc_mount_for(func) != 0) {
        return -1;
    }
    return sdmmc_statfs(st, func);
}

static int sdmmc_info(void) {
    struct statfs st;
    if (sdmmc_mount_and_stat(&st, "sdmmc_info") != 0) {
        return -1;
    }
    sdmmc_print_figures(static_cast<uint64_t>(st.f_bsize), st.f_blocks, st.f_bfree);
    return 0;
}

static int sdmmc_test_speed(void) {
    if (sdmmc_mount_for("sdmmc_test_speed") != 0) {
        return -1;
    }
    test_system("time dd if=/dev/zero of=" SDMMC_MOUNT_POINT "/empty.file bs=128k count=1k ");
    sdmmc_flush_caches();
    // A stop request ends the test before the read; the test file is removed all the same.
    if (!g_exit_flag) {
        test_system("time dd if=" SDMMC_MOUNT_POINT "/empty.file of=/dev/null bs=128k count=1k ");
        sdmmc_pause(1000);
    }
    test_system("rm -rf " SDMMC_MOUNT_POINT "/empty.file");
    return 0;
}

static unsigned long long sdmmc_free_mb(const struct statfs& st, uint64_t block_size) {
    return (st.f_bfree * block_size) >> 20;
}

static int sdmmc_filling_disk(void) {
    struct statfs st;
    if (sdmmc_mount_and_stat(&st, "sdmmc_filling_disk") != 0) {
        return -1;
    }
    uint64_t block_size = static_cast<uint64_t>(st.f_bsize);
    OSA_printf("All size = %llu MB, free size = %llu MB \n",
               static_cast<unsigned long long>((st.f_blocks * block_size) >> 20),
               sdmmc_free_mb(st, block_size));
    OSA_printf("Try to filling sdmmc by creating %d files, echo file size %d MB \n",
               static_cast<int>(sdmmc_file_num), static_cast<int>(sdmmc_file_size));
    int i;
    int ret = 0;
    for (i = 0; static_cast<uint32_t>(i) < sdmmc_file_num && !g_exit_flag; i++) {
        OSA_printf("Create %s/file%d \n", SDMMC_MOUNT_POINT, i);
        char cmd[SDMMC_CMD_SIZE];
        snprintf(cmd, sizeof cmd,
                 "dd if=/dev/zero of=" SDMMC_MOUNT_POINT "/file%d  bs=128k count=%u > /dev/null 2>&1", i,
                 sdmmc_file_size * 8);
        // A file that could not be written whole ends the fill: the card is full, which
        // is where a fill is meant to end, or it takes no more at all. Going on would
        // count empty files as created, a second apiece, up to the count asked for.
        if (test_system(cmd) != 0 && !g_exit_flag) {
            if (sdmmc_statfs(&st, "sdmmc_filling_disk") == 0 && st.f_bfree * block_size < SDMMC_FILL_BLOCK) {
                OSA_printf("Sd/mmc is full, %s/file%d is cut short \n", SDMMC_MOUNT_POINT, i);
            } else {
                OSA_ERROR("tq_sdmmc", "sdmmc_filling_disk", "Create %s/file%d failed!\n", SDMMC_MOUNT_POINT,
                          i);
                ret = -1;
            }
            break;
        }
        if ((i + 1) % SDMMC_FILL_REPORT_EVERY == 0 && sdmmc_statfs(&st, "sdmmc_filling_disk") == 0) {
            OSA_printf("Free size = %llu MB \n", sdmmc_free_mb(st, block_size));
        }
        sdmmc_pause(1000);
    }
    OSA_printf("Create total %d files \n", i);
    if (sdmmc_statfs(&st, "sdmmc_filling_disk") == 0) {
        OSA_printf("Free size = %llu MB \n", sdmmc_free_mb(st, block_size));
    }
    sdmmc_flush_caches();
    return ret;
}

// strtoul in base 0, checked before it is narrowed, so that a huge count cannot wrap
// into the accepted range.
static bool sdmmc_parse_bounded(const char* text, unsigned long max, uint32_t* value) {
    unsigned long v = strtoul(text, nullptr, 0);
    if (v < 1 || v > max) {
        return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

// Ends the process after a rejected option: the usage, then status 255.
[[noreturn]] static void sdmmc_reject(void) {
    sdmmc_usage();
    test_exit_process(-1);
}

// The actions, each with what the option loop reports when it fails.
struct SdmmcAction {
    int option;
    int (*run)(void);
    const char* failure;
};
static const SdmmcAction kSdmmcActions[] = {
    {'i', sdmmc_info, "sdmmc check information faild!\n"},
    {1, sdmmc_reinit, ""},
    {'s', sdmmc_test_speed, "sdmmc test speed faild!\n"},
    {'r', sdmmc_repair, "sdmmc repair disk faild!\n"},
    {'f', sdmmc_format, "sdmmc format disk faild!\n"},
    {'F', sdmmc_filling_disk, "sdmmc filling disk faild!\n"},
    {'m', sdmmc_mount, "sdmmc mount faild!\n"},
};

// Runs the option's action, reporting its failure; false when the option names none.
static bool sdmmc_act(int opt) {
    for (const SdmmcAction& action : kSdmmcActions) {
        if (action.option == opt) {
            if (action.run() != 0) {
                OSA_ERROR("tq_sdmmc", "sdmmc_init_param", "%s", action.failure);
            }
            return true;
        }
    }
    return false;
}

// Options act at once, in order, until a stop request: a Ctrl-C during one action
// (a fill, say) must not let the next one (a format) start.
int sdmmc_init_param(int argc, char** argv) {
    int opt;
    while (!g_exit_flag && (opt = getopt_long(argc, argv, kSdmmcOptions.short_options, kSdmmcOptions.longopts,
                                              nullptr)) != -1) {
        if (sdmmc_act(opt)) {
            continue;
        }
        switch (opt) {
            case 'n':
                if (!sdmmc_parse_bounded(optarg, SDMMC_FILE_NUM_MAX, &sdmmc_file_num)) {
                    OSA_ERROR("tq_sdmmc", "sdmmc_init_param", "filling file numbers must in [1-40960]!\n");
                    sdmmc_reject();
                }
                break;
            case 'z':
                if (!sdmmc_parse_bounded(optarg, SDMMC_FILE_SIZE_MAX, &sdmmc_file_size)) {
                    OSA_ERROR("tq_sdmmc", "sdmmc_init_param", "filling file size must in [1-1024]!\n");
                    sdmmc_reject();
                }
                break;
            case '?':
                OSA_ERROR("tq_sdmmc", "sdmmc_init_param", "Unknow option\n");
                sdmmc_reject();
            default:
                break;
        }
    }
    return 0;
}

static int sdmmc_test_main(int argc, char** argv) {
    return sdmmc_init_param(argc, argv);
}

MODULE_REGISTRATION(sdmmc, SDMMC_MODULE_ID, nullptr, kSdmmcOptions)
