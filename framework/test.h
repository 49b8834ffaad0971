// SPDX-License-Identifier: Apache-2.0
// Process entry, start-up and shutdown, and the state every module may read.
#pragma once

#include <signal.h>

#define TEST_PROG_NAME_SIZE 256
#define TEST_NAME_SIZE 64

extern char g_prog_name[TEST_PROG_NAME_SIZE];
extern char g_module_name[TEST_NAME_SIZE];
extern char g_help_module[TEST_NAME_SIZE];
// The process-wide stop flag: set by a signal, by shutdown, and by loops that end
// themselves. Loops re-read it on every pass.
extern volatile sig_atomic_t g_exit_flag;

int test_main(int argc, char** argv);
int test_init(void);
int test_parse_args(int argc, char** argv);
int test_run(int argc, char** argv);
int test_exit(void);
void test_usage(void);
void db_default_file_init(void);
void OSA_signalHandler(int signo);
// OSA_signalHandler for SIGINT, SIGQUIT and SIGTERM; the first step of test_init.
void test_install_signal_handler(void);

// How a module that rejected an option ends the process: exit(status), so the static
// destructors (the registry's) and the atexit handlers run as on every other way out.
[[noreturn]] void test_exit_process(int status);
#ifdef DEBUG_FUZZ
// Fuzzing only: the harness's way back to its next input, called instead of exit().
// The hook must not return (it jumps back to where the harness called the parser).
void test_set_exit_hook(void (*hook)(int status));
#endif
