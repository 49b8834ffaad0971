// SPDX-License-Identifier: Apache-2.0
#include "osa/osa_log.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "osa/osa.h"

static char s_log_path[128] = OSA_LOG_PATH;
static int s_log_fd = -1;
static int s_log_inited = 0;
static key_t s_log_key = -1;
static OSA_IpcSem s_log_sem;

int g_osa_log_stale_ms = 100;
int g_osa_log_max_wait_ms = 10000;

int OSA_logInit(void) {
    if (s_log_inited) {
        return 0;
    }
    s_log_key = OSA_ipcMakeKey(OSA_LOG_KEY_PATH, OSA_LOG_KEY_ID);
    if (s_log_key == -1) {
        OSA_ERROR("osa_log", "OSA_logInit", "OSA_ipcMakeKey() \n");
        return -1;
    }
    if (OSA_ipcSemOpen(&s_log_sem, s_log_key, 1, 1, 1, OSA_IPC_CREATE) != 0 &&
        OSA_ipcSemOpen(&s_log_sem, s_log_key, 1, 0, 1, 0) != 0) {
        OSA_ERROR("osa_log", "OSA_logInit", "OSA_ipcSemOpen() \n");
        return -1;
    }
    s_log_inited = 1;
    return 0;
}

int OSA_logOpen(void) {
    if (s_log_fd != -1) {
        return 0;
    }
    s_log_fd = open(s_log_path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (s_log_fd < 0) {
        perror("open log:");
        return -1;
    }
    return 0;
}

enum LogLock { LOG_LOCK_TAKEN, LOG_LOCK_BYPASSED };

// A process killed between its wait and its post leaves the semaphore at 0 for good
// (the kernel undoes nothing), and every later append would block forever. The wait
// is therefore made in slices: when the process that last operated on the semaphore
// no longer exists, its hold is stale and this append takes the lock over (its post
// frees it for everyone). A live holder is waited for, but not without end: past the
// limit, or once the process is asked to stop (the technician will not sit out the
// limit after a Ctrl-C), the record is appended without the lock rather than lost.
static LogLock log_lock_take(void) {
    const int slice_ms = 50;
    int waited = 0;
    for (;;) {
        struct sembuf op = {0, -1, 0};
        struct timespec slice = {0, slice_ms * 1000000L};
        if (semtimedop(s_log_sem.semId, &op, 1, &slice) == 0) {
            return LOG_LOCK_TAKEN;
        }
        if (errno != EAGAIN && errno != EINTR) {
            return LOG_LOCK_BYPASSED;
        }
        waited += slice_ms;
        if (waited >= g_osa_log_stale_ms) {
            int holder = semctl(s_log_sem.semId, 0, GETPID);
            if (holder > 0 && kill(holder, 0) != 0 && errno == ESRCH) {
                OSA_ERROR("osa_log", "OSA_log",
                          "log semaphore left taken by ended process %d, taking it over\n", holder);
                return LOG_LOCK_TAKEN;
            }
        }
        if (waited >= g_osa_log_max_wait_ms || OSA_stopRequested()) {
            OSA_ERROR("osa_log", "OSA_log", "log semaphore still taken after %d ms, writing without it\n",
                      waited);
            return LOG_LOCK_BYPASSED;
        }
    }
}

// Writes all of len bytes, as far as the file takes them; the count written.
static size_t log_write_all(const char* data, size_t len) {
    size_t done = 0;
    while (done < len) {
        ssize_t n = write(s_log_fd, data + done, len - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

// What a record may rely on: once OSA_log has returned 0 the record is whole in the
// log and on the flash (fsync before the semaphore is released), and records follow
// one another whole, never interleaved. A record is written in one piece where the
// file takes it all. One that the file does not take whole (a full flash) is cut back
// off and the append fails, rather than leaving half a record that the next one runs
// into; the cut-back is left out when the lock was bypassed, as another append may
// follow it. A record cut by a power failure (it was never acknowledged) can still end
// the file in the middle of a line: the next record then starts on a line of its own,
// so the torn one stays apart and every later record stays whole. The log's records
// are lines (the IR test's ends in one), so a record that ends its line gets no byte
// more.
int OSA_log(const void* data, uint32_t len) {
    if (!s_log_inited && OSA_logInit() != 0) {
        OSA_ERROR("osa_log", "OSA_log", "Faild init semphare \n");
        return -1;
    }
    if (OSA_logOpen() != 0) {
        OSA_ERROR("osa_log", "OSA_log", "Faild to open log: %s \n", s_log_path);
        return -1;
    }
    LogLock lock = log_lock_take();
    struct stat st;
    char last = '\n';
    bool regular = fstat(s_log_fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && st.st_size > 0 && pread(s_log_fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        log_write_all("\n", 1);
    }
    int ret = 0;
    if (log_write_all(static_cast<const char*>(data), len) != len || fsync(s_log_fd) != 0) {
        perror("write log");
        if (regular && lock == LOG_LOCK_TAKEN && ftruncate(s_log_fd, st.st_size) == 0) {
            fsync(s_log_fd);
        }
        ret = -1;
    }
    if (lock == LOG_LOCK_TAKEN) {
        OSA_ipcSemPost(&s_log_sem, 0, -1);
    }
    return ret;
}

int OSA_logClose(void) {
    if (s_log_fd != -1) {
        close(s_log_fd);
    }
    s_log_fd = -1;
    return 0;
}

int OSA_logExit(void) {
    return OSA_logClose();
}
