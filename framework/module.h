// SPDX-License-Identifier: Apache-2.0
// The module registry and the frame every module follows.
#pragma once

#include <stdint.h>

#define MODULE_MAX 26
// Usage lookups accept module ids 0 to this.
#define MODULE_ID_MAX 24

struct module_record {
    const char* name;
    uint8_t id;
    int (*run)(int argc, char** argv);
    int (*usage)(void);
    int (*exit)(void);
    // The short-option string the module's parser hands getopt (its option table's),
    // so that what each module accepts can be checked against its documents.
    const char* short_options;
};

extern module_record g_module_table[MODULE_MAX];
extern int g_module_count;

void module_register(const module_record* record);
void module_unregister(const module_record* record);
module_record* module_find(const char* name);
int module_run(const char* name, int argc, char** argv);
int module_usage(const char* name);
void module_exit_all(void);
void module_list(void);

// One line at the end of every module unit, which follows the frame: its run operation
// is X_test_main and its usage operation X_usage. It defines the module's static record
// (named "X", with its id, its exit operation or nullptr, and the short-option string
// of its option table), registers it before main and unregisters it after main returns
// or the process calls exit().
#define MODULE_REGISTRATION(X, id, exit, options)                                                            \
    static module_record s_##X##_module = {#X, id, X##_test_main, X##_usage, exit, (options).short_options}; \
    __attribute__((constructor)) static void X##_register(void) {                                            \
        module_register(&s_##X##_module);                                                                    \
    }                                                                                                        \
    __attribute__((destructor)) static void X##_unregister(void) {                                           \
        module_unregister(&s_##X##_module);                                                                  \
    }
