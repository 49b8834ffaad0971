// SPDX-License-Identifier: Apache-2.0
// The raw-flash check against partition tables in files and an ioctl seam: the test
// binary is linked with --wrap=ioctl, so the module's requests come here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mtd/mtd-user.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "framework/test.h"
#include "modules/tq_mtd.h"
#include "osa/osa.h"

namespace {

// Offsets asked for, and the answer for each (0 when not listed); a stop is requested
// with the answer to request number g_stop_at (counted from 1; 0: never).
std::vector<long long> g_asked;
std::map<long long, int> g_answers;
size_t g_stop_at;

}  // namespace

extern "C" int __wrap_ioctl(int, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    long long* offset = va_arg(ap, long long*);
    va_end(ap);
    EXPECT_EQ(request, static_cast<unsigned long>(MEMGETBADBLOCK));
    g_asked.push_back(*offset);
    if (g_asked.size() == g_stop_at) {
        g_exit_flag = 1;
    }
    auto it = g_answers.find(*offset);
    return it == g_answers.end() ? 0 : it->second;
}

namespace {

struct LineCase {
    const char* line;
    bool ok;
    const char* dev = "";
    uint32_t size = 0;
    uint32_t erasesize = 0;
    const char* name = "";
};

class ProcMtdLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ProcMtdLine, ParsesDeviceSizesAndNameToken) {
    const LineCase& c = GetParam();
    mtd_part part;
    memset(&part, 0, sizeof part);
    ASSERT_EQ(mtd_parse_line(c.line, &part), c.ok);
    if (c.ok) {
        EXPECT_STREQ(part.dev, c.dev);
        EXPECT_EQ(part.size, c.size);
        EXPECT_EQ(part.erasesize, c.erasesize);
        EXPECT_STREQ(part.name, c.name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProcMtdLine,
    ::testing::Values(
        LineCase{"mtd0: 00100000 00020000 \"boot\"\n", true, "/dev/mtd0", 0x100000, 0x20000, "\"boot\""},
        LineCase{"mtd12: 0a000000 00040000 \"user data\"\n", true, "/dev/mtd12", 0xa000000, 0x40000,
                 "\"user"},
        LineCase{"mtd1:\t0x400000\t0x20000 kernel", true, "/dev/mtd1", 0x400000, 0x20000, "kernel"},
        LineCase{"mtd2: 00100000 00000000 \"zero\"\n", true, "/dev/mtd2", 0x100000, 0, "\"zero\""},
        LineCase{"mtd0 00100000 00020000 \"boot\"\n", false},
        LineCase{": 00100000 00020000 \"boot\"\n", false}, LineCase{"mtd0: zz 00020000 \"boot\"\n", false},
        LineCase{"mtd0: 00100000 \"boot\"\n", false}, LineCase{"mtd0: 00100000 00020000\n", false},
        LineCase{"mtd0: 100000000 00020000 \"big\"\n", false}, LineCase{"mtd0: -1 00020000 \"neg\"\n", false},
        LineCase{"mtd_with_a_very_long_device_name: 100 20 \"x\"\n", false},
        // A name too long for the record keeps its first 31 characters.
        LineCase{"mtd0: 100 20 \"u-boot-environment-redundant-1\"\n", true, "/dev/mtd0", 0x100, 0x20,
                 "\"u-boot-environment-redundant-1"},
        LineCase{"mtd3: 100000 20000 \"a_name_of_thirty_two_characters\"", true, "/dev/mtd3", 0x100000,
                 0x20000, "\"a_name_of_thirty_two_character"}));

FILE* table(const std::string& text) {
    FILE* fp = tmpfile();
    fputs(text.c_str(), fp);
    rewind(fp);
    return fp;
}

class MtdCheck : public ::testing::Test {
protected:
    void SetUp() override {
        OSA_init();
        g_asked.clear();
        g_answers.clear();
        g_stop_at = 0;
        g_exit_flag = 0;
        memset(mtd_parts, 0, sizeof mtd_parts);
        mtd_part_count = 0;
    }
    void TearDown() override {
        g_exit_flag = 0;
        for (auto& d : devices_) {
            unlink(d.c_str());
        }
    }
    // A partition whose device is a file that exists.
    mtd_part* part(uint32_t offset, uint32_t size, uint32_t erasesize) {
        char path[] = "/tmp/mtd_test.XXXXXX";
        close(mkstemp(path));
        devices_.push_back(path);
        mtd_part& p = mtd_parts[mtd_part_count++];
        snprintf(p.dev, sizeof p.dev, "%s", path);
        snprintf(p.name, sizeof p.name, "\"p%d\"", mtd_part_count);
        p.offset = offset;
        p.size = size;
        p.erasesize = erasesize;
        return &p;
    }
    std::vector<std::string> devices_;
};

TEST_F(MtdCheck, OffsetsAreTheSumOfTheSizesBefore) {
    FILE* fp = table(
        "dev:    size   erasesize  name\nmtd0: 00100000 00020000 \"boot\"\n"
        "mtd1: 00400000 00020000 \"kernel\"\nmtd2: 01000000 00020000 \"rootfs\"\n");
    mtd_load_parts(fp);
    fclose(fp);
    ASSERT_EQ(mtd_part_count, 3);
    EXPECT_EQ(mtd_parts[0].offset, 0u);
    EXPECT_EQ(mtd_parts[1].offset, 0x100000u);
    EXPECT_EQ(mtd_parts[2].offset, 0x500000u);
    EXPECT_STREQ(mtd_parts[2].dev, "/dev/mtd2");
}

TEST_F(MtdCheck, AsksOncePerEraseBlockAndRecordsFlashAddresses) {
    mtd_part* p = part(0x100000, 0x400000, 0x20000);
    g_answers = {{0x20000, 1}, {0x3e0000, 1}};
    mtd_scan_part(p);
    ASSERT_EQ(g_asked.size(), 32u);
    EXPECT_EQ(g_asked.front(), 0);
    EXPECT_EQ(g_asked.back(), 0x3e0000);
    ASSERT_EQ(p->bad_count, 2u);
    EXPECT_EQ(p->bad_addr[0], 0x120000u);
    EXPECT_EQ(p->bad_addr[1], 0x4e0000u);
}

// A long line is one line: its tail is neither a partition nor a line of its own, and
// the next line and its offset are as if the line were short.
TEST_F(MtdCheck, LongLineIsOneLine) {
    std::string pad(1100, 'x');
    FILE* fp = table("mtd0: 00100000 00020000 \"" + pad + " mtd9: 00100000 00020000 \"evil\"\n" + "mtd_" +
                     pad + " mtd8: 00100000 00020000 \"evil\"\n" +
                     "mtd1: 00400000 00020000 \"kernel\"\nmtd2: 00100000 00020000 \"last\"");
    testing::internal::CaptureStderr();
    mtd_load_parts(fp);
    std::string err = testing::internal::GetCapturedStderr();
    fclose(fp);
    ASSERT_EQ(mtd_part_count, 3);
    EXPECT_EQ(std::string(mtd_parts[0].name), "\"" + pad.substr(0, 30));
    EXPECT_STREQ(mtd_parts[1].name, "\"kernel\"");
    EXPECT_EQ(mtd_parts[1].offset, 0x100000u);
    EXPECT_STREQ(mtd_parts[2].name, "\"last\"");
    // The unusable line is reported in one line of its own, its first 1023 characters.
    std::string cut = "/proc/mtd line not understood, skipped: " + ("mtd_" + pad).substr(0, 1023) + "\n";
    EXPECT_EQ(err.size() - err.find("/proc/mtd"), cut.size()) << err;
    EXPECT_NE(err.find(cut), std::string::npos) << err;
}

// An erase size no flash has is reported without asking; the smallest real one is asked.
class MtdEraseSize : public MtdCheck,
                     public ::testing::WithParamInterface<std::pair<uint32_t, const char*>> {};

TEST_P(MtdEraseSize, OneNoFlashHasIsReportedWithoutAsking) {
    auto [erasesize, shown] = GetParam();
    mtd_part* p = part(0, 0xffffffff, erasesize);
    testing::internal::CaptureStderr();
    mtd_scan_part(p);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(g_asked.empty());
    EXPECT_NE(err.find(std::string(p->dev) + " erase size is " + shown + ", not checked\n"),
              std::string::npos)
        << err;
}

INSTANTIATE_TEST_SUITE_P(Sizes, MtdEraseSize,
                         ::testing::Values(std::make_pair(0u, "0"), std::make_pair(1u, "0x1"),
                                           std::make_pair(0xffu, "0xff")));

// A stop request ends the scan at once; the partition under scan and every later one
// are reported as not checked to the end, what was found stays.
TEST_F(MtdCheck, StopRequestEndsTheScan) {
    mtd_part* first = part(0, 0xffffff00, MTD_MIN_ERASE_SIZE);
    mtd_part* second = part(0xffffff00, 0x100000, 0x20000);
    g_answers = {{0x100, 1}};
    g_stop_at = 3;
    testing::internal::CaptureStdout();
    mtd_scan_part(first);
    mtd_scan_part(second);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_asked, (std::vector<long long>{0, 0x100, 0x200}));
    EXPECT_EQ(out, "ioctl MEMGETBADBLOCK failed, " + std::string(first->dev) + ", error=-1\n" +
                       "ioctl MEMGETBADBLOCK failed, " + std::string(second->dev) + ", error=-1\n");
    EXPECT_EQ(first->bad_count, 1u);
    EXPECT_EQ(second->bad_count, 0u);
}

TEST_F(MtdCheck, PartitionEndingAt4GiBDoesNotWrapTheOffset) {
    mtd_part* p = part(0, 0xffffffff, 0x80000000);
    mtd_scan_part(p);
    EXPECT_EQ(g_asked, (std::vector<long long>{0, 0x80000000LL}));
}

TEST_F(MtdCheck, MoreBadBlocksThanTheRecordHoldsAreCountedAndTheFirstListed) {
    mtd_part* p = part(0x1000000, 200 * 0x20000, 0x20000);
    for (int i = 0; i < 200; i++) {
        g_answers[i * 0x20000LL] = 1;
    }
    testing::internal::CaptureStderr();
    mtd_scan_part(p);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(p->bad_count, 200u);
    EXPECT_EQ(p->bad_addr[127], 0x1000000u + 127 * 0x20000u);
    EXPECT_NE(err.find("has 200 bad blocks, the first 128 are listed\n"), std::string::npos) << err;
    testing::internal::CaptureStdout();
    mtd_report();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1 + 128 + 2);
    EXPECT_NE(out.find("\nTotal bad block : 200\n"), std::string::npos);
}

}  // namespace
