// SPDX-License-Identifier: Apache-2.0
#include "framework/test.h"

#include <ctype.h>
#include <fcntl.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/module.h"
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
    const char* factory_copy;
};

static const DefaultDb s_default_dbs[] = {
    {"/mnt/nand/tqdb.db", "/opt/app/tqdb.db"},
    {"/mnt/nand2/oem.db", "/opt/app/oem.db"},
};

// A copy is written under the database's name with this appended, in the same directory.
static const char kCopySuffix[] = ".tmp";

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

// The framework sits below the platform libraries and their descriptor owners.
class ScopedFd {
public:
    explicit ScopedFd(int fd) : fd_(fd) {}
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    ~ScopedFd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const {
        return fd_;
    }
    // Closes now, for the error that only close may report.
    int close_now() {
        int ret = close(fd_);
        fd_ = -1;
        return ret;
    }

private:
    int fd_;
};

static bool copy_bytes(int from, int to) {
    char buf[16384];
    for (;;) {
        ssize_t n = read(from, buf, sizeof buf);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(to, buf + done, static_cast<size_t>(n - done));
            if (w <= 0) {
                return false;
            }
            done += w;
        }
    }
}

// A copy cut short (the power gone, the flash full) must not leave a torn database that
// passes for present and is never copied again. The copy is therefore made whole and
// durable under a temporary name, and only then renamed to the database's name, and the
// rename made durable: the database is afterwards absent, and copied at the next start,
// or whole. A temporary left by an earlier cut is removed first. The directory's lock
// keeps two starts from writing the same temporary; under it the database is looked for
// again, as the other may just have put it in place. A flash that cannot lock still
// gets its copy. It is done here rather than by cp through the shell, which can neither
// make one file durable nor take the lock. Nothing is printed: provisioning is silent,
// whichever module runs, and a failure leaves only the database missing.
static void copy_into_place(const DefaultDb& db) {
    char dir_path[64];
    char tmp[64];
    const char* slash = strrchr(db.file, '/');
    snprintf(dir_path, sizeof dir_path, "%.*s", static_cast<int>(slash - db.file), db.file);
    snprintf(tmp, sizeof tmp, "%s%s", db.file, kCopySuffix);
    ScopedFd dir(open(dir_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        return;
    }
    flock(dir.get(), LOCK_EX);
    if (access(db.file, F_OK) == 0) {
        return;
    }
    unlink(tmp);
    ScopedFd from(open(db.factory_copy, O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (from.get() < 0 || fstat(from.get(), &st) != 0) {
        return;
    }
    // The mode cp gives a new file: the factory copy's, less the umask.
    ScopedFd to(open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
    if (to.get() < 0) {
        return;
    }
    if (!copy_bytes(from.get(), to.get()) || fsync(to.get()) != 0 || to.close_now() != 0 ||
        rename(tmp, db.file) != 0) {
        unlink(tmp);
        return;
    }
    fsync(dir.get());
}

void db_default_file_init(void) {
    for (const DefaultDb& db : s_default_dbs) {
        if (access(db.file, F_OK) != 0) {
            copy_into_place(db);
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
