// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <pthread.h>

int OSA_mutexCreate(pthread_mutex_t* mutex);
int OSA_mutexDelete(pthread_mutex_t* mutex);
int OSA_mutexLock(pthread_mutex_t* mutex);
int OSA_mutexUnlock(pthread_mutex_t* mutex);
