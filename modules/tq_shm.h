// SPDX-License-Identifier: Apache-2.0
// Handing a fixed record to another process of the camera through a System V
// shared-memory segment that the other process reads: the driver-board commands and
// the light-control parameters.
#pragma once

#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "osa/osa.h"

// A segment attached for one write, let go of when it goes out of scope; detach()
// does it earlier and says whether it worked.
class ShmAttachment {
public:
    explicit ShmAttachment(int shmid) : addr_(shmat(shmid, nullptr, 0)) {}
    ShmAttachment(const ShmAttachment&) = delete;
    ShmAttachment& operator=(const ShmAttachment&) = delete;
    ~ShmAttachment() {
        detach();
    }
    explicit operator bool() const {
        return addr_ != none();
    }
    void* get() const {
        return addr_;
    }
    int detach() {
        if (addr_ == none()) {
            return 0;
        }
        int ret = shmdt(addr_);
        addr_ = none();
        return ret;
    }

private:
    // What shmat returns on failure.
    static void* none() {
        return reinterpret_cast<void*>(-1);
    }
    void* addr_;
};

// Creates the segment if needed (readable and writable by every process) and copies
// the whole record into it. When the segment cannot be had (a smaller one of someone
// else's already sits under the key), nothing is attached or written.
inline int shm_hand_over(key_t key, const void* record, size_t size) {
    int shmid = shmget(key, size, IPC_CREAT | 0666);
    if (shmid == -1) {
        OSA_printf("faild to get shm id==%d\n", shmid);
        return -1;
    }
    ShmAttachment shm(shmid);
    if (!shm) {
        perror("attach error");
        return -1;
    }
    memcpy(shm.get(), record, size);
    if (shm.detach() != 0) {
        perror("detach error");
        return -1;
    }
    return 0;
}
