// SPDX-License-Identifier: Apache-2.0
// Shell commands run by the modules.
//
// Standard output is flushed first, so that a pipe sees the program's lines and the
// command's in the order a terminal shows them. While the shell runs, the program's
// signal handlers stay in place (system(3) would ignore SIGINT and SIGQUIT, and a stop
// request sent to the program alone during a fill's dd would be lost). A Ctrl-C reaches
// the command too; a command that died of SIGINT or SIGQUIT is taken as the stop
// request it was, and g_exit_flag is set exactly as the signal handler sets it.
#pragma once

#include <stdio.h>

// "/bin/sh -c CMD" as system(3) runs it, with the flush and the stop rule; returns the
// shell's wait status, or -1 when no shell could be started.
int test_system(const char* cmd);

// A popen(3) stream that is closed (pclose) when it goes out of scope.
class ShellPipe {
public:
    ShellPipe(const char* cmd, const char* mode);
    ShellPipe(const ShellPipe&) = delete;
    ShellPipe& operator=(const ShellPipe&) = delete;
    ~ShellPipe();
    FILE* get() const {
        return fp_;
    }
    explicit operator bool() const {
        return fp_ != nullptr;
    }
    // pclose now; returns its status (-1 when nothing was open).
    int close();

private:
    FILE* fp_;
};
