// SPDX-License-Identifier: Apache-2.0
// The ptz module against a recording stand-in of the PTZ library. Each run happens in a
// child process, so the module's record starts at its defaults and exit(-1) ends only
// the child; another thread keeps cutting the module's sleeps short, so a test-all
// sequence of minutes takes milliseconds.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/module.h"
#include "framework/test.h"
#include "osa/osa.h"
#include "platform/ptz/ptz.h"

namespace {

int g_calls_fd = -1;
unsigned int g_stop_during = ~0u;  // the command during which a Ctrl-C arrives

void record(const char* call, unsigned int a, unsigned int b = ~0u) {
    char text[64];
    int len = b == ~0u ? snprintf(text, sizeof text, "%s(%u) ", call, a)
                       : snprintf(text, sizeof text, "%s(%u,%u) ", call, a, b);
    ssize_t ignored = write(g_calls_fd, text, static_cast<size_t>(len));
    (void)ignored;
}

}  // namespace

int pt_set_speed(unsigned int pan, unsigned int tilt) {
    record("pt_set_speed", pan, tilt);
    return 0;
}
int pt_set_preset(unsigned int n) {
    record("pt_set_preset", n);
    return 0;
}
int pt_remove_preset(unsigned int n) {
    record("pt_remove_preset", n);
    return 0;
}
int pt_go_preset(unsigned int n) {
    record("pt_go_preset", n);
    return 0;
}
int pt_run(unsigned int command) {
    record("pt_run", command);
    if (command == g_stop_during)
        g_exit_flag = 1;
    return 0;
}
int pt_tty_deinit(int drain) {
    record("pt_tty_deinit", static_cast<unsigned int>(drain));
    return 0;
}

namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    unsigned int stop_during;
    std::string calls;
    int status;
};

class PtzModule : public ::testing::TestWithParam<Case> {};

TEST_P(PtzModule, CallsTheLibraryInOrder) {
    const Case& c = GetParam();
    std::vector<std::string> args = {"debug", "-M", "ptz"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        g_calls_fd = fds[1];
        g_stop_during = c.stop_during;
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        OSA_init();
        struct sigaction sa = {};
        sa.sa_handler = [](int) {};
        sigaction(SIGUSR1, &sa, nullptr);
        std::atomic<bool> done{false};
        std::thread kicker([&done, runner = pthread_self()] {
            while (!done) {
                pthread_kill(runner, SIGUSR1);
                usleep(100);
            }
        });
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(&a[0]);
        module_find("ptz")->run(static_cast<int>(argv.size()), argv.data());
        done = true;
        kicker.join();
        _exit(0);
    }
    close(fds[1]);
    std::string calls;
    char buf[256];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        calls.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(calls, c.calls + " ");
    EXPECT_EQ(WEXITSTATUS(status), c.status);
}

const std::string kSequence =
    "pt_set_speed(38,38) pt_run(0) pt_run(1) pt_run(0) pt_run(2) pt_run(3) pt_run(2) pt_run(7) pt_run(5) "
    "pt_run(4) pt_run(6) pt_run(27) pt_run(28) pt_run(29) pt_run(30)";

INSTANTIATE_TEST_SUITE_P(
    Runs, PtzModule,
    ::testing::Values(
        Case{"WholeTestAll", {}, ~0u, kSequence + " pt_run(21) pt_tty_deinit(1)", 0},
        Case{"StopEndsTheSequence",
             {"-t"},
             3,
             "pt_set_speed(38,38) pt_run(0) pt_run(1) pt_run(0) pt_run(2) pt_run(3) pt_tty_deinit(1)",
             0},
        Case{"StopInTheLastStepSkipsTheAutoScan", {}, 30, kSequence + " pt_tty_deinit(1)", 0},
        Case{"PresetsThenLastCommand",
             {"-S", "9", "-s", "3", "-c", "0x10", "-g", "010", "--up", "--stop"},
             ~0u,
             "pt_set_speed(38,38) pt_set_preset(3) pt_remove_preset(16) pt_go_preset(8) pt_run(32) "
             "pt_tty_deinit(1)",
             0},
        Case{"RejectedAfterAPreset",
             {"-s", "3", "-P", "2", "--up"},
             ~0u,
             "pt_set_speed(38,38) pt_set_preset(3)",
             255}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
