// SPDX-License-Identifier: Apache-2.0
// Writes the general usage and every registered module's usage, each module's behind a
// line "@@module <name>", into a file, for the build to turn into the manual page and
// the shell completion. It needs no camera: nothing is started up, nothing is run.
//
//   debug_docgen OUTPUT
#include <stdio.h>

#include "framework/module.h"
#include "framework/test.h"
#include "osa/osa.h"

int main(int argc, char** argv) {
    if (argc != 2 || freopen(argv[1], "w", stdout) == nullptr) {
        fprintf(stderr, "usage: debug_docgen OUTPUT\n");
        return 2;
    }
    snprintf(g_prog_name, sizeof g_prog_name, "debug");
    OSA_init();
    test_usage();
    for (int i = 0; i < g_module_count; i++) {
        OSA_printf("@@module %s\n", g_module_table[i].name);
        g_module_table[i].usage();
    }
    fflush(stdout);
    return 0;
}
