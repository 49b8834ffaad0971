// Runs a module's run operation in a child process: each run starts from the module's
// load-time records, and an exit(-1) ends only the child. The fake library the module
// is linked with reports each call through record().
#pragma once

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/module.h"
#include "osa/osa.h"

inline int g_calls_fd = -1;

// One call of the fake library, e.g. "pt_run(10) ".
inline void record(const char* fmt, ...) {
    char text[128];
    va_list ap;
    va_start(ap, fmt);
    int len = vsnprintf(text, sizeof text - 1, fmt, ap);
    va_end(ap);
    text[len++] = ' ';
    ssize_t ignored = write(g_calls_fd, text, static_cast<size_t>(len));
    (void)ignored;
}

struct ChildRun {
    std::string calls;
    int status;
};

// With cut_sleeps, another thread keeps signalling the module's thread, so every sleep
// ends at once and waits of minutes take milliseconds (the stop flag is left alone).
inline ChildRun run_module_in_child(const char* module, std::vector<std::string> args, bool cut_sleeps) {
    int fds[2];
    if (pipe(fds) != 0)
        return {"pipe failed", -1};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        g_calls_fd = fds[1];
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        OSA_init();
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        std::atomic<bool> done{false};
        std::thread kicker;
        if (cut_sleeps) {
            struct sigaction sa = {};
            sa.sa_handler = [](int) {};
            sigaction(SIGUSR1, &sa, nullptr);
            pthread_t runner = pthread_self();
            kicker = std::thread([&done, runner] {
                while (!done) {
                    pthread_kill(runner, SIGUSR1);
                    usleep(100);
                }
            });
        }
        module_find(module)->run(static_cast<int>(argv.size() - 1), argv.data());
        done = true;
        if (kicker.joinable())
            kicker.join();
        _exit(0);
    }
    close(fds[1]);
    ChildRun result{"", -1};
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        result.calls.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!result.calls.empty())
        result.calls.pop_back();
    return result;
}
