// SPDX-License-Identifier: Apache-2.0
// Console output under the print lock, and error reports on standard error.
#pragma once

#include <stdio.h>

// Each call takes and releases the print lock around one output call.
int OSA_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
int OSA_puts(const char* text);
int OSA_putchar(int c);

// " ERROR  (unit|function|line): " then the message: two writes to standard error.
void OSA_reportError(const char* unit, const char* func, int line, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

#define OSA_ERROR(unit, func, ...) OSA_reportError(unit, func, __LINE__, __VA_ARGS__)
