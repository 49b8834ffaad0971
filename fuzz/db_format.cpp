// SPDX-License-Identifier: Apache-2.0
// The db module's result text over the real database wrapper, on any row values. The
// input's first byte gives the column count (1 to 8), its second the capacity of the
// text; the rest, split at NUL bytes, are the column names and then the values row by
// row (at most 16 rows), handed to SQLite as blobs read as text, so that a value may
// hold any byte, malformed UTF-8 included.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "modules/tq_db.h"
#include "osa/osa.h"
#include "platform/db/db_wrapper.h"

namespace {

void* s_db;
char s_sql[1 << 16];
size_t s_len;

void put(const char* text) {
    size_t n = strlen(text);
    if (s_len + n < sizeof s_sql) {
        memcpy(s_sql + s_len, text, n + 1);
        s_len += n;
    }
}

void put_hex(const uint8_t* p, size_t n) {
    char pair[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(pair, sizeof pair, "%02x", p[i]);
        put(pair);
    }
}

void put_name(const uint8_t* p, size_t n) {
    put("\"");
    for (size_t i = 0; i < n; i++) {
        char c[3] = {static_cast<char>(p[i]), p[i] == '"' ? '"' : '\0', '\0'};
        put(c);
    }
    put("\"");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    OSA_init();
    if (sqlite_conn(":memory:", "", &s_db) != 0) {
        fprintf(stderr, "db format: no in-memory database\n");
        abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    int columns = data[0] % 8 + 1;
    size_t capacity = data[1] * 8u + 1;
    const uint8_t* p = data + 2;
    const uint8_t* end = data + size;

    s_len = 0;
    s_sql[0] = '\0';
    for (int row = -1; row < 16 && (row < 1 || p < end); row++) {
        put(row <= 0 ? (row < 0 ? "" : " ") : " UNION ALL ");
        if (row < 0) {
            continue;
        }
        put("SELECT ");
        for (int col = 0; col < columns; col++) {
            const uint8_t* cell_end = static_cast<const uint8_t*>(memchr(p, 0, static_cast<size_t>(end - p)));
            if (cell_end == nullptr) {
                cell_end = end;
            }
            put(col > 0 ? ", " : "");
            if (p >= end) {
                put("NULL");
            } else {
                put("CAST(X'");
                put_hex(p, static_cast<size_t>(cell_end - p));
                put("' AS TEXT)");
            }
            if (row == 0) {
                // The first row's cells name the columns too.
                put(" AS ");
                put_name(p, p < end ? static_cast<size_t>(cell_end - p) : 0);
            }
            p = cell_end < end ? cell_end + 1 : end;
        }
    }

    void* stmt = nullptr;
    int got = 0;
    if (sqlite_query_record(s_db, s_sql, &stmt, &got) != 0) {
        return 0;
    }
    char* out = static_cast<char*>(calloc(capacity, 1));
    db_format_result(s_db, stmt, got, out, capacity);
    sqlite_clear_stmt(stmt);
    if (strnlen(out, capacity) >= capacity) {
        fprintf(stderr, "db format: the text overran its capacity\n");
        abort();
    }
    free(out);
    return 0;
}
