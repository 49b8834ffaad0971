// SPDX-License-Identifier: Apache-2.0
// Shell commands run by the modules.
//
// Standard output is flushed first, so that a pipe sees the program's lines and the
// command's in the order a terminal shows them. While the shell runs, the program
// ignores SIGINT and SIGQUIT (that is how system() works) and a Ctrl-C kills only the
// command; a command that died of one of them is therefore taken as the stop request
// it was, and g_exit_flag is set exactly as the signal handler would have set it.
#pragma once

#include <stdio.h>

// system(3) with the flush and the stop rule; returns what system() returned.
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
