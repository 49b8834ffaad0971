// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "modules/tq_media_log.h"

namespace {

std::string temp_file(const std::string& content) {
    char path[] = "/tmp/media_log_test.XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    return path;
}

std::string show(const std::string& path, const std::vector<media_marker>& markers) {
    media_log log{path.c_str(), "[T]", markers.data(), markers.size()};
    testing::internal::CaptureStdout();
    media_show_log(log);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

struct SectionCase {
    const char* name;
    std::string log;
    std::vector<media_marker> markers;
    std::string expected;
};

class Sections : public ::testing::TestWithParam<SectionCase> {};

TEST_P(Sections, PrintsMarkerLinesAndTheirFollowingLines) {
    const SectionCase& c = GetParam();
    std::string path = temp_file(c.log);
    EXPECT_EQ(show(path, c.markers), c.expected);
    unlink(path.c_str());
}

const std::string kPiece(1023, 'a');

INSTANTIATE_TEST_SUITE_P(
    Logs, Sections,
    ::testing::Values(
        SectionCase{"HeaderGoesWithTheFirstSection",
                    "x\nA here\n1\n2\n3\nB\nb1\n",
                    {{"A", 2}, {"B", 1}},
                    "[T]\nA here\n1\n2\nB\nb1\n\n"},
        SectionCase{"MissingFirstMarkerLeavesOnlyTheNewline", "x\nB\nb1\n", {{"A", 2}, {"B", 1}}, "\n"},
        SectionCase{"SectionsOutOfOrderAreNotFound", "B\nA\n", {{"A", 0}, {"B", 0}}, "[T]\nA\n\n"},
        SectionCase{"LastLineWithoutNewlineKeepsItsText", "A\nend", {{"A", 3}}, "[T]\nA\nend\n"},
        SectionCase{"MarkersMatchCaseSensitively", "a marker\n", {{"A marker", 0}}, "\n"},
        SectionCase{"PiecesOfALongLineCountAsLines",
                    "M\n" + kPiece + "zz\nnext\n",
                    {{"M", 2}},
                    "[T]\nM\n" + kPiece + "zz\n\n"},
        SectionCase{"MarkerAcrossPiecesIsNotFound", std::string(1021, 'a') + "MARK\n", {{"MARK", 0}}, "\n"}),
    [](const ::testing::TestParamInfo<SectionCase>& info) { return std::string(info.param.name); });

TEST(MediaLog, ReadLineReturnsAnEmptyLineAtTheEndThenNull) {
    std::string path = temp_file("one\n");
    FILE* fp = media_open_log(path.c_str());
    EXPECT_STREQ(media_read_line(fp), "one\n");
    char* last = media_read_line(fp);
    ASSERT_NE(last, nullptr);
    EXPECT_STREQ(last, "");
    EXPECT_EQ(media_read_line(fp), nullptr);
    EXPECT_EQ(media_find_line(fp, "one"), nullptr);
    fclose(fp);
    unlink(path.c_str());
}

// A stream whose every read fails (a folder's): the reader must end, not spin.
TEST(MediaLog, ReadErrorEndsTheLogLikeItsEnd) {
    char dir[] = "/tmp/media_log_dir.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    FILE* fp = fopen(dir, "r");
    ASSERT_NE(fp, nullptr);
    testing::internal::CaptureStdout();
    const media_marker markers[] = {{"A", 1}, {"B", 1}};
    media_print_sections(fp, "[T]", markers, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    fclose(fp);
    rmdir(dir);
}

// A log that cannot be read, a folder included, ends the process as a missing one does.
TEST(MediaLogDeathTest, MissingLogEndsTheProcessWithStatus255) {
    EXPECT_EXIT(media_open_log("/nonexistent/media/x.log"), ::testing::ExitedWithCode(255),
                "^fopen: No such file or directory\n$");
    EXPECT_EXIT(media_open_log("/tmp"), ::testing::ExitedWithCode(255), "^fopen: Is a directory\n$");
}

}  // namespace
