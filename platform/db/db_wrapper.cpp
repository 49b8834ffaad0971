#include "platform/db/db_wrapper.h"

#include <sqlite3.h>
#include <string.h>

static sqlite3* as_db(void* handle) {
    return static_cast<sqlite3*>(handle);
}

static sqlite3_stmt* as_stmt(void* stmt) {
    return static_cast<sqlite3_stmt*>(stmt);
}

int sqlite_conn(const char* path, const char* key, void** handle) {
    if (handle == nullptr) {
        return -1;
    }
    *handle = nullptr;
    // Ignoring a key would hand back a connection on which every read of an encrypted
    // file fails later, far from the cause.
    if (path == nullptr || (key != nullptr && key[0] != '\0')) {
        return -1;
    }
    sqlite3* db = nullptr;
    // Opening may leave a connection object behind even when it fails; close it too.
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_busy_timeout(db, SQLITE_WRAPPER_BUSY_TIMEOUT_MS);
    *handle = db;
    return 0;
}

int sqlite_disconn(void* handle) {
    if (handle == nullptr) {
        return -1;
    }
    // close_v2 lets a statement that was never cleared go with the connection instead of
    // keeping the connection open.
    sqlite3_close_v2(as_db(handle));
    return 0;
}

int sqlite_execute(void* handle, const char* sql) {
    if (handle == nullptr || sql == nullptr) {
        return -1;
    }
    return sqlite3_exec(as_db(handle), sql, nullptr, nullptr, nullptr);
}

int sqlite_query_record(void* handle, const char* sql, void** stmt, int* columns) {
    if (stmt == nullptr || columns == nullptr) {
        return -1;
    }
    *stmt = nullptr;
    *columns = 0;
    if (handle == nullptr || sql == nullptr) {
        return -1;
    }
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(as_db(handle), sql, -1, &s, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        return -rc;
    }
    // Text with no statement in it (blank, a comment) prepares to nothing: no row.
    if (s == nullptr) {
        return 1;
    }
    rc = sqlite3_step(s);
    if (rc != SQLITE_ROW) {
        sqlite3_finalize(s);
        return rc == SQLITE_DONE ? 1 : -rc;
    }
    *stmt = s;
    *columns = sqlite3_column_count(s);
    return 0;
}

int sqlite_query_next(void* stmt) {
    if (stmt == nullptr) {
        return -1;
    }
    // Stepping a finished statement would run it again from the start.
    if (sqlite3_data_count(as_stmt(stmt)) == 0) {
        return 1;
    }
    int rc = sqlite3_step(as_stmt(stmt));
    if (rc == SQLITE_ROW) {
        return 0;
    }
    return rc == SQLITE_DONE ? 1 : -rc;
}

const char* sqlite_query_column_name(void* handle, void* stmt, int index) {
    if (handle == nullptr || stmt == nullptr || index < 0 || index >= sqlite3_column_count(as_stmt(stmt))) {
        return nullptr;
    }
    return sqlite3_column_name(as_stmt(stmt), index);
}

// The length of the longest prefix of text[0..len) that fits in room bytes without
// splitting a UTF-8 sequence: a cut that lands on a continuation byte moves back to the
// start of its character.
static size_t utf8_prefix(const unsigned char* text, size_t len, size_t room) {
    if (len <= room) {
        return len;
    }
    size_t cut = room;
    size_t back = 0;
    while (cut > 0 && back < 3 && (text[cut] & 0xC0) == 0x80) {
        cut--;
        back++;
    }
    return (text[cut] & 0xC0) == 0x80 ? room : cut;
}

int sqlite_query_column_text(void* stmt, int index, char* buf, int capacity) {
    if (stmt == nullptr || buf == nullptr || capacity < 1) {
        return -1;
    }
    buf[0] = '\0';
    sqlite3_stmt* s = as_stmt(stmt);
    // Without a current row, or past its last column, SQLite's answer is undefined.
    if (index < 0 || index >= sqlite3_data_count(s)) {
        return 0;
    }
    const unsigned char* text = sqlite3_column_text(s, index);
    if (text == nullptr) {
        return 0;
    }
    // A value may hold NUL bytes; the caller gets the text up to the first of them.
    size_t len =
        strnlen(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(s, index)));
    size_t n = utf8_prefix(text, len, static_cast<size_t>(capacity) - 1);
    memcpy(buf, text, n);
    buf[n] = '\0';
    return n < len ? 1 : 0;
}

int sqlite_clear_stmt(void* stmt) {
    sqlite3_finalize(as_stmt(stmt));
    return 0;
}
