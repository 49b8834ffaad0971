// SPDX-License-Identifier: Apache-2.0
#include "fuzz/sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern "C" {
int __real_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attr, char* const argv[], char* const envp[]);
pid_t __real_waitpid(pid_t pid, int* status, int options);
FILE* __real_popen(const char* cmd, const char* mode);
int __real_pclose(FILE* fp);
FILE* __real_fopen(const char* path, const char* mode);
int __real_open(const char* path, int flags, ...);
int __real_access(const char* path, int mode);
int __real_lockf(int fd, int cmd, off_t len);
int __real_statfs(const char* path, struct statfs* buf);
}

namespace {

bool s_inside = false;

// What a file read inside a parser holds: a line of every media log's section markers
// (so the section readers find them) and statements for a statement file.
char s_file_text[] =
    "System State:\n"
    "PoolId    PhysAddr    VirtAddr    IsComm\n"
    "VPSS GRP WORK STATUS\nVPSS CHN OUTPUT RESOLUTION\n"
    "VI DEV ATTR\nVI PHYCHN ATTR\nVI PHYCHN STATUS 1\nVI PHYCHN STATUS 2\nVI WDR ATTR\n"
    "VI WDR DES STATUS\nVI WDR SRC STATUS\nVI WDR COMBINE STATUS\nVI CHN STATUS\n"
    "VENC CHN ATTR 1\nVENC STREAM STATE\nRUN INFO1\nACODEC PARAM\n"
    "AO DEV ATTR\nAO DEV STATUS\nADEC CHN ATTR\nAI DEV ATTR\nAI DEV STATUS\nAENC CHN ATTR\n"
    "AI CHN VQE STATUS0\nAO CHN VQE STATUS0\n"
    "update user set name='a' where id=1;\n"
    "select * from user;\n";

// What a shell command "started" in the sandbox is, for the wait that follows.
constexpr pid_t kNoProcess = 0x7fffffff;

// Files the parsers look for that are there: one card and the two databases.
const char* const kPresent[] = {"/dev/mmcblk0", "/mnt/nand/tqdb.db", "/mnt/nand2/oem.db"};

FILE* null_stream(const char* mode) {
    return __real_fopen("/dev/null", mode[0] == 'r' && strchr(mode, '+') == nullptr ? "r" : "w");
}

}  // namespace

void fuzz_sandbox_enter(void) {
    s_inside = true;
}

void fuzz_sandbox_leave(void) {
    s_inside = false;
}

extern "C" {

// A shell that ran the command and succeeded: no process is started, and the wait for
// it finds it ended with status 0.
int __wrap_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attr, char* const argv[], char* const envp[]) {
    if (!s_inside) {
        return __real_posix_spawn(pid, path, actions, attr, argv, envp);
    }
    *pid = kNoProcess;
    return 0;
}

pid_t __wrap_waitpid(pid_t pid, int* status, int options) {
    if (!s_inside) {
        return __real_waitpid(pid, status, options);
    }
    *status = 0;
    return pid;
}

FILE* __wrap_popen(const char* cmd, const char* mode) {
    return s_inside ? null_stream(mode) : __real_popen(cmd, mode);
}

int __wrap_pclose(FILE* fp) {
    if (s_inside) {
        fclose(fp);
        return 0;
    }
    return __real_pclose(fp);
}

// The parsers' pauses (P-iris polls, a card's settling, a fill's second per file)
// take no time.
int __wrap_nanosleep(const struct timespec*, struct timespec*) {
    return 0;
}

FILE* __wrap_fopen(const char* path, const char* mode) {
    if (!s_inside) {
        return __real_fopen(path, mode);
    }
    if (mode[0] == 'r' && strchr(mode, '+') == nullptr) {
        return fmemopen(s_file_text, sizeof s_file_text - 1, "r");
    }
    return null_stream(mode);
}

int __wrap_open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list ap;
        va_start(ap, flags);
        mode = static_cast<mode_t>(va_arg(ap, int));
        va_end(ap);
    }
    if (s_inside) {
        return __real_open("/dev/null", O_RDWR | (flags & O_CLOEXEC));
    }
    return __real_open(path, flags, mode);
}

int __wrap_access(const char* path, int mode) {
    if (!s_inside) {
        return __real_access(path, mode);
    }
    for (const char* present : kPresent) {
        if (strcmp(path, present) == 0) {
            return 0;
        }
    }
    errno = ENOENT;
    return -1;
}

int __wrap_lockf(int fd, int cmd, off_t len) {
    return s_inside ? 0 : __real_lockf(fd, cmd, len);
}

// A card of 4 GiB in 32 KiB clusters, a quarter used.
int __wrap_statfs(const char* path, struct statfs* buf) {
    if (!s_inside) {
        return __real_statfs(path, buf);
    }
    memset(buf, 0, sizeof *buf);
    buf->f_bsize = 32768;
    buf->f_blocks = 131072;
    buf->f_bfree = 98304;
    buf->f_bavail = 98304;
    return 0;
}
}
