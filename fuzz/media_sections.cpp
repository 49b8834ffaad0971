// SPDX-License-Identifier: Apache-2.0
// The media section reader on any log: the input is read as a component's log with
// the markers of a log of several sections (the vi log's kind).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz/input_stream.h"
#include "modules/tq_media_log.h"

static const media_marker kMarkers[] = {
    {"VI DEV ATTR", 2},
    {"VI PHYCHN ATTR", 0},
    {"VI CHN STATUS", 5},
    {"STATUS", 1},
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    InputStream input(data, size);
    FILE* fp = input.get();
    media_print_sections(fp, "[VI]", kMarkers, sizeof kMarkers / sizeof kMarkers[0]);
    // Whatever the log holds, every line read consumes some of it, so the rest of it
    // ends within as many reads as it has bytes.
    size_t reads = 0;
    while (media_read_line(fp) != nullptr) {
        if (++reads > size) {
            fprintf(stderr, "media sections: reading does not reach the end of the log\n");
            abort();
        }
    }
    return 0;
}
