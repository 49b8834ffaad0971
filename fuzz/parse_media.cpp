// SPDX-License-Identifier: Apache-2.0
// The media option parser with the section readers it starts: every log holds one
// line of each section marker, and the whole-log options' shell commands succeed
// without a shell. The unit is compiled into the target, so that its private parser
// can be reached.
#include "fuzz/argv_input.h"
#include "modules/tq_media.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_parse_argv("media", data, size, media_init_param);
    return 0;
}
