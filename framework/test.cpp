// SPDX-License-Identifier: Apache-2.0
#include "framework/test.h"

#include <ctype.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "framework/module.h"
#include "framework/shell.h"
#include "framework/usage.h"
#include "osa/osa.h"

#define DEBUG_COMMAND_NAME "debug"
#define DEBUG_VERSION "1.2.0"

char g_prog_name[TEST_PROG_NAME_SIZE];
char g_module_name[TEST_NAME_SIZE];
char g_help_module[TEST_NAME_SIZE];
volatile sig_atomic_t g_exit_flag = 0;

// The general usage; main scans the command line by hand, these rows only feed the text.
static const struct option s_test_options[] = {
    {"module", required_argument, nullptr, 'M'},
    {"help", no_argument, nullptr, 'h'},
};
static const option_help s_test_help[] = {
    {"str", "module name like spi/i2c/gpio/adc/sensor"},
    {"str", "display module usage, module name like spi/i2c/gpio/adc/sensor "},
};

struct DefaultDb {
    const char* file;
    const char* copy_command;
};

static const DefaultDb s_default_dbs[] = {
    {"/mnt/nand/tqdb.db", "cp /opt/app/tqdb.db /mnt/nand/tqdb.db"},
    {"/mnt/nand2/oem.db", "cp /opt/app/oem.db /mnt/nand2/oem.db"},
};

// Arguments longer than a buffer are cut to it: they can only be names that no
// module has, and a cut name still finds nothing.
static void copy_arg(char* dst, size_t size, const char* src) {
    snprintf(dst, size, "%s", src);
}

// The print lock may be held by the very code this interrupts (it is not recursive),
// so the message is formatted by hand and written straight to the descriptor.
void OSA_signalHandler(int signo) {
    char msg[40] = "\nGet signal, signo = ";
    size_t len = strlen(msg);
    char digits[12];
    int n = 0;
    unsigned int v = static_cast<unsigned int>(signo);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 11);
    while (n > 0) {
        msg[len++] = digits[--n];
    }
    msg[len++] = '\n';
    ssize_t ignored = write(STDOUT_FILENO, msg, len);
    (void)ignored;
    g_exit_flag = 1;
}

// Provisioning prints nothing, so the copy's own complaints (a full flash) must not
// reach the output of whichever module runs. The redirection changes neither the
// command that runs nor its status, which nothing examines anyway.
void db_default_file_init(void) {
    char cmd[128];
    for (const DefaultDb& db : s_default_dbs) {
        if (access(db.file, F_OK) != 0) {
            snprintf(cmd, sizeof cmd, "%s 2>/dev/null", db.copy_command);
            test_system(cmd);
        }
    }
}

void test_install_signal_handler(void) {
    // sigaction without SA_RESETHAND: the handler stays for the next signal too.
    // SA_RESTART: a signal must not fail the call it meets, as an EINTR would (a line
    // written into a full pipe lost, a read of a device file taken for its end, a
    // drain of the serial port given up). The waits that could last for ever are
    // ended where they wait instead: in slices that ask the stop flag (the database
    // lock, a query's stepping, the shared log's semaphore), and the media logs are
    // never waited for.
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OSA_signalHandler;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGQUIT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

#ifdef DEBUG_FUZZ
static void (*s_exit_hook)(int status) = nullptr;

void test_set_exit_hook(void (*hook)(int status)) {
    s_exit_hook = hook;
}
#endif

void test_exit_process(int status) {
#ifdef DEBUG_FUZZ
    if (s_exit_hook != nullptr) {
        s_exit_hook(status);
    }
#endif
    exit(status);
}

static int test_stop_requested(void) {
    return g_exit_flag != 0;
}

int test_init(void) {
    test_install_signal_handler();
    OSA_setStopQuery(test_stop_requested);
    db_default_file_init();
    int ret = OSA_init();
    ret |= OSA_logInit();
    return ret;
}

void test_usage(void) {
    OSA_printf("%s usage:\n", g_prog_name);
    OSA_printf("%s [module option] \n", g_prog_name);
    for (size_t i = 0; i < sizeof s_test_options / sizeof s_test_options[0]; i++) {
        print_option_row(s_test_options[i], s_test_help[i], "\t");
    }
    OSA_printf("Note: use { %s -h [module name] } to get detail help!\n", g_prog_name);
    module_list();
}

int test_parse_args(int argc, char** argv) {
    copy_arg(g_prog_name, sizeof g_prog_name, argc > 0 ? argv[0] : "");
    bool usage = true;
    for (int i = 0; i < argc; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "-M") == 0 || strcmp(arg, "--module") == 0) {
            if (i + 1 >= argc) {
                usage = true;
                break;
            }
            copy_arg(g_module_name, sizeof g_module_name, argv[i + 1]);
            usage = false;
        } else if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            OSA_printf("%s version: %s\n", DEBUG_COMMAND_NAME, DEBUG_VERSION);
            if (i + 1 >= argc) {
                usage = true;
                break;
            }
            copy_arg(g_help_module, sizeof g_help_module, argv[i + 1]);
            module_usage(g_help_module);
            usage = false;
            break;
        }
    }
    if (usage) {
        test_usage();
        return -1;
    }
    return 0;
}

int test_run(int argc, char** argv) {
    return module_run(g_module_name, argc, argv);
}

int test_exit(void) {
    g_exit_flag = 1;
    module_exit_all();
    OSA_logExit();
    OSA_exit();
    return 0;
}

int test_main(int argc, char** argv) {
    // Line-buffered even into a pipe, so factory scripts see the program's lines and
    // those of the shell commands it runs in the order a terminal shows them.
    static char stdout_buffer[BUFSIZ];
    setvbuf(stdout, stdout_buffer, _IOLBF, sizeof stdout_buffer);

    if (test_init() != 0) {
        OSA_ERROR("test", "main", "test_init failed!\n");
    } else if (test_parse_args(argc, argv) == 0 && g_module_name[0] != '\0' && g_help_module[0] == '\0') {
        if (test_run(argc, argv) != 0) {
            OSA_ERROR("test", "main", "test_run failed!\n");
            return -1;
        }
    }
    test_exit();
    return 0;
}
