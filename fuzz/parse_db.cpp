// SPDX-License-Identifier: Apache-2.0
// The db option parser with every action it starts, against the wrapper's stand-in:
// the databases are present, the lock file is /dev/null and a statement file holds two
// statements. The unit is compiled into the target, so that its private parser and
// state can be reached; the database is set as the module sets it before parsing.
#include "fuzz/argv_input.h"
#include "modules/tq_db.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    db_set_database("tqdb");
    fuzz_parse_argv("db", data, size, db_init_param);
    return 0;
}
