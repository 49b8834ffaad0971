#include <gtest/gtest.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "framework/module.h"
#include "framework/test.h"
#include "modules/tq_drvboard.h"
#include "osa/osa.h"

namespace {

struct Argv {
    explicit Argv(std::vector<std::string> args) : store(std::move(args)) {
        for (auto& a : store)
            ptrs.push_back(&a[0]);
    }
    int argc() const {
        return static_cast<int>(ptrs.size());
    }
    char** argv() {
        return ptrs.data();
    }
    std::vector<std::string> store;
    std::vector<char*> ptrs;
};

pt_shm_cmd g_record;
constexpr OptionTable<DRVBOARD_OPTION_COUNT> kOptions = drvboard_options("module name: pt");

// A key of this test process's own, so runs in parallel never meet.
key_t test_key() {
    return static_cast<key_t>(0x7E570000 | (getpid() & 0xFFFF));
}

const drvboard_module kModule = {"tq_pt", 20, test_key(), kOptions, g_record};

void remove_segment(key_t key) {
    int id = shmget(key, 0, 0);
    if (id != -1)
        shmctl(id, IPC_RMID, nullptr);
}

struct ParseCase {
    std::vector<std::string> args;  // after "debug -M pt"
    int valid;
    int cmd;
    std::vector<int> params;  // param[0..], the rest 0
    std::string out;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    for (const auto& a : c.args)
        *os << a << ' ';
}

class Parse : public ::testing::TestWithParam<ParseCase> {
protected:
    void SetUp() override {
        OSA_init();
        memset(&g_record, 0, sizeof g_record);
    }
};

TEST_P(Parse, BuildsTheRecord) {
    const ParseCase& c = GetParam();
    std::vector<std::string> args = {"debug", "-M", "pt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Argv argv(args);
    testing::internal::CaptureStdout();
    EXPECT_EQ(pt_init_param(kModule, argv.argc(), argv.argv()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);

    pt_shm_cmd want = {};
    want.valid = c.valid;
    want.cmd = c.cmd;
    for (size_t i = 0; i < c.params.size(); i++)
        want.param[i] = c.params[i];
    EXPECT_EQ(g_record.valid, want.valid);
    EXPECT_EQ(g_record.status, 0);
    EXPECT_EQ(g_record.cmd, want.cmd);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(g_record.param[i], want.param[i]) << "param[" << i << "]";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, Parse, ::testing::Values(
    ParseCase{{}, 0, 0, {}, ""},
    ParseCase{{"-f", "1"}, 1, 100, {1}, ""},
    ParseCase{{"-a", "1"}, 1, 101, {1}, ""},
    ParseCase{{"-d", "1"}, 1, 102, {1}, ""},
    ParseCase{{"-c", "60"}, 1, 103, {60}, ""},
    ParseCase{{"--set obj_dis", "500"}, 1, 105, {500}, ""},
    ParseCase{{"-y", "1500"}, 1, 106, {1500}, ""},
    ParseCase{{"-i", "4"}, 1, 107, {4}, ""},
    ParseCase{{"-o", "1"}, 1, 109, {1, 1}, ""},
    ParseCase{{"-e", "0"}, 1, 109, {3, 0}, ""},
    ParseCase{{"-q", "12"}, 1, 110, {12}, "\n current of pan_motor=12 \n"},
    ParseCase{{"--titl_i", "7"}, 1, 111, {7}, "\n current of tile_motor=7 \n"},
    ParseCase{{"-W", "1"}, 1, 112, {1}, ""},
    ParseCase{{"--calibration", "9"}, 1, 113, {9}, ""},
    ParseCase{{"-V", "2"}, 1, 114, {2}, ""},
    ParseCase{{"-P", "3"}, 1, 115, {3}, ""},
    ParseCase{{"-E", "1"}, 1, 117, {1}, ""},
    ParseCase{{"-T", "1"}, 1, 119, {1}, ""},
    ParseCase{{"-R", "1"}, 1, 120, {1}, ""},
    ParseCase{{"-z", "3"}, 1, 121, {3}, ""},
    ParseCase{{"-A", "1"}, 1, 123, {1}, ""},
    ParseCase{{"-a", "abc"}, 1, 101, {0}, ""},
    ParseCase{{"-a", "1", "-f", "0"}, 1, 100, {0}, ""}));

INSTANTIATE_TEST_SUITE_P(Steps, Parse, ::testing::Values(
    ParseCase{{"-s", "11", "-p", "100", "-t", "200"}, 1, 104, {0x800064, 0x8000C8}, ""},
    ParseCase{{"-s", "10", "-p", "1", "-t", "2"}, 1, 104, {0x800001, 2}, ""},
    ParseCase{{"-s", "01", "-p", "1", "-t", "2"}, 1, 104, {1, 0x800002}, ""},
    ParseCase{{"-s", "1", "-p", "1", "-t", "2"}, 1, 104, {1, 0x800002}, ""},
    ParseCase{{"-s", "0", "-p", "1", "-t", "2"}, 1, 104, {1, 2}, ""},
    ParseCase{{"-s", "-11", "-p", "1", "-t", "2"}, 1, 104, {0x800001, 0x800002}, ""},
    ParseCase{{"-s", "-1", "-p", "1", "-t", "2"}, 0, 0, {}, ""},
    ParseCase{{"-p", "1", "-s", "11", "-a", "1"}, 1, 104, {0x800001, 0x800000}, ""}));

INSTANTIATE_TEST_SUITE_P(Pairs, Parse, ::testing::Values(
    ParseCase{{"-l", "28", "-r", "30"}, 1, 109, {5, 28, 30}, ""},
    ParseCase{{"-l", "28"}, 0, 0, {0, 28}, ""},
    ParseCase{{"-l", "28", "-l", "29"}, 1, 109, {5, 29}, ""},
    ParseCase{{"-l", "1", "-r", "2", "-l", "3"}, 0, 0, {0, 3, 2}, ""},
    ParseCase{{"-u", "10", "-n", "20"}, 1, 109, {6, 10, 20}, ""},
    ParseCase{{"-g", "10", "-k", "20"}, 1, 109, {7, 10, 20}, ""},
    ParseCase{{"-F", "1", "-L", "2"}, 1, 116, {1, 2}, ""},
    ParseCase{{"--set wie HID", "5", "--set wie PID", "6"}, 1, 118, {5, 6}, ""},
    ParseCase{{"-b", "1500", "-j", "1300"}, 1, 109, {4, 0xDC, 0x05, 0x14, 0x05}, ""},
    ParseCase{{"--set pwm_run=1500"}, 0, 0, {}, ""},
    ParseCase{{"-b", "-1", "-j", "1300"}, 1, 109, {4, 0xFF, 0xFF, 0x14, 0x05}, ""},
    // Later steps win; each overwrites only what it names.
    ParseCase{{"-s", "11", "-p", "1", "-t", "1", "-l", "28", "-r", "30"}, 1, 109, {5, 0x800001, 30}, ""},
    ParseCase{{"-F", "1", "-L", "2", "-b", "1500", "-j", "1300"}, 1, 109, {4, 0xDC, 0x05, 0x14, 0x05}, ""},
    ParseCase{{"-u", "10", "-n", "20", "-a", "1"}, 1, 109, {6, 10, 20}, ""}));

INSTANTIATE_TEST_SUITE_P(MotorStep, Parse, ::testing::Values(
    ParseCase{{"-m", "1", "2", "3", "4"}, 1, 122, {1, 2, 3, 4}, ""},
    ParseCase{{"-m", "1"}, 0, 0, {}, ""},
    ParseCase{{"-m", "1", "2", "3"}, 0, 0, {}, ""},
    ParseCase{{"-m", "1", "2", "3", "4", "5"}, 0, 0, {}, ""}));
// clang-format on

class Write : public ::testing::Test {
protected:
    void SetUp() override {
        OSA_init();
        memset(&g_record, 0, sizeof g_record);
        remove_segment(test_key());
    }
    void TearDown() override {
        remove_segment(test_key());
    }
    int run(std::vector<std::string> args, std::string* out) {
        Argv argv(args);
        testing::internal::CaptureStdout();
        int r = drvboard_test_main(kModule, argv.argc(), argv.argv());
        *out = testing::internal::GetCapturedStdout();
        return r;
    }
};

TEST_F(Write, WholeRecordLandsInAWorldWritable52ByteSegment) {
    // What an earlier command left is overwritten whole.
    int id = shmget(test_key(), 52, IPC_CREAT | 0666);
    ASSERT_NE(id, -1);
    void* old = shmat(id, nullptr, 0);
    memset(old, 0x5A, 52);
    shmdt(old);

    std::string out;
    EXPECT_EQ(run({"debug", "-M", "pt", "-q", "12"}, &out), 0);
    EXPECT_EQ(out, "\n current of pan_motor=12 \n");
    struct shmid_ds ds;
    ASSERT_EQ(shmctl(id, IPC_STAT, &ds), 0);
    EXPECT_EQ(ds.shm_segsz, 52u);
    EXPECT_EQ(ds.shm_perm.mode & 0777, 0666u);
    EXPECT_EQ(ds.shm_nattch, 0u) << "the writer lets go of the segment";
    const int32_t* seg = static_cast<const int32_t*>(shmat(id, nullptr, SHM_RDONLY));
    std::vector<int32_t> words(seg, seg + 13);
    shmdt(seg);
    EXPECT_EQ(words, (std::vector<int32_t>{1, 0, 110, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Write, NoCommandWritesAnAllZeroRecord) {
    std::string out;
    EXPECT_EQ(run({"debug", "-M", "pt"}, &out), 0);
    int id = shmget(test_key(), 0, 0);
    ASSERT_NE(id, -1);
    const char* seg = static_cast<const char*>(shmat(id, nullptr, SHM_RDONLY));
    EXPECT_EQ(std::string(seg, 52), std::string(52, '\0'));
    shmdt(seg);
}

TEST_F(Write, SegmentThatCannotBeHadIsLeftAlone) {
    int id = shmget(test_key(), 8, IPC_CREAT | 0666);
    ASSERT_NE(id, -1);
    std::string out;
    EXPECT_EQ(run({"debug", "-M", "pt", "-a", "1"}, &out), -1);
    EXPECT_EQ(out, "faild to get shm id==-1\n");
    const char* seg = static_cast<const char*>(shmat(id, nullptr, SHM_RDONLY));
    EXPECT_EQ(std::string(seg, 8), std::string(8, '\0'));
    shmdt(seg);
}

// The registered modules themselves: an unknown option ends the process before
// anything is written, and the report names the module's own unit.
class Reject : public ::testing::TestWithParam<std::tuple<const char*, std::vector<std::string>>> {};

TEST_P(Reject, UnknownOptionEndsTheProcessWith255) {
    const char* name = std::get<0>(GetParam());
    std::vector<std::string> args = {"debug", "-M", name};
    for (const auto& a : std::get<1>(GetParam()))
        args.push_back(a);
    std::string report =
        std::string(" ERROR  \\(tq_") + name + "[|]pt_init_param[|][0-9]+\\): Unknow option\n$";
    EXPECT_EXIT(
        {
            OSA_init();
            Argv argv(args);
            module_find(name)->run(argv.argc(), argv.argv());
        },
        ::testing::ExitedWithCode(255), report);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Modules, Reject, ::testing::Combine(
    ::testing::Values("extdrv", "pt"),
    ::testing::Values(std::vector<std::string>{"-G", "5"},
                      std::vector<std::string>{"-a", "1", "-Y", "6"},
                      std::vector<std::string>{"-a"},
                      std::vector<std::string>{"--nosuch=1"})));
// clang-format on

}  // namespace
