// SPDX-License-Identifier: Apache-2.0
// The media logs are long; these readers print only the sections a technician looks
// at. Output goes straight to standard output, without the print lock.
#include "modules/tq_media_log.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include "framework/test.h"
#include "platform/common/unique_fd.h"

#define MEDIA_LOG_DIR "/tmp/media/"

static char s_line[MEDIA_LINE_SIZE];

// A read error (a log that is a directory, an I/O error) ends the stream like its end
// does; waiting for the end-of-file indicator alone would never finish.
static bool media_at_end(FILE* fp) {
    return feof(fp) || ferror(fp);
}

// A log is read as it stands, never waited for: a FIFO in its place would hold the open
// until a writer came, and a silent writer the reads, for ever (the signal handler
// restarts both). Opened non-blocking, such a log reads as what is in it now: a read
// that would wait fails and ends the stream. A regular file never waits anyway.
// A directory opens for reading, but has no lines to give: it is a log that cannot be
// read, not an empty one.
static FILE* media_fopen(const char* path) {
    UniqueFd fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!fd || fstat(fd.get(), &st) != 0) {
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    FILE* fp = fdopen(fd.get(), "r");
    if (fp != nullptr) {
        fd.release();
    }
    return fp;
}

FILE* media_open_log(const char* path) {
    FILE* fp = media_fopen(path);
    if (fp == nullptr) {
        perror("fopen");
        test_exit_process(-1);
    }
    return fp;
}

char* media_read_line(FILE* fp) {
    memset(s_line, 0, sizeof s_line);
    if (media_at_end(fp)) {
        return nullptr;
    }
    if (fgets(s_line, sizeof s_line, fp) == nullptr) {
        s_line[0] = '\0';
    }
    return s_line;
}

char* media_find_line(FILE* fp, const char* marker) {
    char* line;
    while ((line = media_read_line(fp)) != nullptr) {
        if (strstr(line, marker) != nullptr) {
            return line;
        }
    }
    return nullptr;
}

void media_print_lines(FILE* fp, int count) {
    for (int i = 0; i < count; i++) {
        const char* line = media_read_line(fp);
        if (line != nullptr) {
            printf("%s", line);
        }
    }
}

// Each search goes on from where the previous one stopped, so a missing marker
// consumes the rest of the log and no later section of it is printed.
void media_print_sections(FILE* fp, const char* header, const media_marker* markers, size_t count) {
    for (size_t i = 0; i < count; i++) {
        const char* line = media_find_line(fp, markers[i].text);
        if (line == nullptr) {
            continue;
        }
        if (i == 0) {
            printf("%s\n%s", header, line);
        } else {
            printf("%s", line);
        }
        media_print_lines(fp, markers[i].count);
    }
}

void media_show_log(const media_log& log) {
    UniqueFile fp(media_open_log(log.path));
    media_print_sections(fp.get(), log.header, log.markers, log.marker_count);
    putchar('\n');
}

// One row per section reader: the log it shows is named like itself (/tmp/media/<X>.log);
// then the header and the markers, in the order the sections stand in the log, each
// with the number of lines printed after the marker line.
#define MEDIA_SECTION_READER(X, header, ...)                                                            \
    void media_show_##X(void) {                                                                         \
        static const media_marker markers[] = {__VA_ARGS__};                                            \
        media_show_log({MEDIA_LOG_DIR #X ".log", header, markers, sizeof markers / sizeof markers[0]}); \
    }

// clang-format off
MEDIA_SECTION_READER(sys, "[SYS]", {"System State:", 0})
MEDIA_SECTION_READER(vb, "[VB]", {"PoolId    PhysAddr    VirtAddr    IsComm", 1})
MEDIA_SECTION_READER(vpss, "[VPSS]", {"VPSS GRP WORK STATUS", 2}, {"VPSS CHN OUTPUT RESOLUTION", 3})
MEDIA_SECTION_READER(vi, "[VI]", {"VI DEV ATTR", 2}, {"VI PHYCHN ATTR", 2}, {"VI PHYCHN STATUS 1", 2}, {"VI PHYCHN STATUS 2", 2}, {"VI WDR ATTR", 2}, {"VI WDR DES STATUS", 2}, {"VI WDR SRC STATUS", 2}, {"VI WDR COMBINE STATUS", 2}, {"VI CHN STATUS", 2})
MEDIA_SECTION_READER(venc, "[VENC]", {"VENC CHN ATTR 1", 5}, {"VENC STREAM STATE", 5})
MEDIA_SECTION_READER(rc, "[RC]", {"RUN INFO1", 5})
MEDIA_SECTION_READER(acodec, "[ACODEC]", {"ACODEC PARAM", 2})
MEDIA_SECTION_READER(ao, "[AO]", {"AO DEV ATTR", 2}, {"AO DEV STATUS", 2})
MEDIA_SECTION_READER(adec, "[ADEC]", {"ADEC CHN ATTR", 2})
MEDIA_SECTION_READER(ai, "[AI]", {"AI DEV ATTR", 2}, {"AI DEV STATUS", 2})
MEDIA_SECTION_READER(aenc, "[AENC]", {"AENC CHN ATTR", 2})
// clang-format on

// The VQE sections of the ai and ao logs.
static const media_marker kAiVqeMarkers[] = {
    {"AI CHN VQE STATUS0", 2}, {"AI CHN VQE STATUS1", 2}, {"AI CHN VQE STATUS2", 2},
    {"AI CHN VQE STATUS3", 2}, {"AI CHN VQE STATUS4", 2},
};
static const media_marker kAoVqeMarkers[] = {
    {"AO CHN VQE STATUS0", 2}, {"AO CHN VQE STATUS1", 2}, {"AO CHN VQE STATUS2", 2},
    {"AO CHN VQE STATUS3", 2}, {"AO CHN VQE STATUS4", 2},
};

// Both logs are opened before anything is printed, the ao log first, so that a missing
// one ends the process before any VQE section appears.
void media_show_vqe(void) {
    UniqueFile ao(media_open_log(MEDIA_LOG_DIR "ao.log"));
    UniqueFile ai(media_open_log(MEDIA_LOG_DIR "ai.log"));
    media_print_sections(ai.get(), "[AI VQE]", kAiVqeMarkers, sizeof kAiVqeMarkers / sizeof kAiVqeMarkers[0]);
    media_print_sections(ao.get(), "[AO VQE]", kAoVqeMarkers, sizeof kAoVqeMarkers / sizeof kAoVqeMarkers[0]);
    putchar('\n');
}
