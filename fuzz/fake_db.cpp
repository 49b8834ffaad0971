// SPDX-License-Identifier: Apache-2.0
// The database wrapper for the db parser: a connection that always opens and a query
// whose result is two columns of three rows, so that every option's path runs through
// to the result text without a database file.
#include <string.h>

#include "platform/db/db_wrapper.h"

namespace {

int s_handle;
int s_row;
const char* const kNames[] = {"id", "name"};
const char* const kRows[][2] = {{"1", "admin"}, {"2", "operator"}, {"3", "a value longer than sixteen"}};

}  // namespace

extern "C" {

int sqlite_conn(const char*, const char*, void** handle) {
    *handle = &s_handle;
    return 0;
}

void sqlite_set_stop_query(int (*)(void)) {}

int sqlite_disconn(void* handle) {
    return handle == nullptr ? -1 : 0;
}

int sqlite_execute(void* handle, const char* sql) {
    return handle == nullptr || sql == nullptr ? -1 : 0;
}

int sqlite_query_record(void* handle, const char* sql, void** stmt, int* columns) {
    *stmt = nullptr;
    *columns = 0;
    if (handle == nullptr || sql == nullptr) {
        return -1;
    }
    s_row = 0;
    *stmt = &s_row;
    *columns = 2;
    return 0;
}

int sqlite_query_next(void* stmt) {
    if (stmt == nullptr) {
        return -1;
    }
    return ++s_row < 3 ? 0 : 1;
}

const char* sqlite_query_column_name(void* handle, void* stmt, int index) {
    return handle == nullptr || stmt == nullptr || index < 0 || index > 1 ? nullptr : kNames[index];
}

int sqlite_query_column_text(void* stmt, int index, char* buf, int capacity) {
    if (stmt == nullptr || buf == nullptr || capacity < 1) {
        return -1;
    }
    buf[0] = '\0';
    if (index >= 0 && index < 2 && s_row < 3) {
        strncat(buf, kRows[s_row][index], static_cast<size_t>(capacity) - 1);
    }
    return 0;
}

int sqlite_clear_stmt(void*) {
    return 0;
}
}
