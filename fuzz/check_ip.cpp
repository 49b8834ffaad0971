// SPDX-License-Identifier: Apache-2.0
// CheckIPAddr on any text: the input up to its first NUL.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "osa/osa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char* text = static_cast<char*>(malloc(size + 1));
    memcpy(text, data, size);
    text[size] = '\0';
    int valid = CheckIPAddr(text);
    if (valid != 0 && valid != 1) {
        abort();
    }
    free(text);
    return 0;
}
