// SPDX-License-Identifier: Apache-2.0
#include "framework/shell.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "framework/test.h"

static int check_stop_request(int status) {
    if (status == -1) {
        return status;
    }
    bool interrupted = WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGQUIT);
    bool shell_says_so =
        WIFEXITED(status) && (WEXITSTATUS(status) == 128 + SIGINT || WEXITSTATUS(status) == 128 + SIGQUIT);
    if (interrupted || shell_says_so) {
        g_exit_flag = 1;
    }
    return status;
}

int test_system(const char* cmd) {
    fflush(stdout);
    char sh[] = "sh";
    char dash_c[] = "-c";
    char* const argv[] = {sh, dash_c, const_cast<char*>(cmd), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) {
        return -1;
    }
    int status;
    while (waitpid(pid, &status, 0) == -1) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return check_stop_request(status);
}

ShellPipe::ShellPipe(const char* cmd, const char* mode) {
    fflush(stdout);
    fp_ = popen(cmd, mode);
}

ShellPipe::~ShellPipe() {
    close();
}

int ShellPipe::close() {
    if (fp_ == nullptr) {
        return -1;
    }
    int status = pclose(fp_);
    fp_ = nullptr;
    return check_stop_request(status);
}
