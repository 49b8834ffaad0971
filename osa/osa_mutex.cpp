// SPDX-License-Identifier: Apache-2.0
#include "osa/osa_mutex.h"

#include "osa/osa_print.h"

int OSA_mutexCreate(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    int ret = pthread_mutexattr_init(&attr);
    ret |= pthread_mutex_init(mutex, &attr);
    if (ret != 0) {
        OSA_ERROR("osa_mutex", "OSA_mutexCreate", "OSA_mutexCreate() = %d \r\n", ret);
    }
    pthread_mutexattr_destroy(&attr);
    return ret;
}

int OSA_mutexDelete(pthread_mutex_t* mutex) {
    pthread_mutex_destroy(mutex);
    return 0;
}

int OSA_mutexLock(pthread_mutex_t* mutex) {
    return pthread_mutex_lock(mutex);
}

int OSA_mutexUnlock(pthread_mutex_t* mutex) {
    return pthread_mutex_unlock(mutex);
}
