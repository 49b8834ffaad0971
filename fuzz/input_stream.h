// SPDX-License-Identifier: Apache-2.0
// A fuzzer input read as a file, the way the readers under test read logs and
// /proc/mtd. The bytes are copied into a heap block of their own so that a read past
// the end is caught; the stream and the block are released with the object.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

class InputStream {
public:
    InputStream(const uint8_t* data, size_t size) : text_(malloc(size)) {
        memcpy(text_, data, size);
        fp_ = fmemopen(text_, size, "r");
    }
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    ~InputStream() {
        if (fp_ != nullptr) {
            fclose(fp_);
        }
        free(text_);
    }
    FILE* get() const {
        return fp_;
    }

private:
    void* text_;
    FILE* fp_ = nullptr;
};
