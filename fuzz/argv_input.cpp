// SPDX-License-Identifier: Apache-2.0
#include "fuzz/argv_input.h"

#include <fcntl.h>
#include <getopt.h>
#include <pthread.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <initializer_list>

#include "framework/test.h"
#include "fuzz/sandbox.h"
#include "osa/osa.h"

namespace {

sigjmp_buf s_back;
int s_exit_status;

// The modules end the process only from their parsers' rejection paths, where no
// object with a destructor is alive, so jumping over those frames skips nothing that
// exit() would have run.
void back_to_harness(int status) {
    s_exit_status = status;
    siglongjmp(s_back, 1);
}

int lowest_free_fd() {
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
    }
    return fd;
}

void fail(const char* what, const char* module) {
    fprintf(stderr, "fuzz: %s after the %s parser\n", what, module);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    snprintf(g_prog_name, sizeof g_prog_name, "debug");
    OSA_init();
    test_set_exit_hook(back_to_harness);
    return 0;
}

void fuzz_parse_argv(const char* module, const uint8_t* data, size_t size,
                     int (*parse)(int argc, char** argv)) {
    char* argv[3 + FUZZ_MAX_ARGS + 1];
    int argc = 0;
    for (const char* fixed : {"debug", "-M", module}) {
        argv[argc++] = strdup(fixed);
    }
    for (size_t start = 0; size > 0 && start <= size && argc < 3 + FUZZ_MAX_ARGS;) {
        const uint8_t* nul = static_cast<const uint8_t*>(memchr(data + start, 0, size - start));
        size_t end = nul != nullptr ? static_cast<size_t>(nul - data) : size;
        char* arg = static_cast<char*>(malloc(end - start + 1));
        memcpy(arg, data + start, end - start);
        arg[end - start] = '\0';
        argv[argc++] = arg;
        start = end + 1;
    }
    argv[argc] = nullptr;
    // getopt_long keeps the vector's order as the parser saw it; the harness frees the
    // blocks it allocated, whatever order getopt left them in.
    char* owned[3 + FUZZ_MAX_ARGS];
    memcpy(owned, argv, sizeof owned[0] * static_cast<size_t>(argc));

    int fd_before = lowest_free_fd();
    optind = 0;
    opterr = 1;
    g_exit_flag = 0;
    s_exit_status = 0;
    if (sigsetjmp(s_back, 1) == 0) {
        fuzz_sandbox_enter();
        parse(argc, argv);
    }
    fuzz_sandbox_leave();
    fflush(stdout);

    if (s_exit_status != 0 && s_exit_status != -1) {
        fail("an exit status other than 255", module);
    }
    if (lowest_free_fd() != fd_before) {
        fail("a descriptor left open", module);
    }
    if (pthread_mutex_trylock(&g_print_lock) != 0) {
        fail("the print lock left taken", module);
    }
    pthread_mutex_unlock(&g_print_lock);
    for (int i = 0; i < argc; i++) {
        free(owned[i]);
    }
}
