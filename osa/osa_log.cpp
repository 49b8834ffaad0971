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
#include "platform/common/unique_fd.h"

static char s_log_path[128] = OSA_LOG_PATH;
static int s_log_fd = -1;
static int s_pending_fd = -1;
static int s_log_inited = 0;
static key_t s_log_key = -1;
static OSA_IpcSem s_log_sem;

int g_osa_log_stale_ms = 100;
int g_osa_log_max_wait_ms = 10000;

// A power cut while a record is being written can leave part of it on the flash: the
// file system may keep the new size, or the first of the record's pages, without the
// rest. Nothing in the bytes tells such a record from a whole one (another process's
// record need not even end its line), so an append first says, durably, where its
// record goes: "<log>.pending" holds "OFFSET LENGTH HASH\n" from before the first byte
// is written until the record is synced, and is emptied afterwards. Whoever takes the
// lock next (an append, or the start of any run, which is the first thing after the
// power comes back) finds a record that is not all there and cuts the log back to
// where it began; it was never acknowledged. The emptying needs no sync: an intent
// that outlives its record describes a whole record, which is kept. Records appended
// after a torn one by a process that does not keep the intent stay, and so does the
// torn one before them: cutting it out would take theirs with it.
struct PendingAppend {
    unsigned long long offset;
    unsigned long long len;
    unsigned long long hash;
};

static uint64_t fnv1a(uint64_t h, const char* p, size_t n) {
    for (size_t i = 0; i < n; i++) {
        h = (h ^ static_cast<unsigned char>(p[i])) * 0x100000001b3ULL;
    }
    return h;
}

static const uint64_t kFnvBasis = 0xcbf29ce484222325ULL;

static int pending_open(int create) {
    char path[sizeof s_log_path + 8];
    snprintf(path, sizeof path, "%s.pending", s_log_path);
    return open(path, O_RDWR | O_CLOEXEC | create, 0644);
}

// The intent the file holds; false when it holds none (empty, or torn by a cut before
// the record's first byte, which then never reached the log).
static bool pending_read(int fd, PendingAppend* p) {
    char text[80];
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0 || text[n - 1] != '\n') {
        return false;
    }
    text[n] = '\0';
    int used = 0;
    return sscanf(text, "%llu %llu %llx\n%n", &p->offset, &p->len, &p->hash, &used) == 3 && used == n &&
           p->len > 0;
}

static bool pending_write(int fd, const PendingAppend& p) {
    char text[80];
    int n = snprintf(text, sizeof text, "%llu %llu %016llx\n", p.offset, p.len, p.hash);
    return pwrite(fd, text, static_cast<size_t>(n), 0) == n && ftruncate(fd, n) == 0 && fsync(fd) == 0;
}

static uint64_t log_hash(int fd, unsigned long long offset, unsigned long long len) {
    char buf[512];
    uint64_t h = kFnvBasis;
    while (len > 0) {
        ssize_t n = pread(fd, buf, len < sizeof buf ? len : sizeof buf, static_cast<off_t>(offset));
        if (n <= 0) {
            return ~h;
        }
        h = fnv1a(h, buf, static_cast<size_t>(n));
        offset += static_cast<unsigned long long>(n);
        len -= static_cast<unsigned long long>(n);
    }
    return h;
}

// Under the lock: cuts off the record an intent left behind when it is not whole. An
// empty intent file (every append but one after a cut) costs no more than its fstat.
static void log_recover(int log_fd, int pending_fd) {
    PendingAppend p;
    struct stat st;
    if (fstat(pending_fd, &st) != 0 || st.st_size == 0) {
        return;
    }
    if (pending_read(pending_fd, &p) && fstat(log_fd, &st) == 0 && S_ISREG(st.st_mode)) {
        unsigned long long size = static_cast<unsigned long long>(st.st_size);
        bool whole = size == p.offset + p.len && log_hash(log_fd, p.offset, p.len) == p.hash;
        if (size > p.offset && size <= p.offset + p.len && !whole &&
            ftruncate(log_fd, static_cast<off_t>(p.offset)) == 0) {
            fsync(log_fd);
        }
    }
    if (ftruncate(pending_fd, 0) == 0) {
        fsync(pending_fd);
    }
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

// An intent found at the start of a run is one a cut left (or an append in progress
// right now, which the lock waits out).
static void log_recover_at_start(void) {
    UniqueFd pending(pending_open(0));
    struct stat st;
    // Most starts find it empty, and take no lock for it.
    if (!pending || fstat(pending.get(), &st) != 0 || st.st_size == 0) {
        return;
    }
    if (log_lock_take() != LOG_LOCK_TAKEN) {
        return;
    }
    UniqueFd log(open(s_log_path, O_RDWR | O_CLOEXEC));
    if (log) {
        log_recover(log.get(), pending.get());
    }
    OSA_ipcSemPost(&s_log_sem, 0, -1);
}

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
    log_recover_at_start();
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
    // Without it an append is still whole once acknowledged; only a cut during one
    // could leave part of it behind.
    s_pending_fd = pending_open(O_CREAT);
    return 0;
}

// What a record may rely on: once OSA_log has returned 0 the record is whole in the
// log and on the flash (fsync before the semaphore is released), and records follow
// one another whole, never interleaved. A record is written in one piece where the
// file takes it all. One that the file does not take whole (a full flash) is cut back
// off and the append fails, rather than leaving half a record that the next one runs
// into; the cut-back is left out when the lock was bypassed, as another append may
// follow it, and so is the intent. A record cut by a power failure is cut off by the
// next holder of the lock (see PendingAppend). A log that ends in the middle of a line
// (a record of another process's, or of an append that kept no intent) gets a newline
// first, so that each record starts a line of its own; the log's records are lines
// (the IR test's ends in one), so a record that ends its line gets no byte more.
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
    int pending = lock == LOG_LOCK_TAKEN ? s_pending_fd : -1;
    if (pending >= 0) {
        log_recover(s_log_fd, pending);
    }
    struct stat st;
    char last = '\n';
    bool regular = fstat(s_log_fd, &st) == 0 && S_ISREG(st.st_mode);
    bool apart = regular && st.st_size > 0 && pread(s_log_fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
    if (pending >= 0 && regular) {
        PendingAppend intent = {
            static_cast<unsigned long long>(st.st_size), len + (apart ? 1ULL : 0ULL),
            fnv1a(fnv1a(kFnvBasis, "\n", apart ? 1 : 0), static_cast<const char*>(data), len)};
        pending_write(pending, intent);
    }
    if (apart) {
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
    if (pending >= 0) {
        ftruncate(pending, 0);
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
    if (s_pending_fd != -1) {
        close(s_pending_fd);
    }
    s_log_fd = -1;
    s_pending_fd = -1;
    return 0;
}

int OSA_logExit(void) {
    return OSA_logClose();
}
