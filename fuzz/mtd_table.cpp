// SPDX-License-Identifier: Apache-2.0
// The /proc/mtd reader on any text: the table is loaded from the input as from the
// kernel's file, and every partition kept must be one the scan can use.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz/input_stream.h"
#include "modules/tq_mtd.h"
#include "osa/osa.h"

static void check(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "mtd table: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    OSA_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    {
        InputStream input(data, size);
        mtd_load_parts(input.get());
    }

    check(mtd_part_count >= 0 && mtd_part_count <= MTD_PART_MAX, "partition count out of range");
    uint32_t offset = 0;
    for (int i = 0; i < mtd_part_count; i++) {
        const mtd_part& p = mtd_parts[i];
        check(strncmp(p.dev, "/dev/", 5) == 0 && p.dev[5] != '\0', "device without a name");
        check(strnlen(p.dev, sizeof p.dev) < sizeof p.dev, "device name not terminated");
        size_t name_len = strnlen(p.name, sizeof p.name);
        check(name_len > 0 && name_len < sizeof p.name, "partition name empty or not terminated");
        check(strpbrk(p.name, " \t\r\n") == nullptr, "blank in a partition name");
        check(p.offset == offset, "offset is not the sum of the sizes before");
        offset += p.size;
    }
    return 0;
}
