// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framework/module.h"
#include "framework/shell.h"
#include "framework/test.h"
#include "osa/osa.h"

namespace {

int g_runs;
int count_run(int, char**) {
    return ++g_runs;
}
int g_usages;
int count_usage() {
    return ++g_usages;
}

class Entry : public ::testing::Test {
protected:
    void SetUp() override {
        memset(g_module_table, 0, sizeof g_module_table);
        g_module_count = 0;
        static module_record wifi{"wifi", 18, count_run, count_usage, nullptr, nullptr};
        module_register(&wifi);
        g_module_name[0] = g_help_module[0] = '\0';
        g_runs = g_usages = 0;
        OSA_init();
    }
    int parse(std::vector<std::string> args, std::string* out = nullptr) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(&a[0]);
        testing::internal::CaptureStdout();
        int r = test_parse_args(static_cast<int>(argv.size()), argv.data());
        std::string o = testing::internal::GetCapturedStdout();
        if (out)
            *out = o;
        return r;
    }
};

TEST_F(Entry, LastModuleWinsAndScanGoesOnIntoModuleOptions) {
    EXPECT_EQ(parse({"debug", "-M", "media", "-M", "wifi", "-x"}), 0);
    EXPECT_STREQ(g_module_name, "wifi");
    EXPECT_STREQ(g_help_module, "");
}

TEST_F(Entry, HelpStopsTheScanAndShowsTheModuleUsage) {
    std::string out;
    EXPECT_EQ(parse({"debug", "-h", "wifi", "-M", "media"}, &out), 0);
    EXPECT_EQ(out, "debug version: 1.2.0\n");
    EXPECT_STREQ(g_help_module, "wifi");
    EXPECT_STREQ(g_module_name, "");
    EXPECT_EQ(g_usages, 1);
}

TEST_F(Entry, ModuleValueThatIsHelpIsActedOnToo) {
    EXPECT_EQ(parse({"debug", "-M", "-h", "wifi"}), 0);
    EXPECT_STREQ(g_module_name, "-h");
    EXPECT_EQ(g_usages, 1);
}

TEST_F(Entry, TrailingOptionPrintsTheGeneralUsage) {
    EXPECT_EQ(parse({"debug", "-M", "wifi", "--module"}), -1);
    EXPECT_EQ(parse({"debug"}), -1);
}

TEST_F(Entry, OverlongValuesAreCutToTheirBuffers) {
    std::string longname(300, 'x');
    EXPECT_EQ(parse({longname, "-M", longname}), 0);
    EXPECT_EQ(strlen(g_prog_name), TEST_PROG_NAME_SIZE - 1u);
    EXPECT_EQ(strlen(g_module_name), TEST_NAME_SIZE - 1u);
}

TEST(SignalHandler, PrintsWithoutThePrintLockAndSetsTheFlag) {
    OSA_init();
    g_exit_flag = 0;
    OSA_mutexLock(&g_print_lock);  // as if the signal interrupted an output call
    testing::internal::CaptureStdout();
    OSA_signalHandler(15);
    std::string out = testing::internal::GetCapturedStdout();
    OSA_mutexUnlock(&g_print_lock);
    EXPECT_EQ(out, "\nGet signal, signo = 15\n");
    EXPECT_EQ(g_exit_flag, 1);
}

TEST(SignalHandler, EverySignalCutsTheSleepInProgressShort) {
    test_install_signal_handler();
    pthread_t main_thread = pthread_self();
    for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGINT}) {
        g_exit_flag = 0;
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            pthread_kill(main_thread, sig);
        });
        auto start = std::chrono::steady_clock::now();
        testing::internal::CaptureStdout();
        OSA_sleepMillis(5000);
        std::string out = testing::internal::GetCapturedStdout();
        sender.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << sig;
        EXPECT_EQ(out, "\nGet signal, signo = " + std::to_string(sig) + "\n");
        EXPECT_EQ(g_exit_flag, 1);
    }
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

TEST(SignalHandler, AStopRequestToTheProgramAloneDuringAShellCommandIsKept) {
    test_install_signal_handler();
    g_exit_flag = 0;
    pthread_t main_thread = pthread_self();
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pthread_kill(main_thread, SIGINT);
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(test_system("sleep 0.5"), 0);
    std::string out = testing::internal::GetCapturedStdout();
    sender.join();
    EXPECT_EQ(out, "\nGet signal, signo = 2\n");
    EXPECT_EQ(g_exit_flag, 1);
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

class ShellStop : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(ShellStop, CommandEndedByCtrlCIsAStopRequest) {
    g_exit_flag = 0;
    test_system(GetParam().first);
    EXPECT_EQ(g_exit_flag, GetParam().second);
    g_exit_flag = 0;
    {
        ShellPipe pipe(GetParam().first, "r");
        ASSERT_TRUE(pipe);
    }
    EXPECT_EQ(g_exit_flag, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Commands, ShellStop,
                         ::testing::Values(std::make_pair("kill -INT $$", 1), std::make_pair("exit 130", 1),
                                           std::make_pair("kill -QUIT $$", 1), std::make_pair("exit 1", 0),
                                           std::make_pair("true", 0)));

}  // namespace
