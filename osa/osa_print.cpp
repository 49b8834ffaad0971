// SPDX-License-Identifier: Apache-2.0
#include "osa/osa_print.h"

#include <stdarg.h>

#include "osa/osa.h"

int OSA_printf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    OSA_mutexLock(&g_print_lock);
    int n = vprintf(fmt, ap);
    OSA_mutexUnlock(&g_print_lock);
    va_end(ap);
    return n;
}

int OSA_puts(const char* text) {
    OSA_mutexLock(&g_print_lock);
    int n = puts(text);
    OSA_mutexUnlock(&g_print_lock);
    return n;
}

int OSA_putchar(int c) {
    OSA_mutexLock(&g_print_lock);
    int n = putchar(c);
    OSA_mutexUnlock(&g_print_lock);
    return n;
}

void OSA_reportError(const char* unit, const char* func, int line, const char* fmt, ...) {
    fprintf(stderr, " ERROR  (%s|%s|%d): ", unit, func, line);
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
}
