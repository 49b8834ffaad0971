// SPDX-License-Identifier: Apache-2.0
// Runs one module's option parser on a fuzzer input, the way main hands it a command
// line: "debug -M <module>" and then the input's arguments.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The input is split at NUL bytes into at most FUZZ_MAX_ARGS arguments, each in a heap
// block of its own so that a read past one is caught. getopt starts afresh, the stop
// flag is clear, and a rejected option (exit with status 255) comes back here instead
// of ending the fuzzer. Traps when the parser leaves a descriptor open, leaves the
// print lock taken, or ends the process with another status.
#define FUZZ_MAX_ARGS 64
void fuzz_parse_argv(const char* module, const uint8_t* data, size_t size,
                     int (*parse)(int argc, char** argv));
